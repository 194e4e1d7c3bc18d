#include "engine/window/adjust_view.h"

#include <cstdint>

#include "engine/context/engine_window.h"

namespace kmr {

namespace {

constexpr std::int32_t kSpanStep = 36000;  // ten hours

// Saturating, so that endless key presses cannot wrap a setting around.
std::int32_t Add(std::int32_t value, std::int64_t delta) {
  const std::int64_t sum = static_cast<std::int64_t>(value) + delta;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(sum);
}

}  // namespace

void AdjustView(EngineWindow& w, int step, int x, int y) {
  if (x > w.clientWidth / 2) {
    w.candleWidth = Add(w.candleWidth, step);
    if (w.candleWidth < 1) w.candleWidth = 1;
  } else if (y < w.clientHeight / 2) {
    w.historySpan = Add(w.historySpan, -static_cast<std::int64_t>(kSpanStep) * step);
    if (w.historySpan < 1) w.historySpan = kSpanStep;
  } else {
    w.fontPoints = Add(w.fontPoints, step);
    if (w.fontPoints < 1) w.fontPoints = 1;
  }
}

}  // namespace kmr
