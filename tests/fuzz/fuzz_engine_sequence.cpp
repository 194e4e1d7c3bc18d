// Drives the fifteen exports, and the window's manual commands under the engine lock, in any
// order with any arguments: NaN and infinite prices, zero and negative tick sizes, chart words
// with every bit, unknown ids and tickets, reports out of order, odd log paths. After every call
// the book is checked against what the engine guarantees whatever the host does.
#include <dirent.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

// The exports are part of this program, so that the checks can look at the context they use.
#include "common/command.h"
#include "engine/context/message_list.h"
#include "engine/exports/exports.cpp"
#include "engine/trading/closing.h"
#include "engine/trading/opening.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

using kmr::DealRecord;
using kmr::TradingState;

std::string g_folder;

struct Snapshot {
  std::vector<std::uint64_t> commands;
  std::vector<DealRecord> deals;
};

Snapshot Take() {
  const TradingState& t = *g_context->trading;
  Snapshot s;
  s.commands.assign(t.commands, t.commands + std::max(0, std::min(t.commandCount, 255)));
  if (t.deals != nullptr && t.dealCount > 0) s.deals.assign(t.deals, t.deals + t.dealCount);
  return s;
}

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// What a call may have done to the book.
enum class Effect {
  kNothing,  // table and queue as they were
  kPop,      // the queue's oldest word taken, table as it was
  kTrade,    // deals appended or marked closing, with their commands appended
  kReport,   // one deal's ticket or fill changed, or one deal removed; queue as it was
  kReset,    // book and queue empty
};

int g_opensSinceReset = 0;

// Holds after every call, whatever the host did.
void CheckState() {
  const kmr::EngineContext& c = *g_context;
  const TradingState& t = *c.trading;
  FUZZ_CHECK(t.commandCount >= 0 && t.commandCount <= kmr::kCommandQueueSize);
  for (int i = 0; i < kmr::kCommandQueueSize; ++i) {
    const std::uint64_t word = t.commands[i];
    if (i >= t.commandCount) {
      FUZZ_CHECK(word == 0);
      continue;
    }
    const std::uint8_t code = kmr::CommandCodeOf(word);
    FUZZ_CHECK((word >> 40) == 0);
    FUZZ_CHECK(code == kmr::kCommandOpenLong || code == kmr::kCommandOpenShort ||
               code == kmr::kCommandClose);
  }
  FUZZ_CHECK(t.dealCount >= 0 && t.dealCount <= t.dealCapacity);
  FUZZ_CHECK(t.dealCapacity == 0 || t.deals != nullptr);
  int filled = 0;
  for (int i = 0; i < t.dealCount; ++i) {
    const DealRecord& d = t.deals[i];
    FUZZ_CHECK(d.id >= 1 && d.id <= 32766);
    if (d.kind & kmr::kKindFilled) ++filled;
    if (g_opensSinceReset < 32766)
      for (int k = 0; k < i; ++k) FUZZ_CHECK(t.deals[k].id != d.id);
  }
  FUZZ_CHECK(t.filledDealCount == filled);
  FUZZ_CHECK(t.nextDealId >= 1 && t.nextDealId <= 32766);
  FUZZ_CHECK(std::memchr(t.journalLine, 0, sizeof t.journalLine) != nullptr);

  FUZZ_CHECK(c.trendChartCount >= 0 && c.trendChartCount <= kmr::kMaxCharts);
  FUZZ_CHECK(c.entryChartCount >= 0 && c.entryChartCount <= kmr::kMaxCharts);
  FUZZ_CHECK(c.trendChartsConsidered >= 0 && c.trendChartsConsidered <= c.trendChartCount);
  FUZZ_CHECK(c.live == 0 || c.live == 1);
  FUZZ_CHECK(c.logOpen == (c.logFile >= 0 ? 1 : 0));
  for (const auto* captions : {c.trendCaptions, c.entryCaptions})
    for (int i = 0; i < kmr::kMaxCharts; ++i)
      FUZZ_CHECK(std::memchr(captions[i], 0, kmr::kCaptionSize) != nullptr);
  if (c.window != nullptr) {
    const kmr::MessageList& m = c.window->messages;
    FUZZ_CHECK(m.count >= 0 && m.count <= kmr::kMessageLines);
    FUZZ_CHECK(m.first >= 0 && m.first < kmr::kMessageLines);
    for (int i = 0; i < m.count; ++i)
      FUZZ_CHECK(std::memchr(m.Line(i), 0, kmr::kMessageLineSize) != nullptr);
  }
}

// The commands the call queued agree with the deals it recorded or marked closing.
void CheckTrade(const Snapshot& before, const Snapshot& after) {
  FUZZ_CHECK(after.commands.size() >= before.commands.size());
  FUZZ_CHECK(std::equal(before.commands.begin(), before.commands.end(), after.commands.begin()));
  FUZZ_CHECK(after.deals.size() >= before.deals.size());
  std::vector<std::uint32_t> closedTickets;
  for (std::size_t i = 0; i < before.deals.size(); ++i) {
    const DealRecord& was = before.deals[i];
    const DealRecord& now = after.deals[i];
    FUZZ_CHECK(was.id == now.id && was.ticket == now.ticket);
    FUZZ_CHECK(SameBits(was.price, now.price) && SameBits(was.volume, now.volume));
    FUZZ_CHECK((was.kind & ~kmr::kKindClosing) == (now.kind & ~kmr::kKindClosing));
    FUZZ_CHECK(!(was.kind & kmr::kKindClosing) || (now.kind & kmr::kKindClosing));
    if (!(was.kind & kmr::kKindClosing) && (now.kind & kmr::kKindClosing)) {
      FUZZ_CHECK(was.ticket != kmr::kNoTicket);
      closedTickets.push_back(now.ticket);
    }
  }
  std::size_t nextNew = before.deals.size();
  std::vector<std::uint32_t> queuedCloses;
  for (std::size_t i = before.commands.size(); i < after.commands.size(); ++i) {
    const std::uint64_t word = after.commands[i];
    const std::uint8_t code = kmr::CommandCodeOf(word);
    if (code == kmr::kCommandClose) {
      queuedCloses.push_back(kmr::CommandOperandOf(word));
      continue;
    }
    // Opens name the new deals, in the order they were recorded.
    FUZZ_CHECK(nextNew < after.deals.size());
    const DealRecord& deal = after.deals[nextNew++];
    FUZZ_CHECK(kmr::CommandOperandOf(word) == deal.id);
    FUZZ_CHECK((code == kmr::kCommandOpenLong) == kmr::KindIsLong(deal.kind));
    FUZZ_CHECK(deal.ticket == kmr::kNoTicket && deal.volume == 0);
    FUZZ_CHECK(!(deal.kind & (kmr::kKindFilled | kmr::kKindClosing)));
    ++g_opensSinceReset;
  }
  FUZZ_CHECK(nextNew == after.deals.size());
  std::sort(closedTickets.begin(), closedTickets.end());
  std::sort(queuedCloses.begin(), queuedCloses.end());
  FUZZ_CHECK(closedTickets == queuedCloses);
}

void CheckEffect(Effect effect, const Snapshot& before, std::uint64_t popped = 0) {
  CheckState();
  const Snapshot after = Take();
  auto sameDeals = [](const std::vector<DealRecord>& a, const std::vector<DealRecord>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (a[i].id != b[i].id || a[i].ticket != b[i].ticket || a[i].kind != b[i].kind ||
          !SameBits(a[i].volume, b[i].volume) || !SameBits(a[i].price, b[i].price))
        return false;
    return true;
  };
  switch (effect) {
    case Effect::kNothing:
      FUZZ_CHECK(after.commands == before.commands);
      FUZZ_CHECK(sameDeals(after.deals, before.deals));
      break;
    case Effect::kPop:
      if (before.commands.empty()) {
        FUZZ_CHECK(popped == 0 && after.commands.empty());
      } else {
        FUZZ_CHECK(popped == before.commands.front());
        FUZZ_CHECK(std::equal(after.commands.begin(), after.commands.end(),
                              before.commands.begin() + 1, before.commands.end()));
      }
      FUZZ_CHECK(sameDeals(after.deals, before.deals));
      break;
    case Effect::kTrade:
      CheckTrade(before, after);
      break;
    case Effect::kReport: {
      FUZZ_CHECK(after.commands == before.commands);
      const std::size_t removed = before.deals.size() - after.deals.size();
      FUZZ_CHECK(after.deals.size() <= before.deals.size() && removed <= 1);
      // The others keep their order and their ids.
      std::size_t k = 0;
      for (std::size_t i = 0; i < before.deals.size() && k < after.deals.size(); ++i)
        if (before.deals[i].id == after.deals[k].id) ++k;
      FUZZ_CHECK(k == after.deals.size());
      break;
    }
    case Effect::kReset:
      FUZZ_CHECK(after.commands.empty() && after.deals.empty());
      g_opensSinceReset = 0;
      break;
  }
}

double Price(FuzzedDataProvider& in, double& walk, double tick) {
  static const double kOdd[] = {std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity(),
                                -std::numeric_limits<double>::infinity(),
                                0.0,
                                -0.0,
                                std::numeric_limits<double>::denorm_min(),
                                std::numeric_limits<double>::max(),
                                -1.0,
                                1e300,
                                2147483648.0};
  const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
  if (pick < 16) return kOdd[pick % (sizeof kOdd / sizeof kOdd[0])];
  if (pick < 24) return in.ConsumeFloatingPoint<double>();
  // Mostly a walk in whole ticks, so that candles complete and trends turn.
  const double step = std::isfinite(tick) && tick > 0 && tick < 1e6 ? tick : 0.25;
  walk += step * in.ConsumeIntegralInRange<int>(-40, 40);
  if (!std::isfinite(walk) || std::fabs(walk) > 1e9) walk = 100;
  return walk;
}

double Amount(FuzzedDataProvider& in) {
  static const double kAmounts[] = {1.0,
                                    0.2,
                                    0.25,
                                    0.0,
                                    -1.0,
                                    5.0,
                                    100.0,
                                    1e-9,
                                    1e12,
                                    std::numeric_limits<double>::quiet_NaN(),
                                    std::numeric_limits<double>::infinity(),
                                    -std::numeric_limits<double>::infinity()};
  const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
  if (pick < 200) return kAmounts[pick % 6];
  if (pick < 240) return kAmounts[pick % (sizeof kAmounts / sizeof kAmounts[0])];
  return in.ConsumeFloatingPoint<double>();
}

int ChartWord(FuzzedDataProvider& in) {
  const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
  if (pick < 64) return 0;
  if (pick < 200)
    return static_cast<int>((std::uint32_t{in.ConsumeIntegral<std::uint8_t>()} << 24) |
                            in.ConsumeIntegralInRange<std::uint32_t>(1, 64));
  return in.ConsumeIntegral<int>();
}

// An id or ticket: mostly one the book holds, sometimes anything.
std::uint32_t BookKey(FuzzedDataProvider& in, bool ticket) {
  const TradingState& t = *g_context->trading;
  const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
  if (pick < 180 && t.dealCount > 0) {
    const DealRecord& d = t.deals[pick % t.dealCount];
    return ticket ? d.ticket : d.id;
  }
  if (pick < 200) return 0;
  if (pick < 220) return 0xFFFFFFFFu;
  return in.ConsumeIntegral<std::uint32_t>();
}

std::u16string LogPath(FuzzedDataProvider& in) {
  std::u16string path;
  for (char c : g_folder + "/") path += static_cast<char16_t>(c);
  const std::string name = in.ConsumeRandomLengthString(12);
  for (std::size_t i = 0; i + 1 < name.size() || i < name.size(); i += 2) {
    char16_t unit = static_cast<unsigned char>(name[i]);
    if (i + 1 < name.size())
      unit |= static_cast<char16_t>(static_cast<unsigned char>(name[i + 1]) << 8);
    if (unit == u'/') unit = u'_';
    if (unit == 0) break;
    path += unit;
  }
  static const char16_t* kSuffixes[] = {u"", u" \\0", u" \\3", u" \\9", u" \\a", u"\\1", u" \\"};
  path += kSuffixes[in.ConsumeIntegral<std::uint8_t>() % 7];
  return path;
}

void Configure(FuzzedDataProvider& in, double& tick) {
  static const double kTicks[] = {0.25,
                                  0.0001,
                                  1.0,
                                  0.0,
                                  -0.25,
                                  std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::infinity(),
                                  1e-300};
  const std::uint8_t pick = in.ConsumeIntegral<std::uint8_t>();
  tick = pick < 224 ? kTicks[pick % 3] : kTicks[pick % 8];
  const int smoothing1 =
      in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(1, 30) : in.ConsumeIntegral<int>();
  const int smoothing2 =
      in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(1, 10) : in.ConsumeIntegral<int>();
  const double deviation = in.ConsumeBool() ? 2.0 : Amount(in);
  int trend[8], entry[8];
  for (int& w : trend) w = ChartWord(in);
  const int considered = in.ConsumeIntegralInRange<int>(-2, 10);
  for (int& w : entry) w = ChartWord(in);
  const Snapshot before = Take();
  FUZZ_CHECK(InitializeKMR(tick, smoothing1, smoothing2, deviation, trend[0], trend[1], trend[2],
                           trend[3], trend[4], trend[5], trend[6], trend[7], considered, entry[0],
                           entry[1], entry[2], entry[3], entry[4], entry[5], entry[6],
                           entry[7]) == 1);
  CheckEffect(Effect::kReset, before);
}

void SetPrices(FuzzedDataProvider& in) {
  const double dealSize = Amount(in);
  const double tickValue = Amount(in);
  const double commission = Amount(in);
  const double cad = in.ConsumeBool() ? 50.0 : Amount(in);
  const int dca = in.ConsumeIntegralInRange<int>(-5, 200);
  const int stdTicks = in.ConsumeIntegralInRange<int>(-5, 100);
  const int stdMin = in.ConsumeIntegralInRange<int>(-5, 10);
  const double maxNet = in.ConsumeBool() ? 5.0 : Amount(in);
  const int flags = in.ConsumeIntegral<int>();
  const Snapshot before = Take();
  FUZZ_CHECK(SetKMRPriceParameters(dealSize, tickValue, commission, cad, dca, stdTicks, stdMin,
                                   maxNet, flags) == 0);
  CheckEffect(Effect::kNothing, before);
}

// A manual command of the engine window: its trading action under the engine lock.
template <typename Action>
void Manual(Effect effect, Action action) {
  const Snapshot before = Take();
  {
    std::lock_guard<std::mutex> hold(g_context->lock);
    action(*g_context->trading);
  }
  CheckEffect(effect, before);
}

void EmptyFolder() {
  DIR* dir = opendir(g_folder.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.' || (entry->d_name[1] != 0 && entry->d_name[1] != '.'))
      unlinkat(dirfd(dir), entry->d_name, 0);
  closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KMR_NO_WINDOW", "1", 1);
  setenv("TZ", "Europe/Zurich", 1);
  char name[] = "/tmp/kmr-fuzz-engine-XXXXXX";
  FUZZ_CHECK(mkdtemp(name) != nullptr);
  g_folder = name;
  std::atexit([] {
    EmptyFolder();
    rmdir(g_folder.c_str());
  });
  // Before the first InitializeKMR nothing but SetLogFilePath has an effect.
  FUZZ_CHECK(GetNextCommand() == 0);
  FUZZ_CHECK(ProcessNewTick(1, 1, 0, 1) == 0);
  FUZZ_CHECK(ProcessHistoryTick(1, 0, 1) == 0);
  FUZZ_CHECK(ProcessHistoryM1(1, 1, 1, 1, 0, 1) == 0);
  FUZZ_CHECK(ProcessHistoryDataFinished() == 0);
  OrderSetTicket(1, 1);
  OrderFilled(1, 1, 1);
  OpenDealClosed(1, 1, 1);
  OrderClosed(1);
  OrderRejected(1);
  TriggerExternalSignal(0, 1, 1);
  DeinitializeKMR();
  FUZZ_CHECK(g_context->trading->dealCount == 0 && g_context->trading->commandCount == 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  double tick = 0.25;
  double walk = 100;
  int time = 820454400;
  std::uint32_t nextTicket = 70001;
  {
    // The side switches survive InitializeKMR; every run starts with both on.
    std::lock_guard<std::mutex> hold(g_context->lock);
    g_context->trading->longEnabled = 1;
    g_context->trading->shortEnabled = 1;
  }
  Configure(in, tick);
  SetPrices(in);

  for (int step = 0; step < 4000 && in.remaining_bytes() > 0; ++step) {
    const std::uint8_t op = in.ConsumeIntegral<std::uint8_t>() % 26;
    time += in.ConsumeBool() ? in.ConsumeIntegralInRange<int>(-100, 4000) : 60;
    Snapshot before = Take();
    switch (op) {
      case 0:
      case 1:
      case 2: {
        const double bid = Price(in, walk, tick);
        const double ask = in.ConsumeBool() ? bid : Price(in, walk, tick);
        ProcessNewTick(bid, ask, time, in.ConsumeIntegral<std::uint8_t>());
        CheckEffect(Effect::kTrade, before);
        break;
      }
      case 3:
        ProcessHistoryTick(Price(in, walk, tick), time, in.ConsumeIntegral<std::uint8_t>());
        CheckEffect(Effect::kNothing, before);
        break;
      case 4: {
        const double o = Price(in, walk, tick), h = Price(in, walk, tick);
        const double l = Price(in, walk, tick), c = Price(in, walk, tick);
        ProcessHistoryM1(o, h, l, c, time, in.ConsumeIntegral<std::uint8_t>());
        CheckEffect(Effect::kNothing, before);
        break;
      }
      case 5:
        FUZZ_CHECK(ProcessHistoryDataFinished() == 0);
        CheckEffect(Effect::kNothing, before);
        break;
      case 6: {
        const std::uint64_t word = static_cast<std::uint64_t>(GetNextCommand());
        CheckEffect(Effect::kPop, before, word);
        break;
      }
      case 7:
      case 8: {
        // A well-behaved host: carry out the oldest command and report it.
        const std::uint64_t word = static_cast<std::uint64_t>(GetNextCommand());
        CheckEffect(Effect::kPop, before, word);
        if (word == 0) break;
        const std::uint32_t operand = kmr::CommandOperandOf(word);
        if (kmr::CommandCodeOf(word) == kmr::kCommandClose) {
          const TradingState& t = *g_context->trading;
          const int i = kmr::FindDealByTicket(t, operand);
          const double volume = i >= 0 ? t.deals[i].volume : 1.0;
          before = Take();
          OpenDealClosed(operand, volume, Price(in, walk, tick));
          CheckEffect(Effect::kReport, before);
        } else {
          const std::uint32_t ticket = nextTicket++;
          before = Take();
          OrderSetTicket(operand, ticket);
          CheckEffect(Effect::kReport, before);
          before = Take();
          OrderFilled(ticket, g_context->trading->dealSize, Price(in, walk, tick));
          CheckEffect(Effect::kReport, before);
        }
        break;
      }
      case 9: {
        const std::uint32_t id = BookKey(in, false);
        const std::uint32_t ticket = in.ConsumeBool() ? nextTicket++ : BookKey(in, true);
        OrderSetTicket(id, ticket);
        CheckEffect(Effect::kReport, before);
        break;
      }
      case 10: {
        const std::uint32_t ticket = BookKey(in, true);
        OrderFilled(ticket, Amount(in), Price(in, walk, tick));
        CheckEffect(Effect::kReport, before);
        break;
      }
      case 11: {
        const std::uint32_t ticket = BookKey(in, true);
        OpenDealClosed(ticket, Amount(in), Price(in, walk, tick));
        CheckEffect(Effect::kReport, before);
        break;
      }
      case 12:
        OrderClosed(static_cast<int>(BookKey(in, true)));
        CheckEffect(Effect::kReport, before);
        break;
      case 13:
        OrderRejected(static_cast<int>(BookKey(in, false)));
        CheckEffect(Effect::kReport, before);
        break;
      case 14:
      case 15: {
        const int chart = in.ConsumeIntegralInRange<int>(-2, 10);
        TriggerExternalSignal(in.ConsumeIntegral<int>(), chart, in.ConsumeIntegral<std::uint8_t>());
        CheckEffect(Effect::kTrade, before);
        break;
      }
      case 16: {
        const std::u16string path = LogPath(in);
        SetLogFilePath(path.c_str());
        CheckEffect(Effect::kNothing, before);
        break;
      }
      case 17:
        SetPrices(in);
        break;
      case 18:
        if (in.ConsumeIntegral<std::uint8_t>() < 32) Configure(in, tick);
        break;
      case 19:
        DeinitializeKMR();
        CheckEffect(Effect::kNothing, before);
        break;
      case 20:
        Manual(Effect::kTrade, [&](TradingState& t) { kmr::CloseAllDeals(t, true); });
        break;
      case 21: {
        const bool isLong = in.ConsumeBool();
        Manual(Effect::kTrade, [&](TradingState& t) { kmr::OpenManualDeal(t, isLong); });
        break;
      }
      case 22:
        Manual(Effect::kNothing, [](TradingState& t) { kmr::ResetCadCounter(t); });
        break;
      case 23:
        if (in.ConsumeIntegral<std::uint8_t>() < 64)
          Manual(Effect::kReset, [](TradingState& t) { kmr::ResetTrading(t); });
        break;
      case 24: {
        const bool isLong = in.ConsumeBool();
        Manual(Effect::kNothing, [&](TradingState& t) {
          std::uint8_t& enabled = isLong ? t.longEnabled : t.shortEnabled;
          enabled = !enabled;
        });
        break;
      }
      case 25:
        Manual(Effect::kTrade, [](TradingState& t) { kmr::StartTradingCycleManually(t); });
        break;
    }
  }
  EmptyFolder();
  return 0;
}
