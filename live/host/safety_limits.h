// Limits of the host, independent of the engine's own: orders per minute, net position and the
// session's loss. Each is off at 0.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace kmr {

struct SafetyLimits {
  int maxOrdersPerMinute = 0;
  double maxNetPosition = 0;
  double maxSessionLoss = 0;
};

class LimitGuard {
 public:
  explicit LimitGuard(SafetyLimits limits) : limits_(limits) {}

  // Why a new open may not go out (empty: it may). `netAfter` is the net position with it and
  // every open still working; `profit` the session's closed plus floating profit.
  // `latch` is set when the limit stops trading for the rest of the session.
  std::string CheckOpen(std::uint64_t nowMs, double netAfter, double profit, bool& latch);
  // Every order sent, opens and closes, counts towards the rate.
  void NoteOrder(std::uint64_t nowMs);

 private:
  SafetyLimits limits_;
  std::deque<std::uint64_t> sent_;
};

}  // namespace kmr
