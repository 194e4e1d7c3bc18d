#include "tester/report/run_recorder.h"

#include <ctime>
#include <utility>

namespace kmr {

RunRecorder::RunRecorder(std::size_t curveBuckets) : curve_(curveBuckets) {
  // Room for a few years of days and deals: most runs never grow these, and never copy them.
  // Pages are touched only as the room is used.
  equity_.reserve(4096);
  closed_.reserve(1024);
}

RunRecorder::~RunRecorder() {
  Attach(nullptr);
}

void RunRecorder::Attach(CKMRBroker* broker) {
  if (broker_ != nullptr) broker_->SetObserver(nullptr);
  broker_ = broker;
  if (broker_ != nullptr) broker_->SetObserver(this);
}

void RunRecorder::Clear() {
  closed_.clear();
  open_.clear();
  equity_.clear();
  curve_.Clear();
  tracker_ = EquityTracker{};
  historyLines_ = tradeLines_ = 0;
  firstHistoryTime_ = lastHistoryTime_ = firstTradeTime_ = time_ = 0;
  lastTime_ = 0;
  dayStart_ = nextDayStart_ = 0;
  ++clears_;
}

EquityPoint RunRecorder::EventPoint(EquityEvent event, std::int32_t dealId) const {
  EquityPoint p;
  p.time = time_;
  p.balance = broker_->ClosedProfit();
  p.equity = broker_->Equity();
  // The peak as the tracker will have it once this line is added.
  const double peak = p.equity > tracker_.peak ? p.equity : tracker_.peak;
  p.drawdown = peak - p.equity;
  p.netPosition = broker_->NetPosition();
  p.event = event;
  p.dealId = dealId;
  return p;
}

void RunRecorder::DealOpened(const BrokerDeal& deal) {
  TradeRecord t;
  t.dealId = deal.orderId;
  t.ticket = deal.ticket;
  t.isLong = deal.isLong != 0;
  t.openTime = time_;
  t.openPrice = deal.openPrice;
  t.volume = broker_->DealSize();
  open_.push_back(t);
  equity_.push_back(EventPoint(EquityEvent::kOpen, deal.orderId));
}

void RunRecorder::DealClosed(const BrokerDeal& deal, double closePrice, BrokerClose why) {
  // The broker closes the first open deal with the ticket; so does this.
  auto it = open_.begin();
  while (it != open_.end() && it->ticket != deal.ticket) ++it;
  TradeRecord t;
  if (it != open_.end()) {
    t = *it;
    open_.erase(it);
  } else {  // opened before the recorder was attached
    t.dealId = deal.orderId;
    t.ticket = deal.ticket;
    t.isLong = deal.isLong != 0;
    t.openTime = time_;
    t.openPrice = deal.openPrice;
    t.volume = broker_->DealSize();
  }
  t.closeTime = time_;
  t.closePrice = closePrice;
  t.profit = deal.profit;
  t.commission = broker_->Commission();
  t.closeReason = why == BrokerClose::kStop    ? CloseReason::kStop
                  : why == BrokerClose::kLimit ? CloseReason::kLimit
                                               : CloseReason::kEngine;
  closed_.push_back(t);
  equity_.push_back(EventPoint(EquityEvent::kClose, deal.orderId));
}

// Until the broker sees the next line, it holds what the last line left: its equity, and the
// balance and net position after its commands.
EquityPoint RunRecorder::LastLine() const {
  EquityPoint p;
  p.time = lastTime_;
  p.balance = broker_->ClosedProfit();
  p.equity = broker_->Equity();
  p.drawdown = tracker_.drawdown;
  p.netPosition = broker_->NetPosition();
  p.event = EquityEvent::kDayEnd;
  return p;
}

void RunRecorder::NewDay() {
  if (tradeLines_ > 0 && broker_ != nullptr) equity_.push_back(LastLine());
  const std::time_t now = time_;
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_hour = local.tm_min = local.tm_sec = 0;
  local.tm_isdst = -1;
  dayStart_ = std::mktime(&local);
  ++local.tm_mday;
  local.tm_isdst = -1;
  nextDayStart_ = std::mktime(&local);
  // A zone without midnight on this day, or a clock the platform cannot convert: one day on.
  if (dayStart_ == -1 || dayStart_ > time_) dayStart_ = time_;
  if (nextDayStart_ <= time_) nextDayStart_ = static_cast<std::int64_t>(time_) + 1;
}

RunRecording RunRecorder::Recording() const {
  RunRecording r;
  r.trades = closed_;
  r.equity = equity_;
  Complete(r);
  return r;
}

RunRecording RunRecorder::TakeRecording() {
  RunRecording r;
  r.trades = std::move(closed_);
  r.equity = std::move(equity_);
  closed_.clear();
  equity_.clear();
  Complete(r);
  return r;
}

void RunRecorder::Complete(RunRecording& r) const {
  if (tradeLines_ > 0 && broker_ != nullptr) r.equity.push_back(LastLine());
  r.curve = curve_.Buckets();
  r.historyLines = historyLines_;
  r.tradeLines = tradeLines_;
  r.firstHistoryTime = firstHistoryTime_;
  r.lastHistoryTime = lastHistoryTime_;
  r.firstTradeTime = firstTradeTime_;
  r.lastTradeTime = lastTime_;
  r.maxDrawdown = tracker_.maxDrawdown;
  r.peakAtMaxDrawdown = tracker_.peakAtMaxDrawdown;
  r.longestDrawdownSeconds = tracker_.longestDrawdownSeconds;
  if (broker_ == nullptr) return;
  r.lastEquity = broker_->Equity();
  r.lastBid = broker_->Bid();
  r.lastAsk = broker_->Ask();
  r.maxPosition = broker_->MaxPosition();
  const std::int32_t open = broker_->OpenDeals();
  for (std::int32_t i = 0; i < open && i < static_cast<std::int32_t>(open_.size()); ++i) {
    TradeRecord t = open_[static_cast<std::size_t>(i)];
    t.closeTime = lastTime_;
    t.closePrice = t.isLong ? broker_->Bid() : broker_->Ask();
    t.profit = broker_->Deal(i).profit;
    t.commission = broker_->Commission();
    t.closeReason = CloseReason::kOpenAtEnd;
    r.trades.push_back(t);
  }
}

}  // namespace kmr
