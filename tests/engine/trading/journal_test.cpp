#include "engine/trading/journal.h"

#include "engine/trading/opening.h"
#include "tests/engine/trading/trading_fixture.h"

namespace kmr::testing {
namespace {

// 2001-03-30 21:30:00 UTC.
constexpr std::uint32_t kTime = 985987800;

struct FillCase {
  std::uint8_t level;
  const char* expected;
};

TEST(Journal, OneFillGivesTheDealLineAndAtLevelOneTheOrderFilledLineFirst) {
  const FillCase cases[] = {
      {0,
       "20010330 21:30:00 1.6000/1.6002 ## OPEN STANDARD 1 LONG 1.6003 0.2000 1 0.2000 "
       "-2.1000 0.0000 \r\n"},
      {1,
       "20010330 21:30:00 1.6000/1.6002 Open new STANDARD deal request Long -1\r\n"
       "20010330 21:30:00 1.6000/1.6002 OrderFilled  77 1.6003\r\n"
       "20010330 21:30:00 1.6000/1.6002 ## OPEN STANDARD 1 LONG 1.6003 0.2000 1 0.2000 "
       "-2.1000 0.0000 \r\n"},
  };
  for (const FillCase& c : cases) {
    Book b;
    b.t->tickSize = 0.0001;
    b.t->tickValue = 1;
    b.t->dealSize = 0.2;
    b.OpenJournal(c.level);
    OnLiveTick(*b.t, 1.6, 1.6002, kTime);
    ASSERT_TRUE(OpenNewDeal(*b.t, kLong, kNoLink));
    OrderSetTicket(*b.t, 1, 77);
    OrderFilled(*b.t, 77, 0.2, 1.6003);
    EXPECT_EQ(b.Journal(), c.expected) << int(c.level);
  }
}

TEST(Journal, BeforeTheFirstLiveTickTheStampReads1900) {
  for (std::uint32_t time : {0u, 0x80000000u, 0xFFFFFFFFu}) {
    Book b;
    b.OpenJournal(3);
    b.t->tickTime = time;
    WriteJournalLine(*b.t, 3, "Start trading cycle manually request");
    EXPECT_EQ(b.Journal(),
              "19000100 00:00:00 0.0000/0.0000 Start trading cycle manually request \r\n");
  }
}

TEST(Journal, FormatsFollowNumberAndValue) {
  Book b;
  b.OpenJournal(3);
  b.t->tickTime = 1;
  WriteJournalLine(*b.t, 1, "a", "b", -1, 2.5);
  WriteJournalLine(*b.t, 1, "a", nullptr, {}, -0.00004);
  WriteJournalLine(*b.t, 1, "a", "Short", 12);
  EXPECT_EQ(b.Journal(),
            "19700101 00:00:01 0.0000/0.0000 a b -1 2.5000\r\n"
            "19700101 00:00:01 0.0000/0.0000 a  -0.0000\r\n"
            "19700101 00:00:01 0.0000/0.0000 a Short 12\r\n");
  EXPECT_STREQ(b.t->journalLine, "19700101 00:00:01 0.0000/0.0000 a Short 12\r\n");
}

TEST(Journal, LevelsAreComparedUnsignedAndOnlyAnOpenEnabledJournalWrites) {
  Book b;
  b.OpenJournal(2);
  WriteJournalLine(*b.t, 3, "three");
  WriteJournalLine(*b.t, 2, "two");
  WriteJournalLine(*b.t, 255, "high");
  EXPECT_EQ(b.Journal(), "19000100 00:00:00 0.0000/0.0000 two \r\n");
  b.context->logLevel = 49;  // the letter a in the digit's place
  WriteJournalLine(*b.t, 3, "three");
  EXPECT_TRUE(b.JournalHas("three"));

  // Reset Trading switches the journal off: nothing formatted, nothing written.
  ResetTrading(*b.t);
  const std::string before = b.Journal();
  b.t->journalLine[0] = '\0';
  WriteJournalLine(*b.t, 0, "gone");
  WriteDealJournalLine(*b.t, true, 1, kLong, true, 1, 1);
  EXPECT_EQ(b.Journal(), before);
  EXPECT_STREQ(b.t->journalLine, "");

  // A closed file stops the writing but the line is still formatted.
  b.t->journalEnabled = 1;
  b.context->logOpen = 0;
  WriteJournalLine(*b.t, 0, "kept");
  EXPECT_EQ(b.Journal(), before);
  EXPECT_NE(std::string(b.t->journalLine).find("kept"), std::string::npos);
  b.context->logOpen = 1;
}

TEST(Journal, KindTextTakesTheHighestTypeBit) {
  struct Case {
    std::uint32_t kind;
    const char* text;
  } cases[] = {{kKindStandard | kKindDca, "DCA"},
               {kKindStandard | kKindHedging, "HEDGING"},
               {kKindStandard, "STANDARD"},
               {0, ""}};
  for (const Case& c : cases) {
    Book b;
    b.OpenJournal(0);
    WriteDealJournalLine(*b.t, false, 3, c.kind, false, 1.5, 2);
    EXPECT_EQ(b.Journal(), std::string("19000100 00:00:00 0.0000/0.0000 ## CLOSE ") + c.text +
                               " 3 SHORT 1.5000 2.0000 0 0.0000 0.0000 0.0000 \r\n");
  }
}

}  // namespace
}  // namespace kmr::testing
