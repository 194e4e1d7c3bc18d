// The pieces of the tester's price lines: the local time stamp "YYYYMMDD HHMMSS" and prices in
// the shortest text that reads back to the same double.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kmr {

// Room a price needs at most.
inline constexpr std::size_t kMaxPriceText = 32;

// The price without an exponent where that stays short, and no digit more than the double
// needs to read back the same.
char* AppendPrice(char* out, double value);

class StampText {
 public:
  // "YYYYMMDD HHMMSS" (15 characters) of local clock seconds since 1970, which must lie in
  // 1970 to 9999.
  char* Append(char* out, std::int64_t local);

 private:
  std::int64_t day_ = -1;
  char date_[9] = {};
};

}  // namespace kmr
