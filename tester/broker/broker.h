// CKMRBroker: the simulated broker. Fills every order at once at bid or ask, values the open
// deals, closes them on command or at their stop or limit, reports back to the engine and keeps
// the statistics of the main window.
#pragma once

#include <cstdint>
#include <memory>

#include "tester/connector/engine_api.h"
#include "tester/settings/tester_settings.h"

namespace kmr {

struct BrokerDeal;

// Why the broker closed a deal.
enum class BrokerClose : std::uint8_t { kCommand, kStop, kLimit };

// Told of every deal the broker opens and closes, right after it did so; the run's report
// records them. The broker works the same with or without one.
class BrokerObserver {
 public:
  virtual ~BrokerObserver() = default;
  virtual void DealOpened(const BrokerDeal& deal) = 0;
  // `deal` holds the profit that went into the closed profit.
  virtual void DealClosed(const BrokerDeal& deal, double closePrice, BrokerClose why) = 0;
};

struct BrokerDeal {
  std::int32_t orderId = 0;
  std::int32_t ticket = 0;
  std::uint8_t isLong = 0;
  double openPrice = 0;
  double stopPrice = 0;   // 0 = none
  double limitPrice = 0;  // 0 = none
  double profit = 0;
};

// Market orders fill at the quote's side: a buy at the ask, a sell at the bid.
inline double BrokerFillPrice(bool buy, double bid, double ask) { return buy ? ask : bid; }

class CKMRBroker {
 public:
  // `engine` may be null: the broker then reports nothing.
  CKMRBroker(const EngineApi* engine, const TesterSettings& settings);
  virtual ~CKMRBroker() = default;
  CKMRBroker(const CKMRBroker&) = delete;
  CKMRBroker& operator=(const CKMRBroker&) = delete;

  // DealSize, DealComm, TickSize, TickValue, StopDistance and LimitDistance. Open deals keep
  // their stop and limit prices.
  void SetMoneySettings(const TesterSettings& settings);

  // Null: nobody is told.
  void SetObserver(BrokerObserver* observer) { observer_ = observer; }

  void OnPrice(double bid, double ask);
  double OpenDeal(bool isLong, std::int32_t orderId);  // the fill price
  double CloseDeal(std::int32_t ticket);               // the close price, 0.0 when not open
  void ResetStatistics();

  double FloatingProfit() const { return floatingProfit_; }
  double ClosedProfit() const { return closedProfit_; }
  double NetPosition() const { return netPosition_; }
  double MaxPosition() const { return maxPosition_; }
  double MaxDrawdown() const { return maxDrawdown_; }
  double PeakEquity() const { return peakEquity_; }
  // Floating plus closed profit as valued at the last price, before that price's stop and limit
  // closes: the figure the peak and the drawdown follow.
  double Equity() const { return equity_; }
  double DealSize() const { return dealSize_; }
  double Commission() const { return commission_; }
  std::int32_t LongDeals() const { return longDeals_; }
  std::int32_t ShortDeals() const { return shortDeals_; }
  std::int32_t OpenDeals() const { return count_; }
  std::int32_t Capacity() const { return capacity_; }
  const BrokerDeal& Deal(std::int32_t index) const { return deals_[index]; }
  double Bid() const { return bid_; }
  double Ask() const { return ask_; }

 private:
  double ProfitOf(const BrokerDeal& deal) const;
  double Close(std::int32_t ticket, BrokerClose why);
  void UpdatePosition();

  const EngineApi* engine_;
  BrokerObserver* observer_ = nullptr;
  std::unique_ptr<BrokerDeal[]> deals_;
  std::int32_t capacity_ = 0;
  std::int32_t count_ = 0;
  double dealSize_ = 0;
  double commission_ = 0;
  double tickSize_ = 0;
  double tickValue_ = 0;
  double stopDistance_ = 0;
  double limitDistance_ = 0;
  double bid_ = 0;
  double ask_ = 0;
  double floatingProfit_ = 0;
  double closedProfit_ = 0;
  double netPosition_ = 0;
  std::int32_t longDeals_ = 0;
  std::int32_t shortDeals_ = 0;
  double maxPosition_ = 0;
  double peakEquity_ = 0;
  double maxDrawdown_ = 0;
  double equity_ = 0;
};

}  // namespace kmr
