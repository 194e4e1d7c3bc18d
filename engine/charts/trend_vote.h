// The trend word (two bits per trend chart) and the majority vote over the considered charts.
#pragma once

#include <cstdint>

namespace kmr {

struct TrendChart;

constexpr std::uint32_t kTrendCodeNone = 0;
constexpr std::uint32_t kTrendCodeDown = 1;
constexpr std::uint32_t kTrendCodeUp = 3;

constexpr std::uint32_t TrendCode(std::uint32_t trendWord, int chart) {
  return (trendWord >> (2 * chart)) & 3u;
}

std::uint32_t ComputeTrendWord(const TrendChart* charts, std::int32_t count);
std::int32_t ComputeTrendVote(std::uint32_t trendWord, std::int32_t considered);
// Writes one letter per chart ('-' none, 'D' down, 'U' up) for the first
// min(chartCount, 16) charts into `out` (room for 17 characters) and returns `out`.
char* TrendLetters(std::uint32_t trendWord, std::int32_t chartCount, char* out);

}  // namespace kmr
