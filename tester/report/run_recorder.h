// Records a run for its report while it goes: the broker tells it of every deal opened and
// closed, the processing loop of every line. It allocates per deal and per day, never per line.
#pragma once

#include <cstdint>
#include <vector>

#include "tester/broker/broker.h"
#include "tester/report/curve_reducer.h"
#include "tester/report/run_recording.h"
#include "tester/report/run_statistics.h"

namespace kmr {

class RunRecorder : public BrokerObserver {
 public:
  explicit RunRecorder(std::size_t curveBuckets = kCurveBuckets);
  ~RunRecorder() override;
  RunRecorder(const RunRecorder&) = delete;
  RunRecorder& operator=(const RunRecorder&) = delete;

  // Follows `broker` (null: none) from now on; a broker already followed is let go.
  void Attach(CKMRBroker* broker);
  // Forgets everything recorded, as the broker's statistics are reset.
  void Clear();
  // How often Clear was called: tells a front that a new run started.
  std::uint64_t Clears() const { return clears_; }

  // --- The processing loop's hooks ---
  void HistoryLine(std::int32_t time) {
    if (historyLines_++ == 0) firstHistoryTime_ = time;
    lastHistoryTime_ = time;
  }
  // Before the broker sees the trade line: the time of what happens on it.
  void BeginTradeLine(std::int32_t time) {
    time_ = time;
    if (time >= nextDayStart_ || time < dayStart_) NewDay();
  }
  // After the line's commands were carried out.
  void EndTradeLine() {
    if (broker_ == nullptr) return;
    const double equity = broker_->Equity();
    if (tradeLines_++ == 0) firstTradeTime_ = time_;
    tracker_.Add(time_, equity);
    curve_.Add(time_, equity, tracker_.drawdown, broker_->Bid(), broker_->ClosedProfit());
    lastTime_ = time_;
  }

  // BrokerObserver.
  void DealOpened(const BrokerDeal& deal) override;
  void DealClosed(const BrokerDeal& deal, double closePrice, BrokerClose why) override;

  // The run so far, as if it ended now: the deals still open are valued at the last price.
  RunRecording Recording() const;
  // The same at the end of a run, taking what was recorded instead of copying it.
  RunRecording TakeRecording();
  long TradeLines() const { return tradeLines_; }

 private:
  EquityPoint EventPoint(EquityEvent event, std::int32_t dealId) const;
  void NewDay();  // ends the day of the last line
  EquityPoint LastLine() const;
  // The rest of a recording of the run so far, whose trades and equity hold what was recorded.
  void Complete(RunRecording& r) const;

  CKMRBroker* broker_ = nullptr;
  std::vector<TradeRecord> closed_;
  std::vector<TradeRecord> open_;  // in the broker's order
  std::vector<EquityPoint> equity_;
  CurveReducer curve_;
  EquityTracker tracker_;
  long historyLines_ = 0, tradeLines_ = 0;
  std::int32_t firstHistoryTime_ = 0, lastHistoryTime_ = 0;
  std::int32_t firstTradeTime_ = 0;
  std::int32_t time_ = 0;
  std::int32_t lastTime_ = 0;  // of the last trade line
  std::int64_t dayStart_ = 0, nextDayStart_ = 0;
  std::uint64_t clears_ = 0;
};

}  // namespace kmr
