#include "live/host/quote_book.h"

#include <cmath>

namespace kmr {

const char* QuoteVerdictText(QuoteVerdict verdict) {
  switch (verdict) {
    case QuoteVerdict::kTick: return "tick";
    case QuoteVerdict::kNoChange: return "no change";
    case QuoteVerdict::kOneSided: return "one-sided quote";
    case QuoteVerdict::kCrossed: return "crossed quote (bid above offer)";
    case QuoteVerdict::kBadPrice: return "quote with an impossible price";
    case QuoteVerdict::kNoTime: return "quote without a usable time";
    case QuoteVerdict::kBackwards: return "quote older than the last tick";
    case QuoteVerdict::kStale: return "stale quote";
  }
  return "?";
}

QuoteVerdict ApplyQuote(QuoteState& state, const QuoteUpdate& update, std::int64_t nowUtc,
                        double staleAfter, std::int32_t& tickTime) {
  if (update.snapshot) state.haveBid = state.haveAsk = false;
  bool badPrice = false, haveTime = false;
  std::int64_t time = 0;
  for (int i = 0; i < update.count && i < QuoteUpdate::kMaxEntries; ++i) {
    const MdEntry& e = update.entries[i];
    if (e.hasTime && (!haveTime || e.time > time)) time = e.time, haveTime = true;
    bool& have = e.type == kEntryBid ? state.haveBid : state.haveAsk;
    double& side = e.type == kEntryBid ? state.bid : state.ask;
    if (e.action == kUpdateDelete) {
      have = false;
      continue;
    }
    if (!(std::isfinite(e.price) && e.price > 0)) {
      badPrice = true;
      have = false;  // a side whose price is unknown is no side to trade against
      continue;
    }
    side = e.price;
    have = true;
  }
  if (haveTime) state.quoteTime = time;
  if (badPrice) return QuoteVerdict::kBadPrice;
  if (!state.haveBid || !state.haveAsk) return QuoteVerdict::kOneSided;
  if (state.bid > state.ask) return QuoteVerdict::kCrossed;
  if (!haveTime || time < std::numeric_limits<std::int32_t>::min() ||
      time > std::numeric_limits<std::int32_t>::max())
    return QuoteVerdict::kNoTime;
  const auto t = static_cast<std::int32_t>(time);
  if (state.ticked && t < state.lastTime) return QuoteVerdict::kBackwards;
  if (staleAfter > 0 && static_cast<double>(nowUtc - time) > staleAfter) return QuoteVerdict::kStale;
  if (state.ticked && t == state.lastTime && state.bid == state.lastBid && state.ask == state.lastAsk)
    return QuoteVerdict::kNoChange;
  state.ticked = true;
  state.lastTime = t;
  state.lastBid = state.bid;
  state.lastAsk = state.ask;
  tickTime = t;
  return QuoteVerdict::kTick;
}

}  // namespace kmr
