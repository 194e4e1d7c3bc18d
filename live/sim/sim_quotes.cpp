#include "live/sim/sim_quotes.h"

#include <cmath>
#include <stdexcept>

#include <quickfix/fix44/MarketDataIncrementalRefresh.h>
#include <quickfix/fix44/MarketDataSnapshotFullRefresh.h>

#include "live/fix/fix_number.h"
#include "live/fix/fix_time.h"

namespace kmr {

void QuoteStream::Open(const BrokerSimOptions& options) {
  path_ = options.priceFile;
  spread_ = options.spread;
  reader_.SetReadAsk(options.quotesFromFile);
  fromGiven_ = options.from.has_value();
  if (fromGiven_) from_ = HistoryTillFromFields(*options.from);
  Rewind();
  std::int64_t total = 0;
  SimQuote quote;
  while (Next(quote)) ++total;
  total_ = total;
  Rewind();
}

void QuoteStream::Rewind() {
  if (!reader_.Open(path_)) throw std::runtime_error(path_ + ": cannot be opened");
  skipped_ = 0;
  if (!fromGiven_) return;
  // kmr-replay's history part ends with the first line at or after --history-till, that line
  // included; its trade part, streamed here, is what follows.
  SourceLine line;
  while (reader_.ReadLine(line)) {
    ++skipped_;
    if (line.time >= from_) break;
  }
}

bool QuoteStream::Next(SimQuote& quote) {
  if (!reader_.IsOpen()) return false;
  SourceLine line;
  if (!reader_.ReadLine(line)) return false;
  quote.time = line.time;
  quote.bid = line.price;
  quote.ask = LineAsk(line, reader_.ReadsAsk(), spread_);
  quote.line = reader_.LineNumber();
  if (!std::isfinite(quote.bid) || !std::isfinite(quote.ask))
    throw SourceError(path_, quote.line, "the bid or the ask is not a finite number");
  return true;
}

namespace {

template <typename Entry>
void SetPrice(Entry& entry, char type, double price, const SimQuote& quote) {
  entry.setField(FIX::MDEntryType(type));
  entry.setField(FIX::FIELD::MDEntryPx, FormatFixNumber(price));
  entry.setField(FIX::FIELD::MDEntryDate, FixUtcDate(quote.time));
  entry.setField(FIX::FIELD::MDEntryTime, FixUtcTime(quote.time));
}

}  // namespace

FIX::Message BuildQuoteMessage(const SimQuote& quote, const std::string& symbol,
                               const std::string& mdReqId, bool snapshot) {
  if (snapshot) {
    FIX44::MarketDataSnapshotFullRefresh m;
    m.set(FIX::MDReqID(mdReqId));
    m.set(FIX::Symbol(symbol));
    for (const char type : {'0', '1'}) {
      FIX44::MarketDataSnapshotFullRefresh::NoMDEntries entry;
      SetPrice(entry, type, type == '0' ? quote.bid : quote.ask, quote);
      m.addGroup(entry);
    }
    return m;
  }
  FIX44::MarketDataIncrementalRefresh m;
  m.set(FIX::MDReqID(mdReqId));
  for (const char type : {'0', '1'}) {
    FIX44::MarketDataIncrementalRefresh::NoMDEntries entry;
    entry.setField(FIX::MDUpdateAction('1'));
    SetPrice(entry, type, type == '0' ? quote.bid : quote.ask, quote);
    entry.setField(FIX::Symbol(symbol));
    m.addGroup(entry);
  }
  return m;
}

}  // namespace kmr
