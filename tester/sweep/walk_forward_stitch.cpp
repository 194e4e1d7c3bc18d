#include "tester/sweep/walk_forward_stitch.h"

#include <algorithm>
#include <cmath>

#include "tester/report/curve_reducer.h"

namespace kmr {

RunRecording StitchRecordings(const std::vector<RunRecording>& runs) {
  RunRecording all;
  double offset = 0;  // the equity the runs so far ended with
  double peak = 0;    // the highest equity so far, from the start of the first run
  bool started = false;
  for (const RunRecording& run : runs) {
    all.trades.insert(all.trades.end(), run.trades.begin(), run.trades.end());
    // A line's drawdown from the peak of the earlier runs, or from its own run's peak.
    const double before = peak - offset;
    for (EquityPoint p : run.equity) {
      p.drawdown = std::max(p.drawdown, before - p.equity);
      p.balance += offset;
      p.equity += offset;
      all.equity.push_back(p);
    }
    double lowest = 0, highest = 0;
    bool any = false;
    for (CurveBucket b : run.curve) {
      lowest = any ? std::min(lowest, b.equity.min) : b.equity.min;
      highest = any ? std::max(highest, b.equity.max) : b.equity.max;
      any = true;
      b.maxDrawdown = std::max(b.maxDrawdown, before - b.equity.min);
      for (double* v : {&b.equity.first, &b.equity.last, &b.equity.min, &b.equity.max})
        *v += offset;
      b.balance += offset;
      all.curve.push_back(b);
    }
    all.historyLines += run.historyLines;
    all.tradeLines += run.tradeLines;
    if (run.historyLines > 0) {
      if (all.historyLines == run.historyLines) all.firstHistoryTime = run.firstHistoryTime;
      all.lastHistoryTime = run.lastHistoryTime;
    }
    if (run.tradeLines == 0) continue;
    if (!started) all.firstTradeTime = run.firstTradeTime;
    started = true;
    all.lastTradeTime = run.lastTradeTime;
    all.lastBid = run.lastBid;
    all.lastAsk = run.lastAsk;
    if (std::fabs(run.maxPosition) > std::fabs(all.maxPosition)) all.maxPosition = run.maxPosition;
    // The deepest fall: within the run from its own peak, or from the earlier peak to the
    // run's lowest line.
    if (run.maxDrawdown > all.maxDrawdown && run.maxDrawdown >= before - lowest) {
      all.maxDrawdown = run.maxDrawdown;
      all.peakAtMaxDrawdown = offset + run.peakAtMaxDrawdown;
    } else if (any && before - lowest > all.maxDrawdown) {
      all.maxDrawdown = before - lowest;
      all.peakAtMaxDrawdown = peak;
    }
    // Time below a peak is not followed across runs: the longest stretch of any one run.
    all.longestDrawdownSeconds = std::max(all.longestDrawdownSeconds, run.longestDrawdownSeconds);
    if (any) peak = std::max(peak, offset + highest);
    offset += run.lastEquity;
    all.lastEquity = offset;
  }
  return all;
}

std::vector<CurveBucket> ReduceBuckets(std::vector<CurveBucket> buckets, std::size_t limit) {
  while (buckets.size() > limit && limit > 0) {
    std::vector<CurveBucket> merged;
    merged.reserve(buckets.size() / 2 + 1);
    for (std::size_t i = 0; i < buckets.size(); i += 2)
      merged.push_back(i + 1 < buckets.size() ? MergeBuckets(buckets[i], buckets[i + 1])
                                              : buckets[i]);
    buckets = std::move(merged);
  }
  return buckets;
}

}  // namespace kmr
