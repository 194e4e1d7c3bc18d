#include "engine/trading/journal.h"

#include <cstring>
#include <ctime>

#include "engine/context/engine_context.h"
#include "engine/context/message_list.h"
#include "engine/platform/platform.h"
#include "engine/trading/trading_state.h"

namespace kmr {

namespace {

constexpr int kDealLineSize = 128;
constexpr int kKindTextSize = 16;

// The tick time as UTC; times up to 0 (as signed) read as all-zero fields, 1900-01-00.
std::tm StampOf(std::uint32_t tickTime) {
  std::tm fields{};
  const auto seconds = static_cast<std::int32_t>(tickTime);
  if (seconds > 0) {
    const std::time_t time = seconds;
    if (gmtime_r(&time, &fields) == nullptr) fields = std::tm{};
  }
  return fields;
}

const char* KindText(std::uint32_t kind) {
  if (kind & kKindDca) return "DCA";
  if (kind & kKindHedging) return "HEDGING";
  if (kind & kKindStandard) return "STANDARD";
  return "";
}

}  // namespace

void WriteJournalLine(TradingState& trading, std::uint8_t level, const char* text,
                      const char* detail, std::optional<std::int32_t> number,
                      std::optional<double> value) {
  if (!trading.journalEnabled || trading.context == nullptr) return;
  const std::tm t = StampOf(trading.tickTime);
  const int year = t.tm_year + 1900;
  const int month = t.tm_mon + 1;
  if (detail == nullptr) detail = "";
  char* line = trading.journalLine;
  const std::size_t size = sizeof trading.journalLine;
  if (number && value) {
    FormatBounded(line, size, "%04d%02d%02d %02d:%02d:%02d %.4f/%.4f %s %s %d %.4f\r\n", year,
                  month, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, trading.bid, trading.ask, text,
                  detail, *number, *value);
  } else if (number) {
    FormatBounded(line, size, "%04d%02d%02d %02d:%02d:%02d %.4f/%.4f %s %s %d\r\n", year, month,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, trading.bid, trading.ask, text, detail,
                  *number);
  } else if (value) {
    FormatBounded(line, size, "%04d%02d%02d %02d:%02d:%02d %.4f/%.4f %s %s %.4f\r\n", year, month,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, trading.bid, trading.ask, text, detail,
                  *value);
  } else {
    FormatBounded(line, size, "%04d%02d%02d %02d:%02d:%02d %.4f/%.4f %s %s\r\n", year, month,
                  t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, trading.bid, trading.ask, text, detail);
  }
  const EngineContext& context = *trading.context;
  if (context.logOpen && level <= context.logLevel)
    WriteLogFile(context.logFile, line, std::strlen(line));
}

void WriteDealJournalLine(TradingState& trading, bool open, std::uint32_t id, std::uint32_t kind,
                          bool isLong, double price, double volume) {
  if (!trading.journalEnabled || trading.context == nullptr) return;
  char kindText[kKindTextSize];
  FormatBounded(kindText, sizeof kindText, "%s", KindText(kind));
  char text[kDealLineSize];
  FormatBounded(text, sizeof text, "## %s %s %d %s %.4f %.4f %d %.4f %.4f %.4f",
                open ? "OPEN" : "CLOSE", kindText, static_cast<std::int32_t>(id),
                isLong ? "LONG" : "SHORT", price, volume, trading.filledDealCount,
                trading.netPosition, trading.floatingProfit, trading.closedProfit);
  WriteJournalLine(trading, 0, text);
}

void TradingMessage(TradingState& trading, const char* text) {
  if (trading.context != nullptr) LogMessage(*trading.context, text);
}

}  // namespace kmr
