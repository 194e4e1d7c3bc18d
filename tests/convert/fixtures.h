// The price files of tests/data/convert, one for each layout kmr-convert reads, written here
// from a few known series of ticks and bars, and what kmr-convert must make of each. The files
// are committed so that they can be looked at and tried; a test checks that they are what this
// generator writes (KMR_RECORD_FIXTURES=1 rewrites them).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kmr::test {

// Prices in points of 0.00001.
struct Tick {
  std::int64_t millis;  // UTC
  int bid, ask;
};
struct Bar {
  std::int64_t time;  // UTC seconds, the bar's start
  int open, high, low, close;
  int volume;
};

std::vector<Tick> SampleTicks();           // 20 ticks from 2023-01-02 10:15:00.123 UTC
std::vector<Bar> MinuteBars();             // 12 bars of a minute from 2023-01-02 10:00 UTC
std::vector<Bar> HourBars();               // 30 bars of an hour from 2023-01-12 20:00 UTC
std::vector<Bar> DayBars();                // 8 days (weekdays) from 2023-01-02
std::vector<Bar> RandomMinuteBars(int n);  // a longer random walk from 2023-01-02 00:00 UTC

// "1.06700" (`decimals` digits, a ',' for `comma`).
std::string PointsText(int points, int decimals = 5, bool comma = false);
// The shortest text of the price: "1.067".
std::string ShortestText(int points);
// The tester's "YYYYMMDD HHMMSS" of UTC seconds on the local clock (localtime_r, TZ).
std::string LocalStamp(std::int64_t utc);

enum class Series { kTicks, kPrices, kMinuteBars, kHourBars, kDayBars };

struct Fixture {
  const char* file;    // under tests/data/convert
  const char* layout;  // the layout kmr-convert finds, as the options it prints
  const char* kind;    // its first summary line after the file name, up to the separator
  Series series;
  std::string (*write)();
};

const std::vector<Fixture>& Fixtures();

// The tester's lines for a series: ticks as "stamp;bid;ask" (or ";price"), bars as their four
// prices in the engine's order, at their start, a third and two thirds in and their last second.
std::string ExpectedTicks(const std::vector<Tick>& ticks, bool withAsk);
std::string ExpectedBarTicks(const std::vector<Bar>& bars, std::int32_t length);
std::string ExpectedOutput(const Fixture& fixture);
// "stamp;open;high;low;close" lines, as kmr-convert --to bars writes them.
std::string ExpectedBars(const std::vector<Bar>& bars);

}  // namespace kmr::test
