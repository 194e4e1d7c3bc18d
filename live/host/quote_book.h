// The best bid and offer as the market data messages leave them, and whether a message makes a
// tick for the engine. Fixed-size data: a quote costs no allocation.
#pragma once

#include <cstdint>
#include <limits>

namespace kmr {

inline constexpr char kEntryBid = '0';
inline constexpr char kEntryOffer = '1';
inline constexpr char kUpdateNew = '0';
inline constexpr char kUpdateChange = '1';
inline constexpr char kUpdateDelete = '2';

struct MdEntry {
  char type = 0;               // 269
  char action = kUpdateNew;    // 279; a snapshot's entries are all new
  double price = 0;            // 270
  std::int64_t time = 0;       // 272 + 273 as seconds since 1970 UTC
  bool hasTime = false;
};

struct QuoteUpdate {
  static constexpr int kMaxEntries = 8;
  bool snapshot = false;  // 35=W: replaces both sides
  int count = 0;          // entries kept (up to kMaxEntries)
  int dropped = 0;        // entries beyond them, or of another symbol or type
  MdEntry entries[kMaxEntries];
};

struct QuoteState {
  double bid = 0, ask = 0;
  bool haveBid = false, haveAsk = false;
  bool ticked = false;  // a tick was made: lastTime/lastBid/lastAsk hold it
  std::int32_t lastTime = std::numeric_limits<std::int32_t>::min();
  double lastBid = 0, lastAsk = 0;
  std::int64_t quoteTime = 0;  // the data's time of the last message
};

enum class QuoteVerdict : std::uint8_t {
  kTick,       // a new best bid or offer: ProcessNewTick(bid, ask, time)
  kNoChange,   // the same prices at the same time as the last tick
  kOneSided,   // no bid or no offer yet
  kCrossed,    // bid above offer
  kBadPrice,   // a price that is not a positive finite number
  kNoTime,     // no usable date and time, or one outside the engine's 32-bit time
  kBackwards,  // older than the last tick
  kStale,      // older than the allowed age by the wall clock
};

const char* QuoteVerdictText(QuoteVerdict verdict);

// Applies the message to the state; on kTick `tickTime` is the time to give the engine.
// `staleAfter` seconds (0: no check) are measured against `nowUtc`.
QuoteVerdict ApplyQuote(QuoteState& state, const QuoteUpdate& update, std::int64_t nowUtc,
                        double staleAfter, std::int32_t& tickTime);

}  // namespace kmr
