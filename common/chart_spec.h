// The 32-bit ChartSpec word: bits 0-23 the chart size in ticks (0 = no chart),
// bits 24-27 the letter flags, bits 28-31 ignored.
#pragma once

#include <cstdint>

namespace kmr {

constexpr std::uint32_t kChartSizeMask = 0x00FFFFFFu;

// Trend chart letters. NoHedge is set when the letter H is absent.
constexpr std::uint32_t kTrendNoHedge = 1u << 24;
constexpr std::uint32_t kTrendCloseOnly = 1u << 25;      // X
constexpr std::uint32_t kTrendOpenTrade = 1u << 26;      // T
constexpr std::uint32_t kTrendColourHistory = 1u << 27;  // C

// Entry chart letters.
constexpr std::uint32_t kEntryOpenOrCloseOwn = 1u << 24;  // O
constexpr std::uint32_t kEntryOpenOnly = 1u << 25;        // T
constexpr std::uint32_t kEntryDisplayOnly = 1u << 26;     // D
constexpr std::uint32_t kEntryCloseOnly = 1u << 27;       // X

constexpr std::int32_t ChartSize(std::uint32_t spec) {
  return static_cast<std::int32_t>(spec & kChartSizeMask);
}
constexpr bool HasFlag(std::uint32_t spec, std::uint32_t flag) {
  return (spec & flag) != 0;
}

}  // namespace kmr
