#include "engine/charts/trend_vote.h"

#include <algorithm>

#include "engine/charts/trend_chart.h"

namespace kmr {

std::uint32_t ComputeTrendWord(const TrendChart* charts, std::int32_t count) {
  std::uint32_t word = 0;
  for (int i = 0; i < std::min(count, 16); ++i) {
    const TrendChart& chart = charts[i];
    if (chart.trendChangeCount <= 0) continue;
    const bool up = chart.trendDirection[chart.trendChangeCount - 1] != 0;
    word |= (up ? kTrendCodeUp : kTrendCodeDown) << (2 * i);
  }
  return word;
}

std::int32_t ComputeTrendVote(std::uint32_t trendWord, std::int32_t considered) {
  int up = 0, down = 0, none = 0;
  for (int i = 0; i < std::min(considered, 16); ++i) {
    switch (TrendCode(trendWord, i)) {
      case kTrendCodeUp:
        ++up;
        break;
      case kTrendCodeDown:
        ++down;
        break;
      case kTrendCodeNone:
        ++none;
        break;
      default:
        break;  // code 2 never occurs; it neither votes nor blocks
    }
  }
  if (none > 0 || up == down) return 0;
  return up > down ? up : -down;
}

char* TrendLetters(std::uint32_t trendWord, std::int32_t chartCount, char* out) {
  const int count = std::clamp(chartCount, 0, 16);
  for (int i = 0; i < count; ++i) {
    switch (TrendCode(trendWord, i)) {
      case kTrendCodeUp:
        out[i] = 'U';
        break;
      case kTrendCodeDown:
        out[i] = 'D';
        break;
      default:
        out[i] = '-';
        break;
    }
  }
  out[count] = '\0';
  return out;
}

}  // namespace kmr
