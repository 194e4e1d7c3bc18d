// Reduces a curve of any number of lines to a bounded number of buckets without knowing the
// number of lines in advance: a bucket takes a fixed number of lines, and when every bucket is
// full, neighbours merge pairwise and each bucket takes twice as many lines. Every bucket keeps
// the first, last, lowest and highest value, so spikes stay visible when the curve is drawn.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tester/report/run_recording.h"

namespace kmr {

inline constexpr std::size_t kCurveBuckets = 2048;  // even, so that buckets merge in pairs

class CurveReducer {
 public:
  explicit CurveReducer(std::size_t buckets = kCurveBuckets);
  // Not copied: the newest bucket is held by its address.
  CurveReducer(const CurveReducer&) = delete;
  CurveReducer& operator=(const CurveReducer&) = delete;

  void Clear();
  void Add(std::int32_t time, double equity, double drawdown, double price, double balance) {
    if (lines_ == linesPerBucket_) Open(time, equity, price);
    CurveBucket& b = *current_;
    Extend(b.equity, equity);
    Extend(b.price, price);
    b.maxDrawdown = std::max(b.maxDrawdown, drawdown);
    b.lastTime = time;
    b.balance = balance;
    ++lines_;
  }

  // The buckets in use, oldest first.
  std::vector<CurveBucket> Buckets() const;

 private:
  // Without branches: a new low or high is as likely as not.
  static void Extend(ValueSpan& span, double value) {
    span.last = value;
    span.min = std::min(span.min, value);
    span.max = std::max(span.max, value);
  }
  // Starts the next bucket with a line, merging the buckets first when all are used.
  void Open(std::int32_t time, double equity, double price);

  std::size_t capacity_;              // buckets at most; even
  std::vector<CurveBucket> buckets_;  // the ones in use, in room for all reserved once
  CurveBucket* current_ = nullptr;    // the newest bucket in use
  long lines_ = 1;                    // in the newest bucket; none open yet counts as full
  long linesPerBucket_ = 1;
};

// `b` appended to `a`: the curve of both stretches in one bucket.
CurveBucket MergeBuckets(const CurveBucket& a, const CurveBucket& b);

}  // namespace kmr
