#include "engine/trading/signals.h"

#include "engine/charts/candle.h"
#include "engine/charts/trend_vote.h"
#include "engine/context/engine_context.h"
#include "engine/context/message_list.h"
#include "engine/trading/closing.h"
#include "engine/trading/journal.h"
#include "engine/trading/opening.h"
#include "engine/trading/trading_state.h"

namespace kmr {

namespace {

constexpr int kMaxTrendCodes = 16;
constexpr int kSignalTextSize = 64;

// The considered trend charts as the entry handling and the open pass see them.
struct TrendAgreement {
  bool decided;
  bool allUp;
  bool allDown;
};

TrendAgreement AgreementOf(const EngineContext& context) {
  int considered = context.trendChartsConsidered;
  if (considered > kMaxTrendCodes) considered = kMaxTrendCodes;
  if (considered < 1) return {false, false, false};
  int up = 0;
  int down = 0;
  bool complete = true;
  for (int i = 0; i < considered; ++i) {
    const std::uint32_t code = TrendCode(context.trendWord, i);
    if (code == kTrendCodeUp)
      ++up;
    else if (code == kTrendCodeDown)
      ++down;
    else
      complete = false;
  }
  return {complete && up != down, up == considered, down == considered};
}

bool MaskHas(std::uint8_t mask, int chart) {
  return chart >= 0 && chart < 8 && (mask >> chart) & 1;
}

// A vote that flips sign names the side the old trend favoured; to or from 0 is no flip.
bool SideAgainstNewVote(std::int32_t oldVote, std::int32_t newVote, Side& side) {
  if (oldVote < 0 && newVote > 0) {
    side = Side::kShort;
    return true;
  }
  if (oldVote > 0 && newVote < 0) {
    side = Side::kLong;
    return true;
  }
  return false;
}

}  // namespace

void OnNewTrend(TradingState& trading, std::uint32_t trendWord, std::int32_t trendVote) {
  if (trading.context == nullptr) return;
  const EngineContext& context = *trading.context;
  char letters[kMaxTrendCodes + 1];
  TrendLetters(context.trendWord, context.trendChartCount, letters);
  char text[48];
  FormatBounded(text, sizeof text, "Vuz1 graphs updated: %s", letters);
  TradingMessage(trading, text);
  WriteJournalLine(trading, 2, "Vuz1 new update: ", letters);

  const std::uint32_t oldWord = trading.trendWord;
  const std::int32_t oldVote = trading.trendVote;
  trading.trendWord = trendWord;
  trading.trendVote = trendVote;

  Side side;
  const bool flipped = SideAgainstNewVote(oldVote, trendVote, side);
  if (flipped && (trading.tradingFlags & kClosePositiveGroupOnNewTrend) &&
      CloseSideGroupOnNewTrend(trading, side))
    return;
  if (flipped && (trading.tradingFlags & kClosePositiveOnNewTrend) &&
      CloseProfitableSideOnNewTrend(trading, side))
    return;

  int charts = trading.trendChartCount;
  if (charts > kMaxTrendCodes) charts = kMaxTrendCodes;
  bool acted = false;
  for (int i = 0; i < charts; ++i) {
    const std::uint32_t code = TrendCode(trendWord, i);
    if (code == TrendCode(oldWord, i)) continue;
    const bool hedge = !MaskHas(trading.trendNoHedgeMask, i);
    if (!hedge && !MaskHas(trading.trendCloseOnlyMask, i)) continue;
    if (code == kTrendCodeDown)
      acted |= ClosePositiveOrHedgeStandardDeals(trading, true, hedge);
    else if (code == kTrendCodeUp)
      acted |= ClosePositiveOrHedgeStandardDeals(trading, false, hedge);
  }
  if (acted) return;

  const TrendAgreement agreement = AgreementOf(context);
  const bool synchronizedRequired = (trading.tradingFlags & kSynchronizedTrendRequired) != 0;
  for (int i = 0; i < charts; ++i) {
    if (!MaskHas(trading.trendOpenMask, i)) continue;
    const std::uint32_t code = TrendCode(trendWord, i);
    if (code == TrendCode(oldWord, i)) continue;
    if (code == kTrendCodeDown && trendVote < 0) {
      if (IsDealNearPrice(trading, false, trading.bid)) continue;
      if (synchronizedRequired && !agreement.allDown) continue;
      OpenNewDeal(trading, kKindStandard, kNoLink);
    } else if (code == kTrendCodeUp && trendVote > 0) {
      if (IsDealNearPrice(trading, true, trading.ask)) continue;
      if (synchronizedRequired && !agreement.allUp) continue;
      OpenNewDeal(trading, kKindStandard | kKindLong, kNoLink);
    }
  }
}

void OnEntrySignal(TradingState& trading, std::int32_t entryChart, std::uint32_t result,
                   bool external) {
  if (trading.context == nullptr) return;
  // The chart index becomes the deal's origin, which has room for 0..14 only.
  if (entryChart < 0 || entryChart >= static_cast<std::int32_t>(kKindOriginManual)) return;
  const int c = entryChart;

  char text[kSignalTextSize];
  int used = FormatBounded(
      text, sizeof text,
      external ? "%i. entry chart EXT signal(s): " : "%i. entry chart signal(s): ", c + 1);
  const struct {
    std::uint32_t bit;
    const char* name;
  } names[] = {{kResultUp1, " UP1"},
               {kResultDown1, " DOWN1"},
               {kResultUp2, " UP2"},
               {kResultDown2, " DOWN2"}};
  for (const auto& name : names) {
    if (!(result & name.bit) || used < 0) continue;
    const int more = FormatBounded(text + used, sizeof text - used, "%s", name.name);
    used = more < 0 ? -1 : used + more;
  }
  TradingMessage(trading, text);
  WriteJournalLine(trading, 2, text);

  const bool up = (result & (kResultUp1 | kResultUp2)) != 0;
  const bool down = (result & (kResultDown1 | kResultDown2)) != 0;

  if (!MaskHas(trading.entryOpenOnlyMask, c)) {
    const std::int32_t filter = MaskHas(trading.entryOpenOrCloseMask, c) ? c : -1;
    if (down && TryCloseDealIfInProfit(trading, true, filter)) return;
    if (up && TryCloseDealIfInProfit(trading, false, filter)) return;
  }
  if (MaskHas(trading.entryCloseOnlyMask, c)) return;

  const TrendAgreement agreement = AgreementOf(*trading.context);
  if (!agreement.decided) return;
  if (!(trading.tradingFlags & kIgnoreTrendOnNewDeal)) {
    if (trading.trendVote > 0 && down) return;
    if (trading.trendVote < 0 && up) return;
  }

  if (!IsDealNearPrice(trading, up, up ? trading.ask : trading.bid)) {
    const bool synchronizedRequired = (trading.tradingFlags & kSynchronizedTrendRequired) != 0;
    const std::uint32_t chartBits = static_cast<std::uint32_t>(c) << kKindOriginShift;
    if (up && CanOpenPosition(trading, trading.dealSize) &&
        (!synchronizedRequired || agreement.allUp)) {
      OpenNewDeal(trading, chartBits | kKindStandard | kKindLong, kNoLink);
      return;
    }
    if (down && CanOpenPosition(trading, -trading.dealSize) &&
        (!synchronizedRequired || agreement.allDown)) {
      OpenNewDeal(trading, chartBits | kKindStandard, kNoLink);
      return;
    }
  }
  TryOpenDcaDeal(trading, c, up, down);
}

}  // namespace kmr
