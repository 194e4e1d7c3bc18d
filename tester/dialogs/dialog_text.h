// Numbers to and from the texts of edit controls, in the C locale whatever the user's locale.
#pragma once

#include <QString>

namespace kmr {

// The leading numeric part of the text, as strtod reads it; 0.0 when there is none.
double TextToDouble(const QString& text);
// "%.4f".
QString FormatPrice4(double value);
// printf-style formatting into a QString (C locale, bounded).
QString FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace kmr
