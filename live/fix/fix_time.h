// The tester's 32-bit line time (seconds since 1970 UTC) as FIX's UTC date and time fields, and
// back: a quote's MDEntryDate (272) "YYYYMMDD", MDEntryTime (273) "HH:MM:SS[.sss...]", and a
// UTCTimestamp "YYYYMMDD-HH:MM:SS[.sss...]" such as TransactTime (60).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kmr {

std::string FixUtcDate(std::int32_t time);       // "YYYYMMDD"
std::string FixUtcTime(std::int32_t time);       // "HH:MM:SS"
std::string FixUtcTimestamp(std::int32_t time);  // "YYYYMMDD-HH:MM:SS"

// The line time of a date and a time of day; a fraction of a second is dropped (the time
// rounds down, so that times never move forward). nullopt when either is malformed, out of
// range (a 60th second included) or the result does not fit 32 signed bits.
std::optional<std::int32_t> ParseFixUtcDateTime(std::string_view date, std::string_view time);
std::optional<std::int32_t> ParseFixUtcTimestamp(std::string_view timestamp);

}  // namespace kmr
