// One line of a price file read by its layout, without allocating.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tester/convert/layout.h"

namespace kmr {

inline constexpr std::size_t kMaxFields = 64;

// The fields of a line at `separator`, at most `max` of them (the rest is left unsplit in the
// last). Blanks and double quotes around a field are dropped; a quoted field may hold the
// separator. Returns how many.
std::size_t SplitFields(std::string_view line, char separator, std::string_view* fields,
                        std::size_t max);

// A whole field as a finite number ("1.2345", "-3", "1e-5", "+2"; with `decimalComma`
// "1,2345" too). False for anything else, an empty field included.
bool ParseNumber(std::string_view field, bool decimalComma, double& value);

struct PriceRecord {
  Stamp stamp;
  double values[4] = {};     // ticks: bid (or price) and ask; bars: open, high, low, close
  std::uint8_t present = 0;  // ticks: bit i is set when values[i] was in the line
};

enum class LineFault : std::uint8_t {
  kNone,
  kFields,  // fewer fields than the layout has
  kTime,    // the time stamp does not read with its pattern
  kPrice,   // a price is not a number
  kBar,     // high and low do not hold the open and close
};

const char* LineFaultText(LineFault fault);

// Reads `line`; on a fault, `field` is the text at fault (empty for kFields and kBar). Ticks may
// leave their price fields empty (some exports write only what changed): `present` says which
// came. Bars need every price.
LineFault ReadPriceLine(std::string_view line, const Layout& layout, PriceRecord& out,
                        std::string_view& field);

// A copy of the start of a line that is safe to print: at most `max` characters, control and
// non-ASCII characters as '?'.
void ShownText(std::string_view text, std::size_t max, char* out, std::size_t outSize);

}  // namespace kmr
