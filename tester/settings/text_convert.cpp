#include "tester/settings/text_convert.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace kmr {

namespace {

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    c -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (c >> 10));
    out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
  }
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return locale;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, c = lead & 0x07, minimum = 0x10000;
    } else {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    bool ok = true;
    std::size_t j = 1;
    for (; ok && j <= static_cast<std::size_t>(extra); ++j) {
      if (i + j >= text.size()) {
        ok = false;
        break;
      }
      const unsigned char next = static_cast<unsigned char>(text[i + j]);
      if ((next & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    if (!ok || c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      i += j;  // skip the lead and the continuation bytes seen
      continue;
    }
    AppendUtf16(out, c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

double TextToDouble(std::string_view text) {
  const std::string copy(text);  // strtod needs the terminator
  return strtod_l(copy.c_str(), nullptr, CLocale());
}

std::string Format(const char* format, ...) {
  char small[256];
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(small, sizeof small, format, args);
  va_end(args);
  if (needed < 0) return {};
  if (static_cast<std::size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string out(static_cast<std::size_t>(needed) + 1, '\0');
  va_start(args, format);
  std::vsnprintf(out.data(), out.size(), format, args);
  va_end(args);
  out.resize(static_cast<std::size_t>(needed));
  return out;
}

}  // namespace kmr
