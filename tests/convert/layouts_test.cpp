// Every layout kmr-convert reads: detected, converted to exactly the tester's lines, the
// layout it prints taken back as options, and the result replayed by kmr-replay.
#include "tests/convert/fixtures.h"
#include "tests/convert/programs.h"

namespace kmr::test {
namespace {

class LayoutsTest : public FolderTest {};

// "YYYY-MM-DD HH:MM:SS" of a tester line's stamp, for --history-till.
std::string TillOf(const std::string& line) {
  return line.substr(0, 4) + "-" + line.substr(4, 2) + "-" + line.substr(6, 2) + " " +
         line.substr(9, 2) + ":" + line.substr(11, 2) + ":" + line.substr(13, 2);
}

TEST_F(LayoutsTest, EachLayoutIsFoundConvertedAndReplayed) {
  for (const Fixture& fixture : Fixtures()) {
    SCOPED_TRACE(fixture.file);
    const std::string in = kConvertData + "/" + fixture.file;
    const std::string out = Path("out.txt");
    const Outcome run = Convert({in, out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Has(run.err, "kmr-convert: " + in + ": " + fixture.kind + ", separator "))
        << run.err;
    EXPECT_TRUE(Has(run.err, std::string("kmr-convert: layout: ") + fixture.layout + "\n"))
        << run.err;
    const std::string expected = ExpectedOutput(fixture);
    EXPECT_EQ(Slurp(out), expected);

    // The printed layout, given back, reads the file the same way.
    const std::string again = Path("again.txt");
    const Outcome named =
        RunProgram("/bin/sh", {{"-c", std::string("'") + KMR_CONVERT_PROGRAM + "' " +
                                          fixture.layout + " '" + in + "' '" + again + "'"},
                               {},
                               {}});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(Slurp(again), expected);

    const std::vector<std::string> lines = Lines(expected);
    std::vector<std::string> args = {"--json",         "--tick-size",    "0.00001",
                                     "--history-till", TillOf(lines[2]), out};
    if (fixture.series == Series::kTicks) args.insert(args.begin(), {"--quotes", "bid-ask"});
    const Outcome replay = Replay(args);
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_TRUE(Has(replay.out, "\"lines\": " + std::to_string(lines.size()) + ",")) << replay.out;
    EXPECT_TRUE(Has(replay.out, "\"historyLines\": 3,")) << replay.out;
  }
}

}  // namespace
}  // namespace kmr::test
