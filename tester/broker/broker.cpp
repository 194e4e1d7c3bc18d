#include "tester/broker/broker.h"

#include <cmath>
#include <cstring>

namespace kmr {

CKMRBroker::CKMRBroker(const EngineApi* engine, const TesterSettings& settings) : engine_(engine) {
  SetMoneySettings(settings);
}

void CKMRBroker::SetMoneySettings(const TesterSettings& s) {
  dealSize_ = s.DealSize;
  commission_ = s.DealComm;
  tickSize_ = s.TickSize;
  tickValue_ = s.TickValue;
  stopDistance_ = s.StopDistance;
  limitDistance_ = s.LimitDistance;
}

double CKMRBroker::ProfitOf(const BrokerDeal& deal) const {
  const double difference = deal.isLong ? bid_ - deal.openPrice : deal.openPrice - ask_;
  // The order of the operations is part of the result: divide, times value, times size, minus.
  return difference / tickSize_ * tickValue_ * dealSize_ - commission_;
}

void CKMRBroker::OnPrice(double bid, double ask) {
  bid_ = bid;
  ask_ = ask;
  floatingProfit_ = 0;
  for (std::int32_t i = 0; i < count_; ++i) {
    deals_[i].profit = ProfitOf(deals_[i]);
    floatingProfit_ += deals_[i].profit;
  }
  const double equity = floatingProfit_ + closedProfit_;
  equity_ = equity;
  if (equity > peakEquity_)
    peakEquity_ = equity;
  else if (peakEquity_ - equity > maxDrawdown_)
    maxDrawdown_ = peakEquity_ - equity;

  if (stopDistance_ == 0 && limitDistance_ == 0) return;
  for (std::int32_t i = count_ - 1; i >= 0; --i) {
    const BrokerDeal& deal = deals_[i];
    const bool stopped =
        deal.stopPrice != 0 && (deal.isLong ? deal.stopPrice >= bid_ : ask_ >= deal.stopPrice);
    const bool limited = !stopped && deal.limitPrice != 0 &&
                         (deal.isLong ? bid_ >= deal.limitPrice : deal.limitPrice >= ask_);
    if (stopped || limited) Close(deal.ticket, stopped ? BrokerClose::kStop : BrokerClose::kLimit);
  }
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
  const BrokerDeal closed = deals_[index];
  closedProfit_ += deals_[index].profit;
  for (std::int32_t i = index; i + 1 < count_; ++i) deals_[i] = deals_[i + 1];
  --count_;
  deals_[count_] = BrokerDeal{};
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
  floatingProfit_ = closedProfit_ = netPosition_ = 0;
  longDeals_ = shortDeals_ = 0;
  maxPosition_ = peakEquity_ = maxDrawdown_ = equity_ = 0;
}

}  // namespace kmr
