#include "tester/broker/broker.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace kmr {

CKMRBroker::CKMRBroker(const EngineApi* engine, const TesterSettings& settings) : engine_(engine) {
  SetMoneySettings(settings);
}

void CKMRBroker::SetMoneySettings(const TesterSettings& s) {
  SettleProfits();  // the open deals keep their values at the old settings until the next price
  dealSize_ = s.DealSize;
  commission_ = s.DealComm;
  tickSize_ = s.TickSize;
  tickValue_ = s.TickValue;
  stopDistance_ = s.StopDistance;
  limitDistance_ = s.LimitDistance;
  BookChanged();
}

double CKMRBroker::ProfitOf(const BrokerDeal& deal) const {
  const double difference = deal.isLong ? bid_ - deal.openPrice : deal.openPrice - ask_;
  // The order of the operations is part of the result: divide, times value, times size, minus.
  return difference / tickSize_ * tickValue_ * dealSize_ - commission_;
}

void CKMRBroker::OnPrice(double bid, double ask) {
  bid_ = bid;
  ask_ = ask;
  if (plainValuation_) {
    floatingProfit_ = 0;
    for (std::int32_t i = 0; i < count_; ++i) {
      deals_[i].profit = ProfitOf(deals_[i]);
      floatingProfit_ += deals_[i].profit;
    }
    profitsPending_ = false;
  } else {
    ValueBook();
  }
  const double equity = floatingProfit_ + closedProfit_;
  equity_ = equity;
  if (equity > peakEquity_)
    peakEquity_ = equity;
  else if (peakEquity_ - equity > maxDrawdown_)
    maxDrawdown_ = peakEquity_ - equity;

  if (stopDistance_ == 0 && limitDistance_ == 0) return;
  const bool mayTouch = bid_ <= longStopHigh_ || bid_ >= longLimitLow_ ||
                        ask_ >= shortStopLow_ || ask_ <= shortLimitHigh_;
  if (plainValuation_ || mayTouch) CloseTouched();
}

// The floating profit as the plain loop sums it; prices the book was valued at before give the
// sum remembered, and the deals' profits wait until one is read.
void CKMRBroker::ValueBook() {
  if (const double* known = floatingMemo_.Find(bid_, ask_)) {
    floatingProfit_ = *known;
    profitsPending_ = count_ > 0;
    return;
  }
  double sum = 0;
  for (std::int32_t i = 0; i < count_; ++i) {
    deals_[i].profit = ProfitOf(deals_[i]);
    sum += deals_[i].profit;
  }
  floatingProfit_ = sum;
  floatingMemo_.Store(bid_, ask_, sum);
  profitsPending_ = false;
}

void CKMRBroker::SettleProfits() {
  if (!profitsPending_) return;
  for (std::int32_t i = 0; i < count_; ++i) deals_[i].profit = ProfitOf(deals_[i]);
  profitsPending_ = false;
}

void CKMRBroker::CloseTouched() {
  for (std::int32_t i = count_ - 1; i >= 0; --i) {
    const BrokerDeal& deal = deals_[i];
    const bool stopped =
        deal.stopPrice != 0 && (deal.isLong ? deal.stopPrice >= bid_ : ask_ >= deal.stopPrice);
    const bool limited = !stopped && deal.limitPrice != 0 &&
                         (deal.isLong ? bid_ >= deal.limitPrice : deal.limitPrice >= ask_);
    if (stopped || limited) Close(deal.ticket, stopped ? BrokerClose::kStop : BrokerClose::kLimit);
  }
}

BrokerDeal CKMRBroker::Deal(std::int32_t index) const {
  BrokerDeal deal = deals_[index];
  deal.profit = ProfitNow(deal);
  return deal;
}

double CKMRBroker::OpenDeal(bool isLong, std::int32_t orderId) {
  if (count_ == capacity_) {
    std::unique_ptr<BrokerDeal[]> grown(new BrokerDeal[capacity_ + 20]());
    for (std::int32_t i = 0; i < count_; ++i) grown[i] = deals_[i];
    deals_ = std::move(grown);
    capacity_ += 20;
  }
  BrokerDeal& deal = deals_[count_];
  deal = BrokerDeal{};
  deal.orderId = orderId;
  deal.ticket = orderId;
  deal.isLong = isLong ? 1 : 0;
  deal.openPrice = BrokerFillPrice(isLong, bid_, ask_);
  if (stopDistance_ != 0)
    deal.stopPrice = isLong ? deal.openPrice - stopDistance_ : deal.openPrice + stopDistance_;
  if (limitDistance_ != 0)
    deal.limitPrice = isLong ? deal.openPrice + limitDistance_ : deal.openPrice - limitDistance_;
  deal.profit = ProfitOf(deal);
  ++count_;
  BookChanged();
  if (isLong)
    ++longDeals_;
  else
    ++shortDeals_;
  const double fillPrice = deal.openPrice;
  if (engine_ != nullptr) {
    const unsigned id = static_cast<unsigned>(orderId);
    engine_->OrderSetTicket(id, id);
    engine_->OrderFilled(id, dealSize_, fillPrice);
  }
  UpdatePosition();
  if (observer_ != nullptr) observer_->DealOpened(deals_[count_ - 1]);
  return fillPrice;
}

double CKMRBroker::CloseDeal(std::int32_t ticket) {
  return Close(ticket, BrokerClose::kCommand);
}

double CKMRBroker::Close(std::int32_t ticket, BrokerClose why) {
  std::int32_t index = 0;
  while (index < count_ && deals_[index].ticket != ticket) ++index;
  if (index == count_) return 0.0;
  const bool isLong = deals_[index].isLong != 0;
  BrokerDeal closed = deals_[index];
  closed.profit = ProfitNow(closed);
  closedProfit_ += closed.profit;
  for (std::int32_t i = index; i + 1 < count_; ++i) deals_[i] = deals_[i + 1];
  --count_;
  deals_[count_] = BrokerDeal{};
  BookChanged();
  const double closePrice = BrokerFillPrice(!isLong, bid_, ask_);
  if (engine_ != nullptr)
    engine_->OpenDealClosed(static_cast<unsigned>(ticket), dealSize_, closePrice);
  UpdatePosition();
  if (observer_ != nullptr) observer_->DealClosed(closed, closePrice, why);
  return closePrice;
}

void CKMRBroker::UpdatePosition() {
  std::int32_t longs = 0, shorts = 0;
  for (std::int32_t i = 0; i < count_; ++i) (deals_[i].isLong ? longs : shorts) += 1;
  netPosition_ = (longs - shorts) * dealSize_;
  if (std::fabs(netPosition_) > std::fabs(maxPosition_)) maxPosition_ = netPosition_;
}

void CKMRBroker::ResetStatistics() {
  count_ = 0;
  profitsPending_ = false;
  BookChanged();
  floatingProfit_ = closedProfit_ = netPosition_ = 0;
  longDeals_ = shortDeals_ = 0;
  maxPosition_ = peakEquity_ = maxDrawdown_ = equity_ = 0;
}

void CKMRBroker::BookChanged() {
  floatingMemo_.Forget();
  constexpr double kNone = std::numeric_limits<double>::infinity();
  longStopHigh_ = shortLimitHigh_ = -kNone;
  longLimitLow_ = shortStopLow_ = kNone;
  // NaN levels are never touched, and no comparison below takes them.
  for (std::int32_t i = 0; i < count_; ++i) {
    const BrokerDeal& deal = deals_[i];
    if (deal.isLong) {
      if (deal.stopPrice != 0 && deal.stopPrice > longStopHigh_) longStopHigh_ = deal.stopPrice;
      if (deal.limitPrice != 0 && deal.limitPrice < longLimitLow_) longLimitLow_ = deal.limitPrice;
    } else {
      if (deal.stopPrice != 0 && deal.stopPrice < shortStopLow_) shortStopLow_ = deal.stopPrice;
      if (deal.limitPrice != 0 && deal.limitPrice > shortLimitHigh_)
        shortLimitHigh_ = deal.limitPrice;
    }
  }
}

}  // namespace kmr
