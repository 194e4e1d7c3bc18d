// Lines kept out and why, --strict, layouts that cannot be told, and where the output goes.
#include <filesystem>

#include "tests/convert/programs.h"

namespace kmr::test {
namespace {

class LinesTest : public FolderTest {
 protected:
  // The folder's files other than `keep`.
  std::vector<std::string> Others(const std::string& keep) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
      if (entry.path().filename() != keep && entry.path().filename() != "in.csv" &&
          entry.path().filename() != "config")
        names.push_back(entry.path().filename());
    return names;
  }
};

const char* const kMixed =
    "Time,Bid,Ask\n"                         // 1
    "2023.01.02 10:00:00,1.10000,1.10002\n"  // 2
    "2023.01.02 10:00:01,1.10001,1.10003\n"  // 3
    "2023.13.02 10:00:02,1.10002,1.10004\n"  // 4 no month 13
    "2023.01.02 10:00:03,1.1000x,1.10005\n"  // 5 not a number
    "2023.01.02 10:00:04,1.10004\n"          // 6 no ask field
    "2023.01.02 10:00:05,1.10005,1.10007\n"  // 7
    "2023.01.02 09:59:00,1.09990,1.09992\n"  // 8 back in time
    "2023.01.02 10:00:05,1.10005,1.10007\n"  // 9 line 7 again
    "2023.01.02 10:00:06,1.10006,1.10008\n"  // 10
    "2031.01.02 10:00:07,1.10007,1.10009\n"  // 11 jumps ahead of its neighbours
    "2023.01.02 10:00:08,1.10008,1.10010\n"  // 12
    "\n"                                     // 13 blank
    "2023.01.02 10:00:09,1.10009,1.10011\n"  // 14
    "2023.01.02 10:00:10,,\n";               // 15 no price at all

TEST_F(LinesTest, BadAndMisplacedLinesAreLeftOutAndListedByNumber) {
  const std::string in = WriteFile("in.csv", kMixed);
  const Outcome run = Convert({in, Path("out.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Slurp(Path("out.txt")),
            "20230102 110000;1.1;1.10002\n"
            "20230102 110001;1.10001;1.10003\n"
            "20230102 110005;1.10005;1.10007\n"
            "20230102 110006;1.10006;1.10008\n"
            "20230102 110008;1.10008;1.1001\n"
            "20230102 110009;1.10009;1.10011\n");
  for (const char* part : {
           "wrote 6 lines to ",
           "from 15 lines read",
           "3 unreadable lines left out\n",
           "  line 4: the time stamp '2023.13.02 10:00:02' does not read as 'YYYY.MM.DD "
           "HH:MM:SS.fff': ",
           "  line 5: '1.1000x' is not a price: ",
           "  line 6: fewer fields than the layout has: 2023.01.02 10:00:04,1.10004\n",
           "2 out of order lines left out\n",
           "  line 8: 2023-01-02 09:59:00 UTC is earlier than line 7 before it (2023-01-02 "
           "10:00:05 UTC)\n",
           "  line 11: 2031-01-02 10:00:07 UTC jumps ahead of the lines after it (line 12: "
           "2023-01-02 10:00:08 UTC)\n",
           "1 duplicate line left out\n  line 9: the same line as line 7",
           "1 no price line skipped\n  line 15: ",
       })
    EXPECT_TRUE(Has(run.err, part)) << part << "\n" << run.err;
}

TEST_F(LinesTest, StrictMakesTheFirstSuchLineAnErrorAndWritesNothing) {
  const std::string in = WriteFile("in.csv", kMixed);
  const std::string out = WriteFile("out.txt", "an older file\n");
  const Outcome run = Convert({"--strict", in, out});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(
      Has(run.err, in + ":4: unreadable: the time stamp '2023.13.02 10:00:02' does not read"))
      << run.err;
  EXPECT_TRUE(Has(run.err, "(--strict)"));
  EXPECT_EQ(Slurp(out), "an older file\n");
  EXPECT_TRUE(Others("out.txt").empty());  // no temporary file left behind
  // Out of order and duplicates too.
  for (const auto& [content, line] :
       {std::pair<std::string, std::string>{"2023-01-02 10:00:00,1.1\n2023-01-02 10:00:01,1.2\n"
                                            "2023-01-02 10:00:02,1.3\n2023-01-02 09:00:00,1.4\n",
                                            ":4: out of order"},
        {"2023-01-02 10:00:00,1.1\n2023-01-02 10:00:00,1.1\n", ":2: duplicate"}}) {
    const Outcome strict = Convert({"--strict", WriteFile("in.csv", content), out});
    EXPECT_EQ(strict.status, 2);
    EXPECT_TRUE(Has(strict.err, line)) << strict.err;
  }
  // Ticks of one second and price that differ in another field are two ticks.
  const Outcome two =
      Convert({"--strict",
               WriteFile("in.csv", "2023-01-02 10:00:00,1.1,5\n2023-01-02 10:00:00,1.1,7\n"), out});
  EXPECT_EQ(two.status, 0) << two.err;
  EXPECT_EQ(Slurp(out), "20230102 110000;1.1\n20230102 110000;1.1\n");
}

TEST_F(LinesTest, TheListingIsCutAfterTenLinesOfEachKind) {
  std::string content = "2023-01-02 10:00:00,1.1\n";
  for (int i = 0; i < 25; ++i) content += "2023-01-02 10:00:01,x\n";
  content += "2023-01-02 10:00:02,1.2\n";
  const Outcome run =
      Convert({"--format", "time,price", WriteFile("in.csv", content), Path("out.txt")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "25 unreadable lines left out\n"));
  EXPECT_TRUE(Has(run.err, "  line 11: "));
  EXPECT_FALSE(Has(run.err, "  line 12: "));
  EXPECT_TRUE(Has(run.err, "  ... and 15 more\n"));
}

TEST_F(LinesTest, LayoutsThatCannotBeToldAskForFormat) {
  const std::string ambiguous =
      "01/02/2023 10:00,1.1,1.101,1.099,1.1005\n02/03/2023 10:00,1.1,1.101,1.099,1.1005\n";
  struct Case {
    std::string content;
    std::vector<std::string> options;
    std::string err;
  } cases[] = {
      {ambiguous,
       {},
       "cannot tell the layout: the dates read both as 'DD/MM/YYYY HH:MM' and as "
       "'MM/DD/YYYY HH:MM'"},
      {ambiguous, {}, "name it, for example: --format 'time=DD/MM/YYYY HH:MM,open,high,low,close'"},
      {"a,b,c\n1,2,3\n4,5,6\n", {}, "cannot tell the layout: no column reads as a time stamp"},
      {"2023-01-02 10:00:00,1.1,1.101\n2023-01-02 10:00:01,1.101,1.1\n",
       {},
       "neither stays below the other"},
      {"2023-01-02 10:00:00,x,y\n", {}, "no column of prices"},
      {"2023-01-02 10:00:00,1.1\n", {"--format", "time,bit"}, "--format: unknown column 'bit'"},
      {"2023-01-02 10:00:00,1.1\n", {"--format", "time=YYYY-MM-DD hh:mm,price"}, "has 'h'"},
      {"2023-01-02 10:00:00,1.1\n", {"--format", "time,open,close"}, "bars need all of"},
      {"2023-01-02 10:00:00,1.1\n", {"--separator", "x"}, "--separator"},
      {"2023-01-02 10:00:00,1.1\n", {"--timeframe", "M0"}, "--timeframe"},
      {"2023-01-02 10:00:00,1.1\n", {"--to", "candles"}, "--to"},
      {"", {}, "no lines"},
      {"Time,Bid\n", {}, "no data lines after the header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    std::vector<std::string> args = c.options;
    args.push_back(WriteFile("in.csv", c.content));
    args.push_back(Path("out.txt"));
    const Outcome run = Convert(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_TRUE(Has(run.err, c.err)) << run.err;
    EXPECT_FALSE(std::filesystem::exists(Path("out.txt")));
  }
  // Named, the same file converts: days first here.
  const Outcome named = Convert({"--format", "time=DD/MM/YYYY HH:MM,open,high,low,close",
                                 WriteFile("in.csv", ambiguous), Path("out.txt")});
  ASSERT_EQ(named.status, 0) << named.err;
  EXPECT_EQ(Lines(Slurp(Path("out.txt")))[0], "20230201 110000;1.1");
  EXPECT_EQ(Lines(Slurp(Path("out.txt")))[4], "20230302 110000;1.1");
}

TEST_F(LinesTest, StandardInputAndOutput) {
  const Outcome run = Convert({"-", "-"}, {}, "Time,Price\n2023-01-02 10:00:00,1.25\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "20230102 110000;1.25\n");
  EXPECT_TRUE(Has(run.err, "kmr-convert: -: price ticks, header line"));
  EXPECT_TRUE(Has(run.err, "wrote 1 line to standard output"));
  const Outcome quiet = Convert({"--quiet", "-", "-"}, {}, "2023-01-02 10:00:00,1.25\n");
  EXPECT_EQ(quiet.out, "20230102 110000;1.25\n");
  EXPECT_EQ(quiet.err, "");
}

TEST_F(LinesTest, FilesNewestFirstAreRefusedWithAWayOut) {
  const Outcome run = Convert({WriteFile("in.csv",
                                         "2023-01-02 10:00:03,1.3\n2023-01-02 10:00:02,1.2\n"
                                         "2023-01-02 10:00:01,1.1\n"),
                               Path("out.txt")});
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(Has(run.err, "the lines run backwards in time (newest first)")) << run.err;
  EXPECT_TRUE(Has(run.err, "tac")) << run.err;
}

TEST_F(LinesTest, AnOutputThatCannotBeWrittenExitsWith1) {
  const std::string in = WriteFile("in.csv", "2023-01-02 10:00:00,1.25\n");
  for (const std::string& out : {Path("missing/out.txt"), dir_}) {
    const Outcome run = Convert({in, out});
    EXPECT_EQ(run.status, 1) << out;
    EXPECT_TRUE(Has(run.err, "cannot write")) << run.err;
  }
  const Outcome missing = Convert({Path("none.csv"), Path("out.txt")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(Has(missing.err, Path("none.csv") + ": cannot open: "));
}

}  // namespace
}  // namespace kmr::test
