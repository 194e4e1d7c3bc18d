#include "tests/convert/fixtures.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <random>

namespace kmr::test {

namespace {

std::string Format(const char* format, ...) {
  char text[512];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  return text;
}

struct Fields {
  int year, month, day, hour, minute, second, millis;
};

Fields UtcFields(std::int64_t millis) {
  const std::int64_t seconds = millis >= 0 ? millis / 1000 : (millis - 999) / 1000;
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return {tm.tm_year + 1900,
          tm.tm_mon + 1,
          tm.tm_mday,
          tm.tm_hour,
          tm.tm_min,
          tm.tm_sec,
          static_cast<int>(millis - seconds * 1000)};
}

Fields BarFields(const Bar& bar) {
  return UtcFields(bar.time * 1000);
}

std::string P(int points) {
  return PointsText(points);
}

constexpr std::int64_t kTicksStart = 1672654500123;  // 2023-01-02 10:15:00.123 UTC

// --- Tick layouts ---

std::string TicksHeaderDotted() {
  std::string text = "Time,Bid,Ask,Volume\n";
  int i = 0;
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis);
    text +=
        Format("%04d.%02d.%02d %02d:%02d:%02d.%03d,%s,%s,%d.5\n", f.year, f.month, f.day, f.hour,
               f.minute, f.second, f.millis, P(t.bid).c_str(), P(t.ask).c_str(), 1 + i++ % 4);
  }
  return text;
}

std::string TicksSymbolCompact() {
  std::string text;
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis);
    text += Format("EUR/USD,%04d%02d%02d %02d:%02d:%02d.%03d,%s,%s\n", f.year, f.month, f.day,
                   f.hour, f.minute, f.second, f.millis, P(t.bid).c_str(), P(t.ask).c_str());
  }
  return text;
}

std::string TicksMillisSemicolon() {
  std::string text;
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis);
    text += Format("%04d%02d%02d %02d%02d%02d%03d;%s;%s;0\n", f.year, f.month, f.day, f.hour,
                   f.minute, f.second, f.millis, P(t.bid).c_str(), P(t.ask).c_str());
  }
  return text;
}

// Only what changed, as some platforms export ticks: an unchanged bid or ask is left empty.
std::string TicksSplitTabCarry() {
  std::string text = "<DATE>\t<TIME>\t<BID>\t<ASK>\t<LAST>\t<VOLUME>\t<FLAGS>\n";
  const std::vector<Tick> ticks = SampleTicks();
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    const Tick& t = ticks[i];
    const Fields f = UtcFields(t.millis);
    const bool bidSame = i > 0 && ticks[i - 1].bid == t.bid;
    const bool askSame = i > 0 && ticks[i - 1].ask == t.ask && !bidSame;
    text += Format("%04d.%02d.%02d\t%02d:%02d:%02d.%03d\t%s\t%s\t\t\t%d\n", f.year, f.month, f.day,
                   f.hour, f.minute, f.second, f.millis, bidSame ? "" : P(t.bid).c_str(),
                   askSame ? "" : P(t.ask).c_str(), 2 + 4 * !bidSame);
  }
  return text;
}

std::string TicksIsoZ() {
  std::string text = "timestamp,bid,ask\n";
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis);
    text += Format("%04d-%02d-%02dT%02d:%02d:%02d.%03dZ,%s,%s\n", f.year, f.month, f.day, f.hour,
                   f.minute, f.second, f.millis, P(t.bid).c_str(), P(t.ask).c_str());
  }
  return text;
}

std::string TicksIsoOffset() {
  std::string text;
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis + 2 * 3600 * 1000);
    text += Format("%04d-%02d-%02dT%02d:%02d:%02d.%03d+02:00,%s,%s\n", f.year, f.month, f.day,
                   f.hour, f.minute, f.second, f.millis, P(t.bid).c_str(), P(t.ask).c_str());
  }
  return text;
}

std::string TicksUnixSeconds() {
  std::string text = "time,price\n";
  for (const Tick& t : SampleTicks())
    text += Format("%lld,%s\n", static_cast<long long>(t.millis / 1000), P(t.bid).c_str());
  return text;
}

std::string TicksUnixMillis() {
  std::string text = "ts,bid,ask\n";
  for (const Tick& t : SampleTicks())
    text += Format("%lld,%s,%s\n", static_cast<long long>(t.millis), P(t.bid).c_str(),
                   P(t.ask).c_str());
  return text;
}

std::string TicksAskFirstHeader() {
  std::string text = "Time (UTC),Ask,Bid,AskVolume,BidVolume\n";
  int i = 0;
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis);
    text += Format("%02d.%02d.%04d %02d:%02d:%02d.%03d,%s,%s,%d.25,%d.75\n", f.day, f.month, f.year,
                   f.hour, f.minute, f.second, f.millis, P(t.ask).c_str(), P(t.bid).c_str(),
                   1 + i % 3, 2 + i % 5);
    ++i;
  }
  return text;
}

std::string TicksAskBidNoHeader() {
  std::string text;
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis);
    text += Format("%04d-%02d-%02d %02d:%02d:%02d.%03d,%s,%s\n", f.year, f.month, f.day, f.hour,
                   f.minute, f.second, f.millis, P(t.ask).c_str(), P(t.bid).c_str());
  }
  return text;
}

// UTF-16, little end first, with its byte order mark and Windows line ends.
std::string TicksUtf16() {
  std::string ascii = "Time,Bid,Ask\r\n";
  for (const Tick& t : SampleTicks()) {
    const Fields f = UtcFields(t.millis);
    ascii += Format("%04d.%02d.%02d %02d:%02d:%02d.%03d,%s,%s\r\n", f.year, f.month, f.day, f.hour,
                    f.minute, f.second, f.millis, P(t.bid).c_str(), P(t.ask).c_str());
  }
  std::string text = "\xFF\xFE";
  for (char c : ascii) text += c, text += '\0';
  return text;
}

// --- Bar layouts ---

std::string BarsSplitComma() {
  std::string text;
  for (const Bar& b : MinuteBars()) {
    const Fields f = BarFields(b);
    text += Format("%04d.%02d.%02d,%02d:%02d,%s,%s,%s,%s,%d\n", f.year, f.month, f.day, f.hour,
                   f.minute, P(b.open).c_str(), P(b.high).c_str(), P(b.low).c_str(),
                   P(b.close).c_str(), b.volume);
  }
  return text;
}

std::string BarsMt5Tab() {
  std::string text = "<DATE>\t<TIME>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>\t<TICKVOL>\t<VOL>\t<SPREAD>\n";
  for (const Bar& b : MinuteBars()) {
    const Fields f = BarFields(b);
    text += Format("%04d.%02d.%02d\t%02d:%02d:%02d\t%s\t%s\t%s\t%s\t%d\t0\t%d\n", f.year, f.month,
                   f.day, f.hour, f.minute, f.second, P(b.open).c_str(), P(b.high).c_str(),
                   P(b.low).c_str(), P(b.close).c_str(), b.volume, 5 + b.volume % 7);
  }
  return text;
}

std::string BarsCompactSemicolon() {
  std::string text;
  for (const Bar& b : MinuteBars()) {
    const Fields f = BarFields(b);
    text += Format("%04d%02d%02d %02d%02d%02d;%s;%s;%s;%s;%d\n", f.year, f.month, f.day, f.hour,
                   f.minute, f.second, P(b.open).c_str(), P(b.high).c_str(), P(b.low).c_str(),
                   P(b.close).c_str(), b.volume);
  }
  return text;
}

std::string BarsDashedHeader() {
  std::string text = "datetime,open,high,low,close,volume\n";
  for (const Bar& b : MinuteBars()) {
    const Fields f = BarFields(b);
    text += Format("%04d-%02d-%02d %02d:%02d:%02d,%s,%s,%s,%s,%d\n", f.year, f.month, f.day, f.hour,
                   f.minute, f.second, P(b.open).c_str(), P(b.high).c_str(), P(b.low).c_str(),
                   P(b.close).c_str(), b.volume);
  }
  return text;
}

std::string BarsHourUsDates() {
  std::string text = "Date,Time,Open,High,Low,Close\n";
  for (const Bar& b : HourBars()) {
    const Fields f = BarFields(b);
    text +=
        Format("%02d/%02d/%04d,%02d:%02d,%s,%s,%s,%s\n", f.month, f.day, f.year, f.hour, f.minute,
               P(b.open).c_str(), P(b.high).c_str(), P(b.low).c_str(), P(b.close).c_str());
  }
  return text;
}

std::string BarsDaily() {
  std::string text = "Date,Open,High,Low,Close,Volume\n";
  for (const Bar& b : DayBars()) {
    const Fields f = BarFields(b);
    text += Format("%04d-%02d-%02d,%s,%s,%s,%s,%d\n", f.year, f.month, f.day, P(b.open).c_str(),
                   P(b.high).c_str(), P(b.low).c_str(), P(b.close).c_str(), b.volume);
  }
  return text;
}

std::string BarsDecimalComma() {
  std::string text;
  for (const Bar& b : MinuteBars()) {
    const Fields f = BarFields(b);
    text +=
        Format("%02d.%02d.%04d %02d:%02d;%s;%s;%s;%s\n", f.day, f.month, f.year, f.hour, f.minute,
               PointsText(b.open, 5, true).c_str(), PointsText(b.high, 5, true).c_str(),
               PointsText(b.low, 5, true).c_str(), PointsText(b.close, 5, true).c_str());
  }
  return text;
}

// Bars from a walk: `step(i)` is the close's move, `wick(i)` how far high and low reach out.
template <typename Step, typename Wick>
std::vector<Bar> Walk(std::int64_t start, std::int32_t length, int count, int price, Step step,
                      Wick wick, bool weekdaysOnly = false) {
  std::vector<Bar> bars;
  std::int64_t time = start;
  for (int i = 0; i < count; ++i) {
    if (weekdaysOnly)
      while ((time / 86400 + 4) % 7 >= 5) time += 86400;  // 1970-01-01 was a Thursday
    Bar b;
    b.time = time;
    b.open = price;
    b.close = price + step(i);
    b.high = std::max(b.open, b.close) + wick(i);
    b.low = std::min(b.open, b.close) - wick(i + 3);
    b.volume = 10 + (i * 13) % 90;
    bars.push_back(b);
    price = b.close;
    time += length;
  }
  return bars;
}

}  // namespace

std::vector<Tick> SampleTicks() {
  std::vector<Tick> ticks;
  std::int64_t millis = kTicksStart;
  int bid = 106700;
  for (int i = 0; i < 20; ++i) {
    ticks.push_back({millis, bid, bid + 1 + (i * 5) % 3});
    // Every tick in a second of its own, so that whole-second stamps keep them all.
    millis += 1001 + (i * 7919) % 2500;
    bid += (i * 37) % 7 - 3;
  }
  return ticks;
}

std::vector<Bar> MinuteBars() {
  // Rising, falling and unchanged bars.
  return Walk(
      1672653600, 60, 12, 106700, [](int i) { return (i * 5) % 9 - 4; },
      [](int i) { return (i * 3) % 4; });
}

std::vector<Bar> HourBars() {
  return Walk(
      1673553600, 3600, 30, 107230, [](int i) { return (i * 11) % 41 - 20; },
      [](int i) { return 3 + (i * 7) % 9; });
}

std::vector<Bar> DayBars() {
  return Walk(
      1672617600, 86400, 8, 106650, [](int i) { return (i * 29) % 121 - 60; },
      [](int i) { return 10 + (i * 17) % 31; }, true);
}

std::vector<Bar> RandomMinuteBars(int n) {
  std::mt19937 random(15);
  std::vector<int> steps(static_cast<std::size_t>(n)), wicks(static_cast<std::size_t>(n) + 3);
  for (int& s : steps) s = static_cast<int>(random() % 61) - 30;
  for (int& w : wicks) w = static_cast<int>(random() % 20);
  return Walk(
      1672617600, 60, n, 110000, [&](int i) { return steps[static_cast<std::size_t>(i)]; },
      [&](int i) { return wicks[static_cast<std::size_t>(i)]; });
}

std::string PointsText(int points, int decimals, bool comma) {
  int scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const bool negative = points < 0;
  const int size = negative ? -points : points;
  return Format("%s%d%c%0*d", negative ? "-" : "", size / scale, comma ? ',' : '.', decimals,
                size % scale);
}

std::string ShortestText(int points) {
  std::string text = PointsText(points);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string LocalStamp(std::int64_t utc) {
  const std::time_t t = static_cast<std::time_t>(utc);
  std::tm tm{};
  localtime_r(&t, &tm);
  return Format("%04d%02d%02d %02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
}

std::string ExpectedTicks(const std::vector<Tick>& ticks, bool withAsk) {
  std::string text;
  for (const Tick& t : ticks) {
    text += LocalStamp(t.millis / 1000) + ";" + ShortestText(t.bid);
    if (withAsk) text += ";" + ShortestText(t.ask);
    text += "\n";
  }
  return text;
}

std::string ExpectedBarTicks(const std::vector<Bar>& bars, std::int32_t length) {
  std::string text;
  for (std::size_t i = 0; i < bars.size(); ++i) {
    const Bar& b = bars[i];
    const std::int64_t span =
        i + 1 < bars.size() ? std::min<std::int64_t>(length, bars[i + 1].time - b.time) : length;
    const bool rising = b.close >= b.open;
    const int prices[4] = {b.open, rising ? b.low : b.high, rising ? b.high : b.low, b.close};
    const std::int64_t times[4] = {b.time, b.time + span / 3, b.time + 2 * span / 3,
                                   b.time + span - 1};
    for (int k = 0; k < 4; ++k) text += LocalStamp(times[k]) + ";" + ShortestText(prices[k]) + "\n";
  }
  return text;
}

std::string ExpectedBars(const std::vector<Bar>& bars) {
  std::string text;
  for (const Bar& b : bars)
    text += LocalStamp(b.time) + ";" + ShortestText(b.open) + ";" + ShortestText(b.high) + ";" +
            ShortestText(b.low) + ";" + ShortestText(b.close) + "\n";
  return text;
}

const std::vector<Fixture>& Fixtures() {
  using S = Series;
  static const std::vector<Fixture> fixtures = {
      {"ticks_header_dotted.csv",
       "--format 'time=YYYY.MM.DD HH:MM:SS.fff,bid,ask,volume' --separator ',' --header",
       "bid/ask ticks, header line", S::kTicks, TicksHeaderDotted},
      {"ticks_symbol_compact.csv",
       "--format '-,time=YYYYMMDD HH:MM:SS.fff,bid,ask' --separator ',' --no-header",
       "bid/ask ticks, no header line", S::kTicks, TicksSymbolCompact},
      {"ticks_millis_semicolon.csv",
       "--format 'time=YYYYMMDD HHMMSSmmm,bid,ask,volume' --separator ';' --no-header",
       "bid/ask ticks, no header line", S::kTicks, TicksMillisSemicolon},
      {"ticks_split_tab_changes.tsv",
       "--format 'date=YYYY.MM.DD,time=HH:MM:SS.fff,bid,ask,-,volume' --separator tab --header",
       "bid/ask ticks, header line", S::kTicks, TicksSplitTabCarry},
      {"ticks_iso_z.csv",
       "--format 'time=YYYY-MM-DDTHH:MM:SS.fffZ,bid,ask' --separator ',' --header",
       "bid/ask ticks, header line", S::kTicks, TicksIsoZ},
      {"ticks_iso_offset.csv",
       "--format 'time=YYYY-MM-DDTHH:MM:SS.fffZ,bid,ask' --separator ',' --no-header",
       "bid/ask ticks, no header line", S::kTicks, TicksIsoOffset},
      {"ticks_unix_seconds.csv", "--format 'time=unix,price' --separator ',' --header",
       "price ticks, header line", S::kPrices, TicksUnixSeconds},
      {"ticks_unix_millis.csv", "--format 'time=unix-ms,bid,ask' --separator ',' --header",
       "bid/ask ticks, header line", S::kTicks, TicksUnixMillis},
      {"ticks_ask_first_header.csv",
       "--format 'time=DD.MM.YYYY HH:MM:SS.fff,ask,bid,volume,volume' --separator ',' --header",
       "bid/ask ticks, header line", S::kTicks, TicksAskFirstHeader},
      {"ticks_ask_bid_no_header.csv",
       "--format 'time=YYYY-MM-DD HH:MM:SS.fff,ask,bid' --separator ',' --no-header",
       "bid/ask ticks, no header line", S::kTicks, TicksAskBidNoHeader},
      {"ticks_utf16.csv",
       "--format 'time=YYYY.MM.DD HH:MM:SS.fff,bid,ask' --separator ',' --header",
       "bid/ask ticks, header line", S::kTicks, TicksUtf16},
      {"bars_split_comma.csv",
       "--format 'date=YYYY.MM.DD,time=HH:MM,open,high,low,close,volume' --separator ',' "
       "--no-header",
       "bars of 1 minute, no header line", S::kMinuteBars, BarsSplitComma},
      {"bars_mt_tab.tsv",
       "--format 'date=YYYY.MM.DD,time=HH:MM:SS.fff,open,high,low,close,volume,volume' "
       "--separator tab --header",
       "bars of 1 minute, header line", S::kMinuteBars, BarsMt5Tab},
      {"bars_compact_semicolon.csv",
       "--format 'time=YYYYMMDD HHMMSS,open,high,low,close,volume' --separator ';' --no-header",
       "bars of 1 minute, no header line", S::kMinuteBars, BarsCompactSemicolon},
      {"bars_dashed_header.csv",
       "--format 'time=YYYY-MM-DD HH:MM:SS.fff,open,high,low,close,volume' --separator ',' "
       "--header",
       "bars of 1 minute, header line", S::kMinuteBars, BarsDashedHeader},
      {"bars_hour_us_dates.csv",
       "--format 'date=MM/DD/YYYY,time=HH:MM,open,high,low,close' --separator ',' --header",
       "bars of 1 hour, header line", S::kHourBars, BarsHourUsDates},
      {"bars_daily.csv",
       "--format 'time=YYYY-MM-DD,open,high,low,close,volume' --separator ',' --header",
       "bars of 1 day, header line", S::kDayBars, BarsDaily},
      {"bars_decimal_comma.csv",
       "--format 'time=DD.MM.YYYY HH:MM,open,high,low,close' --separator ';' --no-header "
       "--decimal-comma",
       "bars of 1 minute, no header line", S::kMinuteBars, BarsDecimalComma},
  };
  return fixtures;
}

std::string ExpectedOutput(const Fixture& fixture) {
  switch (fixture.series) {
    case Series::kTicks:
      return ExpectedTicks(SampleTicks(), true);
    case Series::kPrices:
      return ExpectedTicks(SampleTicks(), false);
    case Series::kMinuteBars:
      return ExpectedBarTicks(MinuteBars(), 60);
    case Series::kHourBars:
      return ExpectedBarTicks(HourBars(), 3600);
    case Series::kDayBars:
      return ExpectedBarTicks(DayBars(), 86400);
  }
  return {};
}

}  // namespace kmr::test
