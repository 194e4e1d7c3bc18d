#include "live/host/safety_limits.h"

#include <cmath>
#include <cstdio>

namespace kmr {

std::string LimitGuard::CheckOpen(std::uint64_t nowMs, double netAfter, double profit,
                                  bool& latch) {
  char text[160];
  latch = false;
  while (!sent_.empty() && nowMs - sent_.front() >= 60000) sent_.pop_front();
  if (limits_.maxOrdersPerMinute > 0 &&
      static_cast<int>(sent_.size()) >= limits_.maxOrdersPerMinute) {
    std::snprintf(text, sizeof text, "maximum orders per minute (%d) reached",
                  limits_.maxOrdersPerMinute);
    latch = true;
    return text;
  }
  if (limits_.maxSessionLoss > 0 && -profit >= limits_.maxSessionLoss) {
    std::snprintf(text, sizeof text, "maximum session loss (%g) reached: profit %.2f",
                  limits_.maxSessionLoss, profit);
    latch = true;
    return text;
  }
  if (limits_.maxNetPosition > 0 && std::fabs(netAfter) > limits_.maxNetPosition * (1 + 1e-12)) {
    std::snprintf(text, sizeof text, "maximum net position (%g) would be crossed: %g",
                  limits_.maxNetPosition, netAfter);
    return text;
  }
  return {};
}

void LimitGuard::NoteOrder(std::uint64_t nowMs) {
  sent_.push_back(nowMs);
}

}  // namespace kmr
