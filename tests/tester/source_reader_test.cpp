#include "tester/source/source_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>

#include "tester/settings/text_convert.h"
#include "tests/tester/test_support.h"

namespace kmr::test {
namespace {

class SourceReaderTest : public TesterTest {
 protected:
  // Reads one line of a one-line file; the error text when it is invalid.
  std::string ReadOne(const std::string& content, SourceLine& line) {
    SourceReader reader;
    EXPECT_TRUE(reader.Open(WriteFile("one.txt", content)));
    try {
      EXPECT_TRUE(reader.ReadLine(line));
    } catch (const SourceError& error) {
      return error.message();
    }
    return {};
  }
};

TEST_F(SourceReaderTest, ValidLines) {
  const std::int32_t noon = LocalTime(2023, 8, 23, 12, 34, 56);
  struct Case {
    const char* content;
    double price;
    std::int32_t time;
  } cases[] = {
      {"20230823 123456 1234567;1.08543;1.08550;10\n", 1.08543, noon},
      {"20230823 123456;1.08543", 1.08543, noon},      // no line end at all
      {"20230823 123456;1.08543\r\n", 1.08543, noon},  // CR before LF dropped
      {"20230823 123456\n", 20230823.0, noon},         // no ';': the whole line
      {"20230823 123456;\n", 0.0, noon},               // empty price field
      {"20230823 123456;abc\n", 0.0, noon},            // not a number
      {"20230823 123456;  -1.5e2x\n", -150.0, noon},   // strtod's leading part
      {"20230823 123456;0x10\n", 16.0, noon},          // and its hex form
      {"20230823T123456;2\n", 2.0, noon},              // char 9 is anything
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    SourceLine line;
    EXPECT_EQ(ReadOne(c.content, line), "");
    EXPECT_EQ(line.price, c.price);
    EXPECT_EQ(line.time, c.time);
  }
}

TEST_F(SourceReaderTest, FieldsAreCharacterCodeArithmetic) {
  // Exactly 14 characters: the missing 15th counts as code 0, so the seconds are 10*5 - 48 = 2.
  SourceLine line;
  EXPECT_EQ(ReadOne("20230823 12345\n", line), "");
  EXPECT_EQ(line.time, LocalTime(2023, 8, 23, 12, 34, 2));
  EXPECT_EQ(line.price, 20230823.0);
  // No digit check: ':' (code 58) in the day gives 10*3 + 10 = 40, out of range.
  EXPECT_NE(ReadOne("2023083: 123456;1\n", line), "");
  // Day 31 in a 30-day month is passed on and normalised like mktime does.
  EXPECT_EQ(ReadOne("20230431 000000;1\n", line), "");
  EXPECT_EQ(line.time, LocalTime(2023, 5, 1, 0, 0, 0));
}

TEST_F(SourceReaderTest, CarriageReturnEndingTheFileEndsTheLastLine) {
  // A 14-character line's seconds read the missing 15th character as code 0; a carriage return
  // there is the line's end, not its 15th character, with or without the final line feed. The
  // non-digit minute bytes give minutes of -1138, normalised from the day before, when the
  // clocks in Zurich went forward.
  const std::string line14 =
      "19960401 00\xC8\xCE"
      "4";
  SourceLine withLineFeed, atTheEnd;
  EXPECT_EQ(ReadOne(line14 + "\r\n", withLineFeed), "");
  EXPECT_EQ(ReadOne(line14 + "\r", atTheEnd), "");
  EXPECT_EQ(atTheEnd.time, withLineFeed.time);
  EXPECT_EQ(atTheEnd.time, LineTimeConverter().Convert(LineFields(line14)));
  EXPECT_EQ(atTheEnd.time, LocalTime(1996, 4, 1, 0, -1138, -8));
  SourceLine empty;
  EXPECT_NE(ReadOne("\r", empty), "");  // an empty line, too short
}

TEST_F(SourceReaderTest, InvalidLinesNameFileAndLineAndTheReaderGoesOn) {
  const std::string path = WriteFile("bad.txt",
                                     "Date;Price\n"           // 1: header
                                     "20230823 123456;1.1\n"  // 2
                                     "20231323 123456;1.2\n"  // 3: month 13
                                     "2023082 1234\n"         // 4: 12 characters
                                     "\n"                     // 5: empty
                                     "19691231 235959;1.3\n"  // 6: before 1970
                                     "20230823 243456;1.4\n"  // 7: hour 24
                                     "20230823 126056;1.5\n"  // 8: minute 60
                                     "20230823 123460;1.6\n"  // 9: second 60
                                     "20230800 123456;1.7\n"  // 10: day 0
                                     "20380119 041408;1.8\n"  // 11: after 2038-01-19 03:14:07 UTC
                                     "20230823 123457;1.9\r\n");  // 12
  SourceReader reader;
  ASSERT_TRUE(reader.Open(path));
  std::vector<long> errorLines;
  std::vector<double> prices;
  SourceLine line;
  for (;;) {
    try {
      if (!reader.ReadLine(line)) break;
      prices.push_back(line.price);
    } catch (const SourceError& error) {
      errorLines.push_back(error.line());
      EXPECT_EQ(error.file(), path);
      EXPECT_EQ(
          std::string(error.what()).rfind(path + ":" + std::to_string(error.line()) + ": ", 0), 0u);
      if (error.line() == 3) {
        EXPECT_EQ(reader.LastPrice(), 1.2);  // updated before the date check
      }
      if (error.line() == 4) {
        EXPECT_EQ(reader.LastPrice(), 1.2);  // a short line is no price
      }
    }
  }
  EXPECT_EQ(errorLines, (std::vector<long>{1, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(prices, (std::vector<double>{1.1, 1.9}));
  EXPECT_FALSE(reader.IsOpen());  // the end of the file closes it
  EXPECT_EQ(reader.LastTickTime(), LocalTime(2023, 8, 23, 12, 34, 57));
}

TEST_F(SourceReaderTest, TheAskIsReadOnlyWhenAskedForAndMustThenBeANumber) {
  const std::string path = WriteFile("quotes.txt",
                                     "20230823 123456;1.08543;1.0855\n"      // 1
                                     "20230823 123457;1.08544;1.08551;10\n"  // 2: more fields
                                     "20230823 123458;1.08545\n"             // 3: no ask
                                     "20230823 123459;1.08546;\n"            // 4: empty
                                     "20230823 123500;1.08547;abc\n"         // 5
                                     "20230823 123501;1.08548;nan\n"         // 6
                                     "20230823 123502;1.08549;1.1x\n"        // 7
                                     "20230823 123503;1.0855;1e-3\n"         // 8
                                     "20230823 123504;1.08551;0x1p0\n"       // 9
                                     "20231323 123505;1.08552;1.08559\n"     // 10: month 13
                                     "20230823 123506;1.08553;1.0856\n");    // 11
  for (bool readAsk : {false, true}) {
    SCOPED_TRACE(readAsk);
    SourceReader reader;
    reader.SetReadAsk(readAsk);
    ASSERT_TRUE(reader.Open(path));
    std::vector<long> errorLines;
    std::vector<double> asks;
    SourceLine line;
    for (;;) {
      try {
        if (!reader.ReadLine(line)) break;
        asks.push_back(line.ask);
      } catch (const SourceError& error) {
        errorLines.push_back(error.line());
        if (error.line() == 3) {
          EXPECT_EQ(std::string(error.what()),
                    path +
                        ":3: no valid ask in \"20230823 123458;1.08545\": bid/ask quotes "
                        "need lines \"YYYYMMDD HHMMSS;bid;ask\"");
        }
        if (error.line() == 10) {
          EXPECT_EQ(error.message().rfind("invalid date", 0), 0u);
        }
      }
    }
    if (readAsk) {
      EXPECT_EQ(errorLines, (std::vector<long>{3, 4, 5, 6, 7, 9, 10}));
      EXPECT_EQ(asks, (std::vector<double>{1.0855, 1.08551, 1e-3, 1.0856}));
    } else {
      EXPECT_EQ(errorLines, (std::vector<long>{10}));  // the third field is not looked at
      EXPECT_EQ(asks, std::vector<double>(10, 0.0));
    }
  }
}

TEST_F(SourceReaderTest, LastFittingSecondIsValid) {
  SourceLine line;
  EXPECT_EQ(ReadOne("20380119 041407;1\n", line), "");
  EXPECT_EQ(line.time, 0x7FFFFFFF);
}

TEST_F(SourceReaderTest, MissingFileDoesNotOpen) {
  SourceReader reader;
  EXPECT_FALSE(reader.Open(dir_ + "/missing.txt"));
  EXPECT_FALSE(reader.Open(dir_));  // a folder is no price file
  SourceLine line;
  EXPECT_FALSE(reader.ReadLine(line));
}

TEST_F(SourceReaderTest, LinesAcrossBufferBoundariesAndLongLines) {
  // More than one buffer of lines, one of them far longer than the buffer.
  std::string content;
  const int count = 120000;
  for (int i = 0; i < count; ++i) {
    content += "20230823 12" + std::string(i % 60 < 10 ? "0" : "") + std::to_string(i % 60) +
               "00;" + std::to_string(i) + "\n";
    if (i == 70000) content += "20230823 120000;" + std::string(3u << 20, '7') + ";x\n";
  }
  SourceReader reader;
  ASSERT_TRUE(reader.Open(WriteFile("big.txt", content)));
  SourceLine line;
  int read = 0;
  double sum = 0;
  while (reader.ReadLine(line)) {
    if (reader.LineNumber() == 70002) {
      EXPECT_TRUE(std::isinf(line.price));  // 3 MiB of digits: strtod's overflow
      continue;
    }
    sum += line.price;
    ++read;
  }
  EXPECT_EQ(read, count);
  EXPECT_EQ(sum, static_cast<double>(count) * (count - 1) / 2);
}

TEST_F(SourceReaderTest, CheckFileSummary) {
  SourceReader reader;
  bool opened = false;
  const std::string three =
      WriteFile("three.txt", "20230823 120000;1.2\n20230823 123000;1.1\r\n20230824 090000;1.3\n");
  EXPECT_EQ(CheckFile(reader, three, opened),
            "3 lines\r\nData range: 2023.08.23 12:00:00   -   2023.08.24 09:00:00\r\n"
            "Price range: 1.10000   -   1.30000");
  EXPECT_TRUE(opened);
  EXPECT_FALSE(reader.IsOpen());

  const std::string one = WriteFile("one.txt", "20230823 120000;1.2\n");
  EXPECT_EQ(CheckFile(reader, one, opened),
            "1 lines\r\nData range: 2023.08.23 12:00:00   -   2023.08.23 12:00:00\r\n"
            "Price range: 1.20000   -   1.20000");

  EXPECT_EQ(CheckFile(reader, WriteFile("empty.txt", ""), opened), "0 lines");
  EXPECT_TRUE(opened);

  EXPECT_EQ(CheckFile(reader, dir_ + "/none.txt", opened), "File cannot be open");
  EXPECT_FALSE(opened);

  const std::string bad = WriteFile("bad.txt", "20230823 120000;1.2\nDate;Price\n");
  EXPECT_THROW(CheckFile(reader, bad, opened), SourceError);
  EXPECT_FALSE(reader.IsOpen());  // an invalid line ends the check with the file closed
}

TEST(ParsePriceTest, AgreesWithStrtodBitForBit) {
  std::mt19937_64 random(42);
  std::vector<std::string> fields = {"0",
                                     "-0",
                                     "1.",
                                     ".5",
                                     "-.25",
                                     "007.1000",
                                     "1e5",
                                     "1E-3",
                                     "123456789012345",
                                     "1234567890123456",
                                     "0.1234567890123456789",
                                     "9007199254740993",
                                     "1.7976931348623157e308",
                                     "inf",
                                     "nan",
                                     "-",
                                     ".",
                                     "",
                                     " 1.5",
                                     "+2",
                                     "0x1p-3",
                                     "1.08543;",
                                     "4.2abc"};
  for (int i = 0; i < 20000; ++i) {
    const int digits = static_cast<int>(random() % 17) + 1;
    std::string number = std::to_string(random() % 100000);
    number += '.';
    for (int d = 0; d < digits; ++d) number += static_cast<char>('0' + random() % 10);
    fields.push_back(number);
  }
  for (const std::string& field : fields) {
    const double expected = TextToDouble(field);
    const double got = ParsePrice(field);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(got)) << field;
      continue;
    }
    EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << field << " " << got;
  }
}

TEST(LineTimeTest, CachedConversionMatchesMktimeAcrossDaylightSaving) {
  // Every 7 minutes (and odd seconds) over the spring and autumn changes, in both directions.
  for (int month : {3, 10}) {
    for (bool backwards : {false, true}) {
      LineTimeConverter converter;
      std::vector<LocalDateTime> steps;
      for (int day = 24; day <= 31; ++day)
        for (int minute = 0; minute < 24 * 60; minute += 7)
          steps.push_back({2023, month, day, minute / 60, minute % 60, (minute * 13) % 60});
      if (backwards) std::reverse(steps.begin(), steps.end());
      for (const LocalDateTime& f : steps) {
        const std::optional<std::int32_t> cached = converter.Convert(f);
        std::optional<std::int32_t> direct = LocalToTime32(f);
        // In the hour the clocks go back mktime follows the calls before it (read backwards it
        // takes the winter instant); a line time is the first instant, summer time, either way.
        if (month == 10 && f.day == 29 && f.hour == 2)
          direct = *LocalToTime32({2023, 10, 29, 1, f.minute, f.second}) + 3600;
        ASSERT_TRUE(cached && direct);
        ASSERT_EQ(*cached, *direct) << f.day << " " << f.hour << ":" << f.minute;
      }
    }
  }
}

}  // namespace
}  // namespace kmr::test
