#include "live/host/live_host.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "common/command.h"
#include "live/host/exec_handling.h"
#include "tester/report/json_writer.h"
#include "tester/report/whole_files.h"

namespace kmr {

namespace {

std::uint64_t SteadyMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

std::int64_t UtcNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

}  // namespace

LiveHost::LiveHost(const EngineApi& engine, LiveConfig config, OrderGateway& gateway,
                   EventQueue& events, OrderRecord& record, OrderBook restored)
    : engine_(engine),
      config_(std::move(config)),
      gateway_(gateway),
      events_(events),
      record_(record),
      book_(std::move(restored)),
      limits_(config_.limits) {
  if (!OpenItems(book_).empty()) phase_ = Phase::kFlattening;
}

void LiveHost::Log(const std::string& text) {
  std::fprintf(stderr, "kmr-live: %s\n", text.c_str());
}

void LiveHost::Loud(const std::string& text) {
  std::fprintf(stderr, "kmr-live: *** %s ***\n", text.c_str());
}

int LiveHost::Run(const std::atomic<bool>& stop) {
  lastQuoteMs_ = SteadyMs();
  std::uint64_t stopDeadline = 0;
  for (;;) {
    if (fatal_) break;
    if (stop.load() && phase_ != Phase::kStopping) {
      Log("stopping");
      if (!config_.flattenOnExit) break;
      phase_ = Phase::kStopping;
      stopDeadline = SteadyMs() + static_cast<std::uint64_t>(config_.exitTimeout * 1000);
      CloseEverything();
    }
    if (phase_ == Phase::kStopping) {
      if (book_.deals.empty() && PendingOrders(book_) == 0) {
        Log("flat at exit");
        break;
      }
      if (SteadyMs() > stopDeadline) {
        Loud("deals still open at exit: the flattening took too long");
        break;
      }
    }
    HostEvent event;
    if (events_.Pop(event, std::chrono::milliseconds(100))) {
      if (event.kind == HostEventKind::kStop) {
        if (phase_ == Phase::kStopping || !config_.flattenOnExit) break;
        phase_ = Phase::kStopping;
        stopDeadline = SteadyMs() + static_cast<std::uint64_t>(config_.exitTimeout * 1000);
        CloseEverything();
      } else {
        OnEvent(event);
      }
    }
    const std::uint64_t now = SteadyMs();
    // The broker's answers that the last run missed come first after a logon; a quote shows
    // they are in, and without quotes a moment's wait does.
    if (phase_ == Phase::kFlattening && loggedOn_ && now - logonMs_ > 2000) {
      BeginFlattening();
      MaybeStep();
    }
    if (loggedOn_ && !feedStopped_ && config_.feedTimeout > 0 &&
        now - lastQuoteMs_ > static_cast<std::uint64_t>(config_.feedTimeout * 1000)) {
      feedStopped_ = true;
      Loud("market data stopped: no quote for " + std::to_string(config_.feedTimeout) + " s");
    }
    Status(false);
  }
  Status(true);
  return exitStatus_;
}

void LiveHost::OnEvent(const HostEvent& event) {
  try {
    switch (event.kind) {
      case HostEventKind::kLogon:
        loggedOn_ = true;
        everLoggedOn_ = true;
        lastQuoteMs_ = logonMs_ = SteadyMs();
        Log("logged on");
        gateway_.Subscribe();
        SendCloses();
        break;
      case HostEventKind::kLogout:
        if (loggedOn_) Log("logged out" + (event.text.empty() ? "" : ": " + event.text));
        loggedOn_ = false;
        break;
      case HostEventKind::kQuote:
        OnQuote(event.quote);
        break;
      case HostEventKind::kExecReport:
        OnReport(event.report);
        break;
      case HostEventKind::kUnsent:
        OnUnsent(event.text);
        break;
      case HostEventKind::kNotice:
        Log(event.text);
        break;
      case HostEventKind::kStop:
        break;
    }
    MaybeStep();
  } catch (const RecordError& error) {
    Loud(std::string("trading stopped: ") + error.what());
    book_.tradingStopped = true;
    book_.stopReason = error.what();
    fatal_ = true;
    exitStatus_ = kLiveRecordError;
  }
}

void LiveHost::OnQuote(const QuoteUpdate& quote) {
  ++quoteCount_;
  stepDue_ = quoteCount_;
  lastQuoteMs_ = SteadyMs();
  if (feedStopped_) Log("market data flows again");
  feedStopped_ = false;
  std::int32_t time = 0;
  const QuoteVerdict verdict = ApplyQuote(quotes_, quote, UtcNow(), config_.staleAfter, time);
  if (verdict != QuoteVerdict::kTick) {
    // Reported once per change of kind, so a stale feed does not flood the log.
    if (verdict != lastVerdict_ && verdict != QuoteVerdict::kNoChange)
      Log(std::string(QuoteVerdictText(verdict)) + ", not traded on");
    lastVerdict_ = verdict;
    return;
  }
  lastVerdict_ = verdict;
  if (phase_ == Phase::kFlattening) {
    BeginFlattening();
    return;
  }
  if (phase_ != Phase::kTrading) return;
  ++tickCount_;
  if (engine_.ProcessNewTick(quotes_.bid, quotes_.ask, time, 0) != 0) DrainCommands();
  if (!book_.tradingStopped && config_.limits.maxSessionLoss > 0) {
    bool latch = false;
    const std::string why =
        limits_.CheckOpen(SteadyMs(), 0, closedProfit_ + FloatingProfit(), latch);
    if (latch && why.find("loss") != std::string::npos) {
      book_.tradingStopped = true;
      book_.stopReason = why;
      Loud("trading stopped: " + why);
    }
  }
}

void LiveHost::DrainCommands() {
  // As the tester's loop: ten commands at most per tick.
  for (int i = 0; i < 10; ++i) {
    const auto word = static_cast<std::uint64_t>(engine_.GetNextCommand());
    const std::uint8_t code = CommandCodeOf(word);
    const std::uint32_t operand = CommandOperandOf(word);
    if (code == kCommandOpenLong || code == kCommandOpenShort)
      OpenDeal(code == kCommandOpenLong, operand);
    else if (code == kCommandClose)
      CloseDeal(operand);
  }
}

void LiveHost::OpenDeal(bool isLong, std::uint32_t id) {
  const double size = config_.settings.DealSize;
  std::string refusal;
  if (!loggedOn_) refusal = "not logged on";
  if (refusal.empty() && book_.tradingStopped) refusal = "trading stopped: " + book_.stopReason;
  if (refusal.empty() && phase_ != Phase::kTrading) refusal = "not trading now";
  if (refusal.empty() && book_.byTicket.count(id) != 0) refusal = "deal id already in the book";
  if (refusal.empty()) {
    bool latch = false;
    const double netAfter = NetPosition(book_) + PendingOpenPosition() + (isLong ? size : -size);
    refusal = limits_.CheckOpen(SteadyMs(), netAfter, closedProfit_ + FloatingProfit(), latch);
    if (latch) {
      book_.tradingStopped = true;
      book_.stopReason = refusal;
      Loud("trading stopped: " + refusal);
    }
  }
  if (!refusal.empty()) {
    Log("open of deal " + std::to_string(id) + " refused: " + refusal);
    engine_.OrderRejected(static_cast<int>(id));
    return;
  }
  const std::string clOrdId = config_.clOrdPrefix + "-" + std::to_string(nextOrder_++);
  // The tester's broker gives each deal its id as ticket; so does the host, so that the
  // engine's journal reads the same as in the tester.
  LiveOrder& order = AddOpenOrder(book_, clOrdId, id, id, isLong, size);
  if (!SendOne(order)) {
    ExecReport unsent;
    unsent.clOrdId = clOrdId;
    unsent.execId = "unsent-" + clOrdId;
    unsent.execType = kExecRejected;
    unsent.text = "not sent";
    Perform(HandleExecReport(book_, unsent));
  }
}

bool LiveHost::SendOne(LiveOrder& order) {
  record_.Append(OrderRecordLine(order));
  try {
    gateway_.SendOrder(order);
  } catch (const std::exception& error) {
    Log("order " + order.clOrdId + " not sent: " + error.what());
    return false;
  }
  ++orderCount_;
  limits_.NoteOrder(SteadyMs());
  return true;
}

void LiveHost::CloseDeal(std::uint32_t ticket) {
  LiveDeal* deal = DealByTicket(book_, ticket);
  if (deal == nullptr) {
    Log("close of unknown ticket " + std::to_string(ticket) + " ignored");
    return;
  }
  if (!deal->closeClOrdId.empty() || deal->closeWanted) {
    Log("close of ticket " + std::to_string(ticket) + " already under way");
    return;
  }
  deal->closeWanted = true;
  SendCloses();
}

void LiveHost::SendCloses() {
  if (!loggedOn_) return;
  std::vector<std::string> ready;
  for (auto& [id, deal] : book_.deals) {
    if (!deal.closeWanted || !deal.closeClOrdId.empty()) continue;
    const auto open = book_.orders.find(deal.openClOrdId);
    if (open != book_.orders.end() && !open->second.done) continue;  // once the open is done
    ready.push_back(id);
  }
  for (const std::string& id : ready) {
    LiveDeal& deal = book_.deals[id];
    const std::string clOrdId = config_.clOrdPrefix + "-" + std::to_string(nextOrder_++);
    LiveOrder& order = AddCloseOrder(book_, clOrdId, id, deal.Open());
    if (!SendOne(order)) {
      ExecReport unsent;
      unsent.clOrdId = clOrdId;
      unsent.execId = "unsent-" + clOrdId;
      unsent.execType = kExecRejected;
      unsent.text = "not sent";
      Perform(HandleExecReport(book_, unsent));
    }
  }
}

void LiveHost::OnReport(const ExecReport& report) {
  Perform(HandleExecReport(book_, report));
  if (phase_ == Phase::kFlattening && OpenItems(book_).empty() && PendingOrders(book_) == 0) {
    phase_ = Phase::kTrading;
    Log("flat: the earlier run's deals are closed; trading");
  }
}

void LiveHost::OnUnsent(const std::string& clOrdId) {
  const auto at = book_.orders.find(clOrdId);
  if (at == book_.orders.end() || at->second.done || at->second.acknowledged ||
      at->second.filled > 0)
    return;
  ExecReport unsent;
  unsent.clOrdId = clOrdId;
  unsent.execId = "unsent-" + clOrdId;
  unsent.execType = kExecRejected;
  unsent.text = "not re-sent after the reconnect";
  Perform(HandleExecReport(book_, unsent));
}

void LiveHost::Perform(const std::vector<HostAction>& actions) {
  for (const HostAction& a : actions) {
    switch (a.kind) {
      case HostActionKind::kRecord:
        record_.Append(a.text);
        break;
      case HostActionKind::kSetTicket:
        engine_.OrderSetTicket(a.id, a.ticket);
        break;
      case HostActionKind::kFilled:
        engine_.OrderFilled(a.ticket, a.volume, a.price);
        break;
      case HostActionKind::kRejected:
        engine_.OrderRejected(static_cast<int>(a.id));
        break;
      case HostActionKind::kDealClosed: {
        engine_.OpenDealClosed(a.ticket, a.volume, a.price);
        const TesterSettings& s = config_.settings;
        const double difference = a.isLong ? a.price - a.openPrice : a.openPrice - a.price;
        if (s.TickSize != 0)
          closedProfit_ += difference / s.TickSize * s.TickValue * a.volume - s.DealComm;
        break;
      }
      case HostActionKind::kRetryClose: {
        const auto deal = book_.deals.find(a.text);
        if (deal != book_.deals.end()) deal->second.closeWanted = true;
        break;
      }
      case HostActionKind::kStopTrading:
        Loud("TRADING STOPPED: " + a.text);
        break;
      case HostActionKind::kLog:
        Log(a.text);
        break;
    }
  }
  SendCloses();
}

void LiveHost::MaybeStep() {
  if (!config_.lockstep || stepDue_ == 0 || !loggedOn_ || PendingOrders(book_) != 0) return;
  for (const auto& [id, deal] : book_.deals)
    if (deal.closeWanted) return;
  gateway_.SendStep(stepDue_);
  stepDue_ = 0;
}

void LiveHost::BeginFlattening() {
  if (book_.tradingStopped) return;
  for (const auto& [id, order] : book_.orders)
    if (!order.done && order.clOrdId.rfind(config_.clOrdPrefix + "-", 0) != 0) {
      Loud("cannot flatten: order " + id + " of an earlier run has no final answer; ask the broker");
      fatal_ = true;
      exitStatus_ = kLiveRecordError;
      return;
    }
  bool any = false;
  for (auto& [id, deal] : book_.deals)
    if (deal.Open() > 0 && deal.closeClOrdId.empty() && !deal.closeWanted) {
      deal.closeWanted = true;
      any = true;
    }
  if (any) Log("flattening the earlier run's deals");
  SendCloses();
  if (OpenItems(book_).empty()) {
    phase_ = Phase::kTrading;
    Log("flat: trading");
  }
}

void LiveHost::CloseEverything() {
  for (auto& [id, deal] : book_.deals)
    if (deal.Open() > 0 && deal.closeClOrdId.empty()) deal.closeWanted = true;
  SendCloses();
}

double LiveHost::FloatingProfit() const {
  if (!quotes_.ticked) return 0;
  const TesterSettings& s = config_.settings;
  double profit = 0;
  for (const auto& [id, deal] : book_.deals) {
    const double open = deal.Open();
    if (!(open > 0) || !(deal.filled > 0) || s.TickSize == 0) continue;
    const double price = deal.openNotional / deal.filled;
    const double difference = deal.isLong ? quotes_.lastBid - price : price - quotes_.lastAsk;
    profit += difference / s.TickSize * s.TickValue * open - s.DealComm;
  }
  return profit;
}

double LiveHost::PendingOpenPosition() const {
  double pending = 0;
  for (const auto& [id, order] : book_.orders)
    if (!order.done && order.purpose == OrderPurpose::kOpen)
      pending += (order.isBuy ? 1 : -1) * (order.quantity - order.filled);
  return pending;
}

void LiveHost::Status(bool force) {
  const std::uint64_t now = SteadyMs();
  const double net = NetPosition(book_);
  const double floating = FloatingProfit();
  const double age = quotes_.quoteTime != 0 ? static_cast<double>(UtcNow() - quotes_.quoteTime) : -1;
  const char* connection = loggedOn_ ? "logged on" : everLoggedOn_ ? "logged out" : "connecting";
  if (config_.statusEvery > 0 &&
      (force || now - lastStatusLineMs_ >= static_cast<std::uint64_t>(config_.statusEvery * 1000))) {
    lastStatusLineMs_ = now;
    char line[256];
    std::snprintf(line, sizeof line,
                  "%s | position %g | profit %.2f | last quote %s | quotes %ld ticks %ld orders %ld%s",
                  connection, net, closedProfit_ + floating,
                  age < 0 ? "none" : (std::to_string(static_cast<long long>(age)) + " s ago").c_str(),
                  quoteCount_, tickCount_, orderCount_,
                  book_.tradingStopped ? " | TRADING STOPPED" : "");
    Log(line);
  }
  if (config_.statusFile.empty() || (!force && now - lastStatusFileMs_ < 1000)) return;
  lastStatusFileMs_ = now;
  JsonObject json;
  json.Text("connection", connection);
  json.Number("position", net);
  json.Number("profit", closedProfit_ + floating);
  json.Number("closedProfit", closedProfit_);
  json.Number("floatingProfit", floating);
  if (age >= 0)
    json.Number("lastQuoteAge", age);
  else
    json.Null("lastQuoteAge");
  json.Number("bid", quotes_.lastBid);
  json.Number("ask", quotes_.lastAsk);
  json.Integer("lastTickTime", quotes_.ticked ? quotes_.lastTime : 0);
  json.Integer("quotes", quoteCount_);
  json.Integer("ticks", tickCount_);
  json.Integer("orders", orderCount_);
  json.Integer("pendingOrders", PendingOrders(book_));
  json.Integer("openDeals", static_cast<long long>(book_.deals.size()));
  json.Text("phase", phase_ == Phase::kFlattening ? "flattening"
                     : phase_ == Phase::kStopping ? "stopping"
                                                  : "trading");
  json.Text("tradingStopped", book_.tradingStopped ? book_.stopReason : "");
  const std::filesystem::path path(config_.statusFile);
  const std::string error = WriteWholeFiles(
      path.has_parent_path() ? path.parent_path().string() : ".",
      {{path.filename().string(), json.Finish() + "\n"}});
  if (!error.empty() && force) Log("status file not written: " + error);
}

}  // namespace kmr
