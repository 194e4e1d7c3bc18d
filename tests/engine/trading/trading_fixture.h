// A configured engine whose deal book a test can fill directly, with the command queue, the
// message lines and the journal (through a real file) to look at.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "common/chart_spec.h"
#include "common/command.h"
#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/trading_state.h"

namespace kmr::testing {

constexpr std::uint32_t kNoHedge = kTrendNoHedge;

struct Book {
  std::unique_ptr<EngineContext> context;
  TradingState* t = nullptr;
  std::string journalPath;

  // Trend charts without letters by default, entry charts 40, 80, 120.
  explicit Book(std::initializer_list<std::uint32_t> trend = {kNoHedge | 1600, kNoHedge | 800,
                                                              kNoHedge | 400},
                int considered = 0, std::initializer_list<std::uint32_t> entry = {40, 80, 120}) {
    StrategyParameters p{0.25, 20, 8, 2.0, {}, considered, {}};
    std::copy(trend.begin(), trend.end(), p.trendCharts);
    std::copy(entry.begin(), entry.end(), p.entryCharts);
    context.reset(CreateEngineContext(nullptr));
    ConfigureEngine(*context, p);
    t = context->trading;
    t->dealSize = 1;
    t->tickValue = 12.5;
    t->dealCommission = 1.5;
    t->cadProfit = 1e9;
    t->maxNetPosition = 100;
    t->stdIntervalTicks = 0;
    t->tradingFlags = kIgnoreTrendOnNewDeal;
  }
  ~Book() {
    if (context->logOpen) ::close(context->logFile);
    if (!journalPath.empty()) ::unlink(journalPath.c_str());
  }

  // Opens a temporary journal file at the given level.
  void OpenJournal(std::uint8_t level) {
    char name[] = "/tmp/kmr-journal-XXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    journalPath = name;
    context->logFile = fd;
    context->logOpen = 1;
    context->logLevel = level;
    t->journalEnabled = 1;
  }
  std::string Journal() const {
    std::string out;
    char buffer[4096];
    ssize_t n;
    ::lseek(context->logFile, 0, SEEK_SET);
    while ((n = ::read(context->logFile, buffer, sizeof buffer)) > 0) out.append(buffer, n);
    ::lseek(context->logFile, 0, SEEK_END);
    return out;
  }
  bool JournalHas(const std::string& text) const {
    return Journal().find(text) != std::string::npos;
  }

  // Sets the context's trend word from codes (0 none, 1 down, 3 up) and the stored vote.
  void Trend(std::initializer_list<std::uint32_t> codes, std::int32_t vote) {
    std::uint32_t word = 0;
    int i = 0;
    for (std::uint32_t code : codes) word |= code << (2 * i++);
    context->trendWord = word;
    t->trendWord = word;
    t->trendVote = vote;
  }

  // Puts a deal straight into the table, ticketed as 1000 + id unless told otherwise.
  DealRecord& Deal(std::uint32_t kind, double price, double volume = 1, double profit = 0,
                   std::uint32_t ticket = 0) {
    EXPECT_TRUE(EnsureDealSlot(*t));
    const std::uint32_t id = TakeNextDealId(*t);
    if (volume > 0) {
      kind |= kKindFilled;
      ++t->filledDealCount;
    }
    DealRecord& d = t->deals[t->dealCount++];
    d = DealRecord{id, ticket ? ticket : 1000 + id, kNoLink, kind, price, volume, profit};
    t->netPosition += KindIsLong(kind) ? volume : -volume;
    BookChanged(*t);  // as every change of the book through the engine's own operations does
    return d;
  }

  std::vector<std::uint64_t> Drain() {
    std::vector<std::uint64_t> out;
    while (std::uint64_t word = GetNextCommand(*t)) out.push_back(word);
    return out;
  }
  std::string LastMessage() const {
    const MessageList& m = context->window->messages;
    return m.count ? std::string(m.Line(m.count - 1)).substr(9) : std::string();
  }
  bool HasMessage(const std::string& text) const {
    const MessageList& m = context->window->messages;
    for (int i = 0; i < m.count; ++i)
      if (std::string(m.Line(i)).substr(9) == text) return true;
    return false;
  }
};

inline std::uint64_t Close(std::uint32_t ticket) {
  return EncodeCommand(kCommandClose, ticket);
}
inline std::uint64_t OpenLong(std::uint32_t id) {
  return EncodeCommand(kCommandOpenLong, id);
}
inline std::uint64_t OpenShort(std::uint32_t id) {
  return EncodeCommand(kCommandOpenShort, id);
}

constexpr std::uint32_t kLong = kKindStandard | kKindLong;
constexpr std::uint32_t kShort = kKindStandard;

}  // namespace kmr::testing
