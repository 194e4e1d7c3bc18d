// Fields of a price line's date and time, and their conversion from local time to the signed
// 32-bit line time, looked up once per local day.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "tester/settings/local_time.h"

namespace kmr {

// Year, month, day, hour, minute and second from character positions 1-4, 5-6, 7-8, 10-11,
// 12-13 and 14-15, by character-code arithmetic. A line of exactly 14 characters counts the
// fifteenth as code 0. The line must hold at least 14 characters.
LocalDateTime LineFields(std::string_view line);

// The price field: after the first ';' up to the next ';' or the end; the whole line without ';'.
std::string_view PriceField(std::string_view line);

// The ask of a bid/ask line: after the second ';' up to the next ';' or the end; nullopt when
// the line has no second ';'.
std::optional<std::string_view> AskField(std::string_view line);

// The whole field as a finite decimal number; nullopt for anything else (an empty field too).
std::optional<double> ParseDecimal(std::string_view field);

// The powers of ten that are exact doubles.
inline constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                          1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                          1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// strtod of the field in the C locale (leading numeric part, 0.0 when there is none), with an
// exact fast path for plain decimals.
double ParsePrice(std::string_view field);

// The fields read as if they were UTC, in seconds; mktime normalises fields out of their range
// (a day 31 of April, minutes below zero) the same linear way.
std::int64_t NaiveSeconds(const LocalDateTime& local);

// Local time `naive` (NaiveSeconds) as seconds since 1970 UTC, the platform's zone deciding on
// daylight saving time; the same as mktime with tm_isdst = -1 wherever the local time names one
// instant. mktime's answer in the hour the clocks go back, and in the hour they skip, depends on
// the calls made before it; here it does not: a repeated local time is its first instant, a
// skipped one is read with the offset in force before the gap (mktime's answers when the file
// is read in time order). nullopt when the platform cannot convert it. One line at a time, with
// no memory: the reference for LineTimeConverter.
std::optional<std::int64_t> LocalLineTime(std::int64_t naive);

// The offsets to UTC in force over a stretch of time, one entry per change, found from the
// platform's zone with one look-up per hour and a search where the offset changes (no zone
// changes its offset twice within an hour).
class ZoneWindow {
 public:
  // Covers [from, to) when it can; false when the platform fails or the offset changes too often.
  bool Cover(std::int64_t from, std::int64_t to);
  std::int64_t OffsetAt(std::int64_t time) const;  // inside the covered stretch
  bool Uniform() const { return count_ == 1; }
  std::int64_t FirstOffset() const { return offsets_[0]; }

 private:
  bool Extend(std::int64_t to);

  static constexpr int kMaxChanges = 16;
  std::int64_t starts_[kMaxChanges] = {};  // starts_[i]: where offsets_[i] begins
  std::int64_t offsets_[kMaxChanges] = {};
  int count_ = 0;
  std::int64_t from_ = 0, to_ = 0;
};

// Line times as LocalLineTime gives them, with the zone looked up once per local day: on a day
// whose offset holds all around it a line costs one subtraction, and on the days near a change
// the rule of LocalLineTime is applied to the offsets found for that day.
class LineTimeConverter {
 public:
  // nullopt when a field is out of range, the platform cannot convert it, or it does not fit.
  std::optional<std::int32_t> Convert(const LocalDateTime& local);

  // The line time of NaiveSeconds(fields) whose fields are in range; false as Convert's nullopt.
  // (No optional here: its two halves stored apart and read back whole stall the line's loop.)
  bool ConvertNaive(std::int64_t naive, std::int32_t& time) {
    if (naive >= uniformFrom_ && naive < uniformTo_) {
      time = static_cast<std::int32_t>(naive - offset_);
      return true;
    }
    return ConvertOther(naive, time);
  }

 private:
  bool ConvertOther(std::int64_t naive, std::int32_t& time);

  // Local naive times in [uniformFrom_, uniformTo_) are naive - offset_, and fit 32 bits.
  std::int64_t uniformFrom_ = 0, uniformTo_ = 0, offset_ = 0;
  bool haveDay_ = false;
  std::int64_t day_ = 0;  // the local day looked up last, as a naive time
  bool windowValid_ = false;
  ZoneWindow window_;
};

}  // namespace kmr
