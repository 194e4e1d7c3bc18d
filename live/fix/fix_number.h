// Prices and quantities as FIX float fields: plain decimals (no exponent, no sign '+'), written
// in the fewest digits that read back as the same double, so that a price crosses the wire
// unchanged.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kmr {

// Empty for a value that is not finite.
std::string FormatFixNumber(double value);

// "-"? digits ("." digits?)? or "-"? "." digits; nullopt for anything else, an empty text too,
// and for a value that overflows a double.
std::optional<double> ParseFixNumber(std::string_view text);

}  // namespace kmr
