#include "tester/dialogs/dialog_text.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>

#include "tester/settings/text_convert.h"

namespace kmr {

double TextToDouble(const QString& text) {
  return TextToDouble(std::string_view(text.toStdString()));
}

QString FormatText(const char* format, ...) {
  // The texts are written in the C locale whatever the user's locale is.
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  char buffer[512];
  const locale_t previous = uselocale(cLocale);
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  uselocale(previous);
  return QString::fromUtf8(buffer);
}

QString FormatPrice4(double value) {
  return FormatText("%.4f", value);
}

}  // namespace kmr
