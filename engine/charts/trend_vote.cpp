#include "engine/charts/trend_vote.h"

namespace kmr {

// Placeholder until the charts land.
std::uint32_t ComputeTrendWord(const TrendChart*, std::int32_t) { return 0; }
std::int32_t ComputeTrendVote(std::uint32_t, std::int32_t) { return 0; }
char* TrendLetters(std::uint32_t, std::int32_t, char* out) {
  out[0] = '\0';
  return out;
}

}  // namespace kmr
