// The book valued on a live tick only as far as a decision reads it (floating profit remembered
// by price, deal profits computed when read) against the plain valuation that stores every
// deal's profit on every tick: the same random sequences of ticks, decisions, host reports and
// parameter changes on two books, compared bit for bit after every step.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "engine/charts/candle.h"
#include "engine/context/configuration.h"
#include "engine/trading/closing.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/opening.h"
#include "engine/trading/signals.h"
#include "tests/engine/trading/trading_fixture.h"

namespace kmr::testing {
namespace {

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Everything a host, the window or a later decision can see of the book.
void ExpectSameBook(const Book& fast, const Book& plain, const std::string& where) {
  const TradingState& f = *fast.t;
  const TradingState& p = *plain.t;
  ASSERT_EQ(f.dealCount, p.dealCount) << where;
  for (int i = 0; i < p.dealCount; ++i) {
    const DealRecord& a = f.deals[i];
    const DealRecord& b = p.deals[i];
    ASSERT_TRUE(a.id == b.id && a.ticket == b.ticket && a.linkedId == b.linkedId &&
                a.kind == b.kind && SameBits(a.price, b.price) && SameBits(a.volume, b.volume))
        << where << ", deal " << i;
    ASSERT_TRUE(SameBits(DealProfitNow(f, a), DealProfitNow(p, b)))
        << where << ", deal " << i << ": " << DealProfitNow(f, a) << " against "
        << DealProfitNow(p, b);
  }
  ASSERT_TRUE(SameBits(f.floatingProfit, p.floatingProfit))
      << where << ": " << f.floatingProfit << " against " << p.floatingProfit;
  ASSERT_TRUE(SameBits(f.closedProfit, p.closedProfit)) << where;
  ASSERT_TRUE(SameBits(f.netPosition, p.netPosition)) << where;
  ASSERT_EQ(f.filledDealCount, p.filledDealCount) << where;
  ASSERT_EQ(f.cadRequested, p.cadRequested) << where;
  ASSERT_EQ(f.commandCount, p.commandCount) << where;
  ASSERT_EQ(0, std::memcmp(f.commands, p.commands, sizeof f.commands)) << where;
}

// One step of the sequence, the same on both books.
struct Step {
  int op;
  double a, b;
  std::uint32_t key;
  int n;
};

class Walk {
 public:
  explicit Walk(std::uint32_t seed) : random_(seed) {}

  Step Next(const Book& book) {
    Step s{Pick(24), Price(), Price(), 0, Pick(8)};
    const TradingState& t = *book.t;
    if (t.dealCount > 0 && Pick(8) != 0) {
      const DealRecord& d = t.deals[Pick(t.dealCount)];
      s.key = Pick(2) ? d.ticket : d.id;
    } else {
      s.key = static_cast<std::uint32_t>(Pick(40));
    }
    return s;
  }

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<std::uint32_t>(n)); }
  // Mostly a walk on a coarse grid, so that prices come back; now and then an odd one.
  double Price() {
    static const double kOdd[] = {std::numeric_limits<double>::quiet_NaN(), -0.0, 0.0,
                                  std::numeric_limits<double>::infinity(), 1e300, 99.9};
    if (Pick(50) == 0) return kOdd[Pick(6)];
    walk_ += 0.25 * (Pick(5) - 2);
    if (walk_ < 90 || walk_ > 110) walk_ = 100;
    return walk_;
  }

  std::mt19937 random_;
  double walk_ = 100;
};

void Apply(Book& book, const Step& s, std::uint32_t& time, std::uint32_t& ticket) {
  TradingState& t = *book.t;
  const double volumes[] = {1, 0.5, 2, 0};
  switch (s.op) {
    case 0:
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6: {
      const double ask = s.n < 4 ? s.a + 0.25 : s.n < 6 ? s.a : s.b;
      OnLiveTick(t, s.a, ask, ++time);
      break;
    }
    case 7:
      OpenNewDeal(t, (s.n & 1 ? kKindLong : 0) | (s.n & 2 ? kKindDca : kKindStandard), kNoLink);
      break;
    case 8:
    case 9: {
      // The host carries out the oldest command.
      const std::uint64_t word = GetNextCommand(t);
      if (CommandCodeOf(word) == kCommandClose) {
        const int i = FindDealByTicket(t, CommandOperandOf(word));
        OpenDealClosed(t, CommandOperandOf(word), i >= 0 ? t.deals[i].volume : 1, s.a);
      } else if (word != 0) {
        OrderSetTicket(t, CommandOperandOf(word), ++ticket);
        OrderFilled(t, ticket, volumes[s.n % 4], s.a);
      }
      break;
    }
    case 10:
      OrderFilled(t, s.key, volumes[s.n % 4], s.a);
      break;
    case 11:
      OpenDealClosed(t, s.key, volumes[s.n % 4], s.a);
      break;
    case 12:
      OrderRejected(t, static_cast<std::int32_t>(s.key));
      break;
    case 13:
      OrderClosed(t, static_cast<std::int32_t>(s.key));
      break;
    case 14:
      TryCloseDealIfInProfit(t, s.n & 1, s.n < 4 ? -1 : 0);
      break;
    case 15:
      ClosePositiveOrHedgeStandardDeals(t, s.n & 1, s.n & 2);
      break;
    case 16:
      CloseProfitableSideOnNewTrend(t, s.n & 1 ? Side::kLong : Side::kShort);
      break;
    case 17:
      CloseSideGroupOnNewTrend(t, s.n & 1 ? Side::kLong : Side::kShort);
      break;
    case 18:
      if (s.n == 0) CloseAllDeals(t, true);
      break;
    case 19:
      OnEntrySignal(t, s.n % 3, s.n & 4 ? kResultUp1 : kResultDown1, false);
      break;
    case 20:
      book.Trend({3, 3, 3}, s.n < 4 ? 3 : -3);
      break;
    case 21: {
      const double values[] = {12.5, 10, 1, 0.5};
      const double commissions[] = {1.5, 0, 2, 0.25};
      const double cads[] = {1e9, 50, 0, -50, 200, 1e9, 1e9, 1e9};
      PriceParameters p{1, values[s.n % 4], commissions[(s.n / 2) % 4], cads[s.n], 100, 0, 0, 100,
                        kIgnoreTrendOnNewDeal};
      SetPriceParameters(*book.context, p);
      break;
    }
    case 22:
      if (s.n == 0) ResetCadCounter(t);
      break;
    case 23:
      if (s.n == 0 && s.key % 8 == 0) {
        ResetTrading(t);
        t.journalEnabled = 1;
      }
      break;
  }
}

TEST(LazyValuation, MatchesThePlainValuationBitForBit) {
  constexpr int kCases = 600;
  constexpr int kSteps = 400;
  for (int c = 0; c < kCases; ++c) {
    Book fast, plain;
    plain.t->plainValuation = 1;
    fast.OpenJournal(3);
    plain.OpenJournal(3);
    for (Book* b : {&fast, &plain}) {
      b->t->cadProfit = c % 3 == 0 ? 100 : 1e9;
      b->Trend({3, 3, 3}, c % 2 ? 3 : -3);
    }
    Walk walk(static_cast<std::uint32_t>(c + 1));
    std::uint32_t fastTime = 1000, plainTime = 1000, fastTicket = 5000, plainTicket = 5000;
    for (int i = 0; i < kSteps; ++i) {
      const Step s = walk.Next(plain);
      Apply(fast, s, fastTime, fastTicket);
      Apply(plain, s, plainTime, plainTicket);
      ExpectSameBook(fast, plain,
                     "case " + std::to_string(c) + " step " + std::to_string(i) + " op " +
                         std::to_string(s.op));
      if (HasFatalFailure()) return;
    }
    ASSERT_EQ(fast.Journal(), plain.Journal()) << "case " << c;
  }
}

// A remembered value is only ever one computed for the same book at the same prices.
TEST(LazyValuation, ForgetsTheRememberedValueWhenTheBookChanges) {
  Book b;
  b.Deal(kLong, 100, 1);
  OnLiveTick(*b.t, 101, 101.25, 1);
  const double one = b.t->floatingProfit;
  ASSERT_EQ(one, 4 * 12.5 - 1.5);
  OpenNewDeal(*b.t, kKindStandard, kNoLink);  // a SHORT request, unfilled: minus the commission
  OnLiveTick(*b.t, 101, 101.25, 2);
  EXPECT_EQ(b.t->floatingProfit, one - 1.5);
  OrderRejected(*b.t, static_cast<std::int32_t>(b.t->deals[1].id));
  OnLiveTick(*b.t, 101, 101.25, 3);
  EXPECT_EQ(b.t->floatingProfit, one);
  SetPriceParameters(*b.context, PriceParameters{1, 10, 0, 1e9, 100, 0, 0, 100, 0});
  OnLiveTick(*b.t, 101, 101.25, 4);
  EXPECT_EQ(b.t->floatingProfit, 4 * 10.0);
}

}  // namespace
}  // namespace kmr::testing
