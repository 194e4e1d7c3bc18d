#include "engine/charts/trend_vote.h"

#include <gtest/gtest.h>

namespace kmr {
namespace {

constexpr std::uint32_t Word(std::initializer_list<std::uint32_t> codes) {
  std::uint32_t word = 0;
  int i = 0;
  for (std::uint32_t code : codes) word |= code << (2 * i++);
  return word;
}

TEST(ComputeTrendVote, MajorityOfTheConsideredCharts) {
  constexpr std::uint32_t U = kTrendCodeUp, D = kTrendCodeDown, N = kTrendCodeNone;
  const struct {
    std::uint32_t word;
    int considered;
    int vote;
  } cases[] = {
      {Word({U}), 1, 1},
      {Word({D}), 1, -1},
      {Word({N}), 1, 0},
      {Word({U, U, U, D, D}), 5, 3},
      {Word({U, U, D, D, D}), 5, -3},
      {Word({U, U, U, U, U}), 5, 5},
      {Word({U, U, D, D}), 4, 0},
      {Word({U, U, U, N, U}), 5, 0},
      {Word({U, U, N}), 2, 2},
      {Word({U, D, N}), 0, 0},
  };
  for (const auto& k : cases)
    EXPECT_EQ(ComputeTrendVote(k.word, k.considered), k.vote) << std::hex << k.word;
}

TEST(TrendLetters, OneLetterPerChart) {
  char letters[17];
  EXPECT_STREQ(TrendLetters(0x34, 3, letters), "-DU");
  EXPECT_STREQ(TrendLetters(0xFFFFFFFF, 20, letters), "UUUUUUUUUUUUUUUU");
  EXPECT_STREQ(TrendLetters(0x34, 0, letters), "");
}

}  // namespace
}  // namespace kmr
