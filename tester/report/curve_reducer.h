// Reduces a curve of any number of lines to a bounded number of buckets without knowing the
// number of lines in advance: a bucket takes a fixed number of lines, and when every bucket is
// full, neighbours merge pairwise and each bucket takes twice as many lines. Every bucket keeps
// the first, last, lowest and highest value, so spikes stay visible when the curve is drawn.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tester/report/run_recording.h"

namespace kmr {

inline constexpr std::size_t kCurveBuckets = 2048;  // even, so that buckets merge in pairs

class CurveReducer {
 public:
  explicit CurveReducer(std::size_t buckets = kCurveBuckets);

  void Clear();
  void Add(std::int32_t time, double equity, double drawdown, double price, double balance) {
    if (used_ == 0 || buckets_[used_ - 1].lines == linesPerBucket_) Open();
    CurveBucket& b = buckets_[used_ - 1];
    if (b.lines == 0) {
      b.firstTime = time;
      b.equity = {equity, equity, equity, equity};
      b.price = {price, price, price, price};
    } else {
      Extend(b.equity, equity);
      Extend(b.price, price);
    }
    if (drawdown > b.maxDrawdown) b.maxDrawdown = drawdown;
    b.lastTime = time;
    b.balance = balance;
    ++b.lines;
  }

  // The buckets in use, oldest first.
  std::vector<CurveBucket> Buckets() const;

 private:
  static void Extend(ValueSpan& span, double value) {
    span.last = value;
    if (value < span.min) span.min = value;
    if (value > span.max) span.max = value;
  }
  void Open();  // starts the next bucket, merging first when all are used

  std::vector<CurveBucket> buckets_;  // allocated once
  std::size_t used_ = 0;
  long linesPerBucket_ = 1;
};

// `b` appended to `a`: the curve of both stretches in one bucket.
CurveBucket MergeBuckets(const CurveBucket& a, const CurveBucket& b);

}  // namespace kmr
