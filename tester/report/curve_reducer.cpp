#include "tester/report/curve_reducer.h"

#include <algorithm>

namespace kmr {

CurveReducer::CurveReducer(std::size_t buckets)
    : capacity_(std::max<std::size_t>(2, buckets & ~std::size_t{1})) {
  // Room only: a page is touched when a bucket on it is first used, so a short run pays little.
  buckets_.reserve(capacity_);
}

void CurveReducer::Clear() {
  buckets_.clear();
  current_ = nullptr;
  lines_ = linesPerBucket_ = 1;
}

void CurveReducer::Open(std::int32_t time, double equity, double price) {
  if (current_ != nullptr) current_->lines = lines_;
  if (buckets_.size() == capacity_) {
    const std::size_t half = capacity_ / 2;
    for (std::size_t i = 0; i < half; ++i)
      buckets_[i] = MergeBuckets(buckets_[2 * i], buckets_[2 * i + 1]);
    buckets_.resize(half);
    linesPerBucket_ *= 2;  // every merged bucket is full: this line opens a new one
  }
  current_ = &buckets_.emplace_back();  // never moves: the room was reserved
  current_->firstTime = time;
  current_->equity = {equity, equity, equity, equity};
  current_->price = {price, price, price, price};
  lines_ = 0;
}

std::vector<CurveBucket> CurveReducer::Buckets() const {
  std::vector<CurveBucket> buckets(buckets_);
  if (!buckets.empty()) buckets.back().lines = lines_;
  return buckets;
}

CurveBucket MergeBuckets(const CurveBucket& a, const CurveBucket& b) {
  auto merge = [](const ValueSpan& x, const ValueSpan& y) {
    return ValueSpan{x.first, y.last, std::min(x.min, y.min), std::max(x.max, y.max)};
  };
  CurveBucket m;
  m.firstTime = a.firstTime;
  m.lastTime = b.lastTime;
  m.equity = merge(a.equity, b.equity);
  m.price = merge(a.price, b.price);
  m.maxDrawdown = std::max(a.maxDrawdown, b.maxDrawdown);
  m.balance = b.balance;
  m.lines = a.lines + b.lines;
  return m;
}

}  // namespace kmr
