// Time stamp patterns such as "YYYY.MM.DD HH:MM:SS.fff", compiled once and then read without
// allocating. Tokens: YYYY year, MM month (minutes once HH came), DD day, HH hour, SS second,
// mmm exactly three digits of milliseconds, fff a fraction of a second of 1 to 9 digits (with
// the '.' or ',' before it, it may be left out), Z the zone: "Z" or an offset such as +02:00,
// +0200 or +02. Every other character stands for itself. Month, day, hour, minute and second
// take one digit too where a separator follows them. Two whole patterns stand alone: "unix"
// (seconds since 1970 UTC, a fraction allowed) and "unix-ms" (milliseconds).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kmr {

// What a stamp says: milliseconds since 1970, either UTC (`absolute`: the stamp carried its
// zone, or it is a Unix time) or the local clock of a zone not named in the stamp (the fields
// read as if they were UTC).
struct Stamp {
  std::int64_t millis = 0;
  bool absolute = false;
};

// Which parts a pattern has, and in which order its date puts day and month.
enum class DateOrder : std::uint8_t { kNone, kYearFirst, kDayFirst, kMonthFirst };

class TimePattern {
 public:
  // nullopt with the reason in `error` for a pattern that cannot be read.
  static std::optional<TimePattern> Compile(std::string_view text, std::string& error);

  bool Read(std::string_view stamp, Stamp& out) const;

  const std::string& Text() const { return text_; }
  bool Empty() const { return text_.empty(); }
  bool HasDate() const { return order_ != DateOrder::kNone || unix_; }
  bool HasClock() const { return hasClock_; }
  bool HasZone() const { return hasZone_; }
  bool IsUnix() const { return unix_; }
  DateOrder Order() const { return order_; }

 private:
  enum class Token : std::uint8_t {
    kYear,
    kMonth,
    kDay,
    kHour,
    kMinute,
    kSecond,
    kMillis,
    kFraction,
    kZone,
    kLiteral
  };
  struct Step {
    Token token;
    char literal;   // kLiteral
    bool flexible;  // a one-digit value is allowed
  };
  static constexpr std::size_t kMaxSteps = 40;

  std::string text_;
  std::array<Step, kMaxSteps> steps_{};
  std::size_t count_ = 0;
  DateOrder order_ = DateOrder::kNone;
  bool hasClock_ = false, hasZone_ = false, unix_ = false, unixMillis_ = false;
};

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);
// The date of a day number (inverse of DaysFromCivil).
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);

}  // namespace kmr
