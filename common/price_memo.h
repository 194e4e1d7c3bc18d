// PriceMemo: the value of a book of deals at a bid and an ask, remembered until the book changes.
// The value is a pure function of the book and the two prices, and a price walk comes back to
// the same prices again and again, so a remembered value is the one computed again, bit for
// bit, at a fraction of the cost. Prices are told apart by their bits: 0.0 and -0.0, and NaNs of
// different payloads, are different prices. Fixed size, no allocation.
#pragma once

#include <cstdint>
#include <cstring>

namespace kmr {

class PriceMemo {
 public:
  // The value stored for these prices since the last Forget, or null.
  const double* Find(double bid, double ask) const {
    const std::uint64_t b = Bits(bid), a = Bits(ask);
    const Slot& slot = slots_[SlotOf(b, a)];
    return slot.book == book_ && slot.bid == b && slot.ask == a ? &slot.value : nullptr;
  }
  void Store(double bid, double ask, double value) {
    const std::uint64_t b = Bits(bid), a = Bits(ask);
    slots_[SlotOf(b, a)] = Slot{b, a, value, book_};
  }
  // The book changed: every stored value is gone.
  void Forget() {
    if (++book_ != 0) return;
    for (Slot& slot : slots_) slot.book = 0;
    book_ = 1;
  }

 private:
  static constexpr int kSlotBits = 9;
  struct Slot {
    std::uint64_t bid = 0, ask = 0;
    double value = 0;
    std::uint32_t book = 0;  // the book the value belongs to; 0: none
  };

  static std::uint64_t Bits(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
  }
  static std::uint32_t SlotOf(std::uint64_t bid, std::uint64_t ask) {
    constexpr std::uint64_t kMix = 0x9E3779B97F4A7C15u;
    return static_cast<std::uint32_t>(((bid ^ (ask * kMix)) * kMix) >> (64 - kSlotBits));
  }

  Slot slots_[1 << kSlotBits];
  std::uint32_t book_ = 1;
};

}  // namespace kmr
