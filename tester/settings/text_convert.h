// Conversions between the tester's texts: UTF-8 (file names, edits) and UTF-16 (the stored record
// and the engine's log path), and the standard text-to-float of the edits.
#pragma once

#include <string>
#include <string_view>

#include "common/utf16.h"  // Utf16ToUtf8

namespace kmr {

std::u16string Utf8ToUtf16(std::string_view text);  // invalid bytes become U+FFFD

// strtod on the text in the C locale: the leading numeric part, 0.0 when there is none.
double TextToDouble(std::string_view text);

// printf-style formatting into a std::string (bounded, never fails).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kmr
