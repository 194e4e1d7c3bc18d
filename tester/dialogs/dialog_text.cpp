#include "tester/dialogs/dialog_text.h"

#include <locale.h>

#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace kmr {

namespace {

// A private C locale, so that a decimal comma of the user's locale never changes what is read.
locale_t CLocale() {
  static locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

}  // namespace

double TextToDouble(const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  return strtod_l(bytes.constData(), nullptr, CLocale());
}

QString FormatText(const char* format, ...) {
  char buffer[512];
  locale_t previous = uselocale(CLocale());
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  uselocale(previous);
  return QString::fromLocal8Bit(buffer);
}

QString FormatPrice4(double value) {
  return FormatText("%.4f", value);
}

}  // namespace kmr
