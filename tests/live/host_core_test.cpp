// The live host's core without a session: what execution reports do to the book, what the
// order record reads back after a crash, which quotes become ticks, and the safety limits.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "live/host/exec_handling.h"
#include "live/host/order_record.h"
#include "live/host/quote_book.h"
#include "live/host/safety_limits.h"

namespace kmr {
namespace {

ExecReport Report(const std::string& cl, char type, const std::string& exec, double qty = NAN,
                  double px = NAN, bool possDup = false) {
  ExecReport r;
  r.clOrdId = cl;
  r.orderId = "B-" + cl;
  r.execType = type;
  r.execId = exec;
  r.lastQty = qty;
  r.lastPx = px;
  r.possDup = possDup;
  return r;
}

// The engine's calls of a list of actions, as text, e.g. "ticket 7/7 fill 7 1@1.5".
std::string EngineCalls(const std::vector<HostAction>& actions) {
  std::string out;
  char text[96];
  for (const HostAction& a : actions) {
    text[0] = '\0';
    switch (a.kind) {
      case HostActionKind::kSetTicket: std::snprintf(text, sizeof text, "ticket %u/%u ", a.id, a.ticket); break;
      case HostActionKind::kFilled: std::snprintf(text, sizeof text, "fill %u %g@%g ", a.ticket, a.volume, a.price); break;
      case HostActionKind::kRejected: std::snprintf(text, sizeof text, "reject %u ", a.id); break;
      case HostActionKind::kDealClosed: std::snprintf(text, sizeof text, "closed %u %g@%g ", a.ticket, a.volume, a.price); break;
      case HostActionKind::kRetryClose: std::snprintf(text, sizeof text, "retry "); break;
      case HostActionKind::kStopTrading: std::snprintf(text, sizeof text, "STOP "); break;
      default: break;
    }
    out += text;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

TEST(ExecHandling, ReportsTurnIntoEngineCalls) {
  struct Case {
    const char* name;
    std::vector<ExecReport> reports;
    std::vector<std::string> calls;  // per report
  } cases[] = {
      {"ack then one fill",
       {Report("O", '0', "e1"), Report("O", 'F', "e2", 2, 1.25)},
       {"ticket 7/7", "fill 7 2@1.25"}},
      {"fill without ack gives the ticket first",
       {Report("O", 'F', "e1", 2, 1.25)},
       {"ticket 7/7 fill 7 2@1.25"}},
      {"partial fills, each its own",
       {Report("O", '0', "e1"), Report("O", 'F', "e2", 0.5, 1.1), Report("O", 'F', "e3", 1.5, 1.2)},
       {"ticket 7/7", "fill 7 0.5@1.1", "fill 7 1.5@1.2"}},
      {"repeated and PossDup reports are passed once",
       {Report("O", 'F', "e1", 1, 1.1), Report("O", 'F', "e1", 1, 1.1, true),
        Report("O", 'F', "e1", 1, 1.1)},
       {"ticket 7/7 fill 7 1@1.1", "", ""}},
      {"a PossDup report not seen before is taken",
       {Report("O", 'F', "e1", 2, 1.1, true)},
       {"ticket 7/7 fill 7 2@1.1"}},
      {"impossible quantities and prices are ignored",
       {Report("O", 'F', "e1", 3, 1.1), Report("O", 'F', "e2", -1, 1.1),
        Report("O", 'F', "e3", NAN, 1.1), Report("O", 'F', "e4", 1, 0), Report("O", 'F', "e5", 1, NAN),
        Report("O", 'F', "e6", INFINITY, 1.1), Report("O", 'F', "e7", 2, 1.1)},
       {"", "", "", "", "", "", "ticket 7/7 fill 7 2@1.1"}},
      {"unknown order and unknown type",
       {Report("X", 'F', "e1", 1, 1.1), Report("O", 'I', "e2"), Report("O", '\0', "e3")},
       {"", "", ""}},
      {"reject of an open",
       {Report("O", '8', "e1"), Report("O", 'F', "e2", 2, 1.1)},
       {"reject 7", ""}},
      {"cancel and expiry of an unfilled open reject it",
       {Report("O", '0', "e1"), Report("O", '4', "e2")},
       {"ticket 7/7", "reject 7"}},
      {"expiry after a partial fill keeps the deal",
       {Report("O", 'F', "e1", 1, 1.1), Report("O", 'C', "e2"), Report("O", 'F', "e3", 1, 1.1)},
       {"ticket 7/7 fill 7 1@1.1", "", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OrderBook book;
    AddOpenOrder(book, "O", 7, 7, true, 2);
    for (std::size_t i = 0; i < c.reports.size(); ++i)
      EXPECT_EQ(EngineCalls(HandleExecReport(book, c.reports[i])), c.calls[i]) << "report " << i;
  }
}

TEST(ExecHandling, CloseFillsAndRejects) {
  struct Case {
    const char* name;
    int maxRejects;
    std::vector<ExecReport> reports;
    std::vector<std::string> calls;
    bool stopped;
  } cases[] = {
      {"one fill closes at its own price", 3, {Report("C", 'F', "c1", 2, 1.3)}, {"closed 7 2@1.3"}, false},
      {"two fills close at their average", 3,
       {Report("C", 'F', "c1", 1, 1.2), Report("C", 'F', "c2", 1, 1.4)}, {"", "closed 7 2@1.3"}, false},
      {"a rejected close is sent again", 3, {Report("C", '8', "c1")}, {"retry"}, false},
      {"rejected too often, trading stops", 1, {Report("C", '8', "c1")}, {"STOP"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OrderBook book;
    book.maxCloseRejects = c.maxRejects;
    AddOpenOrder(book, "O", 7, 7, true, 2);
    HandleExecReport(book, Report("O", 'F', "o1", 2, 1.1));
    AddCloseOrder(book, "C", "O", 2);
    for (std::size_t i = 0; i < c.reports.size(); ++i)
      EXPECT_EQ(EngineCalls(HandleExecReport(book, c.reports[i])), c.calls[i]);
    EXPECT_EQ(book.tradingStopped, c.stopped);
    EXPECT_EQ(book.deals.count("O"), c.calls.back().rfind("closed", 0) == 0 ? 0u : 1u);
  }
}

class RecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("kmr-record-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "orders.record").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::filesystem::path dir_;
  std::string path_;
};

TEST_F(RecordTest, WhatARunLeftOpen) {
  // The run's own lines, written as the host writes them.
  {
    OrderBook book;
    OrderRecord record;
    record.Open(path_);
    auto run = [&](const std::vector<HostAction>& actions) {
      for (const HostAction& a : actions)
        if (a.kind == HostActionKind::kRecord) record.Append(a.text);
    };
    record.Append(OrderRecordLine(AddOpenOrder(book, "R-1", 1, 1, true, 1)));
    run(HandleExecReport(book, Report("R-1", '0', "a")));
    run(HandleExecReport(book, Report("R-1", 'F', "b", 1, 1.5)));
    record.Append(OrderRecordLine(AddOpenOrder(book, "R-2", 2, 2, false, 1)));
    run(HandleExecReport(book, Report("R-2", '8', "c")));
    record.Append(OrderRecordLine(AddOpenOrder(book, "R-3", 3, 3, false, 2)));
    run(HandleExecReport(book, Report("R-3", 'F', "d", 2, 1.6)));
    record.Append(OrderRecordLine(AddCloseOrder(book, "R-4", "R-3", 2)));
    run(HandleExecReport(book, Report("R-4", 'F', "e", 2, 1.7)));
  }
  RecordState state = ReadOrderRecord(path_);
  ASSERT_EQ(state.book.deals.size(), 1u);
  const LiveDeal& deal = state.book.deals.at("R-1");
  EXPECT_TRUE(deal.isLong);
  EXPECT_EQ(deal.Open(), 1);
  EXPECT_FALSE(deal.EngineKnows());
  EXPECT_EQ(OpenItems(state.book).size(), 1u);
  // A report the broker sends again after the restart is known by its ExecID.
  EXPECT_EQ(EngineCalls(HandleExecReport(state.book, Report("R-1", 'F', "b", 1, 1.5, true))), "");
  EXPECT_EQ(state.book.seenReports.count("e"), 1u);
}

TEST_F(RecordTest, CutLastLineAndBadLines) {
  Write("ORDER A open B 1 A\nFILL A 1 1.5 x B-A\nORDER C close S 1 A\nFILL C 1 1.");
  RecordState state = ReadOrderRecord(path_);
  ASSERT_EQ(state.notes.size(), 1u);
  EXPECT_NE(state.notes[0].find(":4: cut line"), std::string::npos);
  EXPECT_EQ(OpenItems(state.book).size(), 2u);  // the deal, and the close without its answer

  for (const char* bad : {"ORDER A open X 1 A\n", "FILL Z 1 1 e o\n", "ORDER A open B one A\n",
                          "ORDER C close S 1 A\n", "junk\n"}) {
    Write(std::string("ORDER Q open B 1 Q\n") + bad);
    try {
      ReadOrderRecord(path_);
      ADD_FAILURE() << bad;
    } catch (const RecordError& error) {
      EXPECT_NE(std::string(error.what()).find(path_ + ":2: "), std::string::npos) << error.what();
    }
  }
  std::filesystem::remove(path_);
  EXPECT_TRUE(OpenItems(ReadOrderRecord(path_).book).empty());
}

QuoteUpdate Quote(bool snapshot, std::vector<MdEntry> entries) {
  QuoteUpdate q;
  q.snapshot = snapshot;
  for (const MdEntry& e : entries) q.entries[q.count++] = e;
  return q;
}

constexpr std::int64_t t = 1000000;

TEST(QuoteBook, WhichQuotesTick) {
  auto bid = [&](double p, std::int64_t at = t, char action = kUpdateNew) { return MdEntry{kEntryBid, action, p, at, true}; };
  auto ask = [&](double p, std::int64_t at = t, char action = kUpdateNew) { return MdEntry{kEntryOffer, action, p, at, true}; };
  struct Case {
    const char* name;
    std::vector<QuoteUpdate> quotes;
    std::vector<QuoteVerdict> verdicts;
    double staleAfter = 0;
  } cases[] = {
      {"snapshot then update", {Quote(true, {bid(1.1), ask(1.2)}), Quote(false, {bid(1.15, t + 1, kUpdateChange)})},
       {QuoteVerdict::kTick, QuoteVerdict::kTick}},
      {"one side only", {Quote(true, {bid(1.1)}), Quote(false, {ask(1.2, t + 1)})},
       {QuoteVerdict::kOneSided, QuoteVerdict::kTick}},
      {"crossed", {Quote(true, {bid(1.3), ask(1.2)})}, {QuoteVerdict::kCrossed}},
      {"backwards in time", {Quote(true, {bid(1.1), ask(1.2)}), Quote(false, {bid(1.15, t - 1)})},
       {QuoteVerdict::kTick, QuoteVerdict::kBackwards}},
      {"the same again, then a new time", {Quote(true, {bid(1.1), ask(1.2)}), Quote(true, {bid(1.1), ask(1.2)}), Quote(true, {bid(1.1, t + 1), ask(1.2, t + 1)})},
       {QuoteVerdict::kTick, QuoteVerdict::kNoChange, QuoteVerdict::kTick}},
      {"deleted side", {Quote(true, {bid(1.1), ask(1.2)}), Quote(false, {ask(0, t + 1, kUpdateDelete)})},
       {QuoteVerdict::kTick, QuoteVerdict::kOneSided}},
      {"bad price and no time", {Quote(true, {bid(-1), ask(1.2)}), Quote(true, {bid(1.1), MdEntry{kEntryOffer, kUpdateNew, 1.2, 0, false}})},
       {QuoteVerdict::kBadPrice, QuoteVerdict::kTick}},
      {"time beyond 32 bits", {Quote(true, {bid(1.1, 1ll << 33), ask(1.2, 1ll << 33)})}, {QuoteVerdict::kNoTime}},
      {"stale by the clock", {Quote(true, {bid(1.1, t - 100), ask(1.2, t - 100)}), Quote(true, {bid(1.1, t - 5), ask(1.2, t - 5)})},
       {QuoteVerdict::kStale, QuoteVerdict::kTick}, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QuoteState state;
    for (std::size_t i = 0; i < c.quotes.size(); ++i) {
      std::int32_t time = 0;
      EXPECT_EQ(QuoteVerdictText(ApplyQuote(state, c.quotes[i], t, c.staleAfter, time)),
                std::string(QuoteVerdictText(c.verdicts[i])))
          << "quote " << i;
    }
  }
}

TEST(SafetyLimits, EachStopsNewOrders) {
  bool latch = false;
  LimitGuard rate({2, 0, 0});
  rate.NoteOrder(1000);
  rate.NoteOrder(2000);
  EXPECT_NE(rate.CheckOpen(3000, 1, 0, latch), "");
  EXPECT_TRUE(latch);
  EXPECT_EQ(rate.CheckOpen(61000, 1, 0, latch), "");  // the first left the minute

  LimitGuard position({0, 2, 0});
  EXPECT_EQ(position.CheckOpen(0, -2, 0, latch), "");
  EXPECT_NE(position.CheckOpen(0, 3, 0, latch), "");
  EXPECT_FALSE(latch);

  LimitGuard loss({0, 0, 100});
  EXPECT_EQ(loss.CheckOpen(0, 1, -99.5, latch), "");
  EXPECT_NE(loss.CheckOpen(0, 1, -100, latch), "");
  EXPECT_TRUE(latch);
}

}  // namespace
}  // namespace kmr
