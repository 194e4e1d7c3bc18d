#include "tester/convert/converter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tester/convert/bar_ticks.h"
#include "tester/convert/line_parse.h"
#include "tester/convert/output_file.h"
#include "tester/convert/tester_text.h"
#include "tester/convert/time_zone.h"
#include "tester/source/line_input.h"

namespace kmr {

namespace {

// The first lines read to find the layout.
constexpr std::size_t kSampleLines = 200;
constexpr std::size_t kSampleBytes = 1u << 20;
constexpr long kProgressLines = 16384;

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// "2023-01-02 10:00:00", of seconds on some clock.
std::string ClockText(std::int64_t seconds) {
  const std::int64_t day = FloorDiv(seconds, 86400);
  const std::int64_t second = seconds - day * 86400;
  int year, month, dayOfMonth;
  CivilFromDays(day, year, month, dayOfMonth);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, dayOfMonth,
                static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
                static_cast<int>(second % 60));
  return text;
}

std::string UtcText(std::int64_t millis) {
  std::string text = ClockText(FloorDiv(millis, 1000));
  const int rest = static_cast<int>(millis - FloorDiv(millis, 1000) * 1000);
  if (rest != 0) {
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", rest);
    text += fraction;
  }
  return text + " UTC";
}

std::string Shown(std::string_view text) {
  char shown[64];
  ShownText(text, 40, shown, sizeof shown);
  return std::string(shown) + (text.size() > 40 ? "..." : "");
}

bool IsBlank(std::string_view line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

struct Row {
  std::int64_t millis = 0;  // UTC
  double values[4] = {};
  long line = 0;
  std::uint64_t text = 0;  // a hash of the line's text
};

std::uint64_t TextHash(std::string_view text) {
  std::uint64_t hash = 14695981039346656037ull;
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return hash;
}

// Everything after the layout is known: the lines, one at a time, to the output.
class Pipeline {
 public:
  Pipeline(const Layout& layout, const ConvertOptions& options, const TimeZone& input,
           const TimeZone& output, OutputFile& out, ConvertReport& report)
      : layout_(layout),
        options_(options),
        inputZone_(input),
        inputClock_(input),
        outputClock_(output),
        out_(out),
        report_(report) {}

  void Line(std::string_view text, long number);
  void TooLong(long number) { Note(Issue::kUnreadable, number, "line too long"); }
  void Finish();

 private:
  void Note(Issue issue, long line, std::string text);
  void Order(const Row& row);
  void Emit(const Row& row);
  bool ToLocal(std::int64_t utc, long line, std::int64_t& local);
  void WriteTicks(const Row& row);
  void WriteBar(std::int64_t start, const double* ohlc, long line);
  void WriteBarTicks(const Row& bar, std::int32_t span);
  void Put(std::int64_t local, const double* values, int count);

  const Layout& layout_;
  const ConvertOptions& options_;
  const TimeZone& inputZone_;
  ZoneClock inputClock_;
  ZoneClock outputClock_;
  OutputFile& out_;
  ConvertReport& report_;
  StampText stamp_;

  // The last prices read, for lines that leave some empty.
  double carried_[2] = {};
  bool haveCarried_[2] = {};
  std::int64_t lastInput_ = std::numeric_limits<std::int64_t>::min();
  // One row is held back, so that a single line that jumps ahead of its neighbours is the one
  // kept out, not every line after it.
  Row pending_;
  bool havePending_ = false;
  std::int64_t lastEmitted_ = std::numeric_limits<std::int64_t>::min();
  bool haveEmitted_ = false;
  // Bars given as ticks wait for the next bar, whose start ends their span.
  Row bar_;
  bool haveBar_ = false;
  // Bars made from ticks.
  std::int64_t bucket_ = 0;  // on the tester's clock
  double ohlc_[4] = {};
  bool haveBucket_ = false;
  // The tester's clock as written last.
  std::int64_t lastLocal_ = 0;
  bool haveLocal_ = false;
  long foldedLine_ = 0;
};

void Pipeline::Note(Issue issue, long line, std::string text) {
  if (options_.strict &&
      (issue == Issue::kUnreadable || issue == Issue::kOutOfOrder || issue == Issue::kDuplicate))
    throw ConvertError(options_.input + ":" + std::to_string(line) + ": " + IssueName(issue) +
                       ": " + text + " (--strict)");
  const int kind = static_cast<int>(issue);
  if (static_cast<std::size_t>(report_.counts[kind]) < kListedPerIssue)
    report_.listed.push_back({line, issue, std::move(text)});
  ++report_.counts[kind];
}

void Pipeline::Line(std::string_view text, long number) {
  if (IsBlank(text)) return;
  PriceRecord record;
  std::string_view field;
  const LineFault fault = ReadPriceLine(text, layout_, record, field);
  if (fault != LineFault::kNone) {
    std::string why;
    switch (fault) {
      case LineFault::kTime:
        why = "the time stamp '" + Shown(field) + "' does not read as '" + layout_.time.Text() +
              (layout_.clockIndex >= 0 ? "' and '" + layout_.clock.Text() : std::string()) + "'";
        break;
      case LineFault::kPrice:
        why = "'" + Shown(field) + "' is not a price";
        break;
      default:
        why = LineFaultText(fault);
    }
    Note(Issue::kUnreadable, number, why + ": " + Shown(text));
    return;
  }
  Row row;
  row.line = number;
  row.text = TextHash(text);
  if (record.stamp.absolute) {
    row.millis = record.stamp.millis;
  } else {
    const std::int64_t seconds = FloorDiv(record.stamp.millis, 1000);
    const std::int64_t fraction = record.stamp.millis - seconds * 1000;
    std::int64_t utc[2];
    const int found = inputClock_.FromLocal(seconds, utc);
    if (found == 0) {
      Note(Issue::kUnreadable, number,
           "the local time " + ClockText(seconds) + " does not exist in " + inputZone_.Name() +
               " (the clocks went forward over it)");
      return;
    }
    // Of the two readings of a repeated hour, the one that keeps the lines in order.
    std::int64_t chosen = utc[0];
    if (found == 2 && utc[0] * 1000 + fraction < lastInput_) chosen = utc[1];
    row.millis = chosen * 1000 + fraction;
  }
  if (layout_.IsBars()) {
    std::copy(record.values, record.values + 4, row.values);
  } else {
    if (record.present == 0) {
      Note(Issue::kNoPrice, number, "no price: " + Shown(text));
      return;
    }
    const int prices = layout_.HasAsk() ? 2 : 1;
    for (int i = 0; i < prices; ++i) {
      if (record.present & (1u << i)) {
        carried_[i] = record.values[i];
        haveCarried_[i] = true;
      } else if (!haveCarried_[i]) {
        Note(Issue::kUnreadable, number,
             std::string("no ") + (i == 0 ? "bid" : "ask") + " yet: " + Shown(text));
        return;
      }
      row.values[i] = carried_[i];
    }
  }
  lastInput_ = row.millis;
  Order(row);
}

void Pipeline::Order(const Row& row) {
  if (!havePending_) {
    pending_ = row;
    havePending_ = true;
    return;
  }
  // A bar cannot start twice; a tick is a duplicate when its whole line is the one before
  // again (ticks of one stamp with other prices or volumes are ticks of their own).
  const bool sameTime = row.millis == pending_.millis;
  const bool repeated =
      row.text == pending_.text && std::equal(row.values, row.values + 2, pending_.values);
  if (row.millis > pending_.millis || (sameTime && !layout_.IsBars() && !repeated)) {
    Emit(pending_);
    pending_ = row;
    return;
  }
  if (sameTime) {
    Note(Issue::kDuplicate, row.line,
         layout_.IsBars() ? "a second bar at " + UtcText(row.millis)
                          : "the same line as line " + std::to_string(pending_.line) + " (" +
                                UtcText(row.millis) + ")");
    return;
  }
  // Earlier than the row held back: that row is the one out of order when this one follows
  // the rows before it.
  if (!haveEmitted_ || row.millis >= lastEmitted_) {
    Note(Issue::kOutOfOrder, pending_.line,
         UtcText(pending_.millis) + " jumps ahead of the lines after it (line " +
             std::to_string(row.line) + ": " + UtcText(row.millis) + ")");
    pending_ = row;
  } else {
    Note(Issue::kOutOfOrder, row.line,
         UtcText(row.millis) + " is earlier than line " + std::to_string(pending_.line) +
             " before it (" + UtcText(pending_.millis) + ")");
  }
}

void Pipeline::Emit(const Row& row) {
  ++report_.kept;
  lastEmitted_ = row.millis;
  haveEmitted_ = true;
  const std::int64_t second = FloorDiv(row.millis, 1000);
  if (!layout_.IsBars()) {
    if (options_.to == OutputKind::kTicks) {
      WriteTicks(row);
      return;
    }
    // Bars of ticks start on the tester's clock: days from its midnight.
    const std::int32_t length = options_.timeframe > 0 ? options_.timeframe : 60;
    std::int64_t local;
    if (!ToLocal(second, row.line, local)) return;
    const std::int64_t bucket = FloorDiv(local, length) * length;
    const double price = row.values[0];
    if (haveBucket_ && bucket == bucket_) {
      ohlc_[1] = std::max(ohlc_[1], price);
      ohlc_[2] = std::min(ohlc_[2], price);
      ohlc_[3] = price;
      return;
    }
    if (haveBucket_) Put(bucket_, ohlc_, 4);
    bucket_ = bucket, haveBucket_ = true;
    ohlc_[0] = ohlc_[1] = ohlc_[2] = ohlc_[3] = price;
    return;
  }
  if (options_.to == OutputKind::kBars) {
    WriteBar(second, row.values, row.line);
    return;
  }
  if (haveBar_) {
    const std::int64_t gap = second - FloorDiv(bar_.millis, 1000);
    WriteBarTicks(bar_, static_cast<std::int32_t>(std::min<std::int64_t>(layout_.barSeconds, gap)));
  }
  bar_ = row;
  haveBar_ = true;
}

void Pipeline::Finish() {
  if (havePending_) Emit(pending_);
  havePending_ = false;
  if (haveBar_) WriteBarTicks(bar_, layout_.barSeconds);
  haveBar_ = false;
  if (haveBucket_) Put(bucket_, ohlc_, 4);
  haveBucket_ = false;
}

bool Pipeline::ToLocal(std::int64_t utc, long line, std::int64_t& local) {
  if (utc > std::numeric_limits<std::int32_t>::max() || utc < 0) {
    Note(Issue::kUnreadable, line,
         UtcText(utc * 1000) + " is outside the times the tester reads (1970 to 2038-01-19)");
    return false;
  }
  local = utc + outputClock_.OffsetAt(utc);
  if (local < 0) {
    Note(Issue::kUnreadable, line, UtcText(utc * 1000) + " is before 1970 on the tester's clock");
    return false;
  }
  if (haveLocal_ && local < lastLocal_) {
    // The clocks went back: the tester cannot tell the repeated hour's two passes apart, so the
    // second pass is held at the last second written, and the output stays in time order as
    // the tester reads it.
    if (foldedLine_ != line)
      Note(Issue::kFolded, line,
           "written at " + ClockText(lastLocal_) + " instead of " + ClockText(local) +
               ", an hour that repeats on the tester's clock");
    foldedLine_ = line;
    local = lastLocal_;
  }
  lastLocal_ = local;
  haveLocal_ = true;
  return true;
}

void Pipeline::Put(std::int64_t local, const double* values, int count) {
  char* const start = out_.Reserve(16 + 4 * (kMaxPriceText + 1) + 1);
  char* p = stamp_.Append(start, local);
  for (int i = 0; i < count; ++i) {
    *p++ = ';';
    p = AppendPrice(p, values[i]);
  }
  *p++ = '\n';
  out_.Advance(static_cast<std::size_t>(p - start));
  if (report_.written++ == 0) report_.firstLocal = local;
  report_.lastLocal = local;
}

void Pipeline::WriteTicks(const Row& row) {
  std::int64_t local;
  if (!ToLocal(FloorDiv(row.millis, 1000), row.line, local)) return;
  Put(local, row.values, layout_.HasAsk() ? 2 : 1);
}

void Pipeline::WriteBar(std::int64_t start, const double* ohlc, long line) {
  std::int64_t local;
  if (!ToLocal(start, line, local)) return;
  Put(local, ohlc, 4);
}

void Pipeline::WriteBarTicks(const Row& bar, std::int32_t span) {
  BarTick ticks[4];
  const double* v = bar.values;
  BarAsTicks(FloorDiv(bar.millis, 1000), span, v[0], v[1], v[2], v[3], ticks);
  if (ticks[3].time > std::numeric_limits<std::int32_t>::max()) {
    std::int64_t unused;
    ToLocal(ticks[3].time, bar.line, unused);
    return;
  }
  for (const BarTick& tick : ticks) {
    std::int64_t local;
    if (!ToLocal(tick.time, bar.line, local)) return;
    Put(local, &tick.price, 1);
  }
}

// Lines that run backwards in time (newest first) would all be out of order.
bool RunsBackwards(const std::vector<std::string_view>& lines, const Layout& layout) {
  std::size_t up = 0, down = 0;
  std::int64_t previous = 0;
  bool have = false;
  for (std::size_t i = layout.header ? 1 : 0; i < lines.size(); ++i) {
    PriceRecord record;
    std::string_view field;
    if (ReadPriceLine(lines[i], layout, record, field) != LineFault::kNone) continue;
    if (have) up += record.stamp.millis > previous, down += record.stamp.millis < previous;
    previous = record.stamp.millis, have = true;
  }
  return down >= 2 && down > 9 * up;
}

}  // namespace

const char* IssueName(Issue issue) {
  switch (issue) {
    case Issue::kUnreadable:
      return "unreadable";
    case Issue::kOutOfOrder:
      return "out of order";
    case Issue::kDuplicate:
      return "duplicate";
    case Issue::kFolded:
      return "repeated hour";
    case Issue::kNoPrice:
      return "no price";
  }
  return "";
}

ConvertReport ConvertPriceFile(const ConvertOptions& options, const ConvertCallbacks& callbacks) {
  ConvertReport report;
  LineInput in;
  std::string error;
  if (!in.Open(options.input, error)) throw ConvertError(options.input + ": cannot open: " + error);
  const std::string& name = options.input;

  // The first lines find the layout; they are kept to be converted first.
  std::vector<std::string> sample;
  std::vector<long> sampleNumbers, tooLong;
  std::size_t sampleBytes = 0;
  std::string_view line;
  bool ended = false;
  while (sample.size() < kSampleLines && sampleBytes < kSampleBytes) {
    const LineInput::Result result = in.Next(line);
    if (result == LineInput::Result::kEnd) {
      ended = true;
      break;
    }
    if (result == LineInput::Result::kTooLong) {
      tooLong.push_back(in.LineNumber());
      continue;
    }
    if (IsBlank(line)) continue;
    sample.emplace_back(line);
    sampleNumbers.push_back(in.LineNumber());
    sampleBytes += line.size();
  }
  const std::vector<std::string_view> views(sample.begin(), sample.end());
  const Detection detection = DetectLayout(views, options.hints);
  if (!detection.doubt.empty()) {
    std::string message = name + ": cannot tell the layout: " + detection.doubt;
    if (!detection.layout.columns.empty())
      message += "\n  name it, for example: " + LayoutOptions(detection.layout);
    throw ConvertError(message + "\n  (see kmr-convert --help, \"Layouts\")");
  }
  report.layout = detection.layout;
  Layout& layout = report.layout;
  if (layout.IsBars() && options.timeframe > 0) layout.barSeconds = options.timeframe;
  if (RunsBackwards(views, layout))
    throw ConvertError(name +
                       ": the lines run backwards in time (newest first); put them oldest first, "
                       "for example with: (head -n 1 FILE; tail -n +2 FILE | tac) when it has a "
                       "header line, or tac FILE without one");

  TimeZone inputZone, outputZone;
  try {
    inputZone = TimeZone::Named(options.inputZone);
    outputZone = TimeZone::Local();
  } catch (const ZoneError& zone) {
    throw ConvertError(std::string("--input-tz: ") + zone.what());
  }
  const bool absolute = layout.time.HasZone() || layout.clock.HasZone();
  report.zoneNote = layout.time.IsUnix() ? "Unix times"
                    : absolute           ? "stamps with their own zone"
                                         : "stamps in " + inputZone.Name();
  if (callbacks.layoutFound) callbacks.layoutFound(report);

  OutputFile out;
  try {
    out.Open(options.output);
    Pipeline pipeline(layout, options, inputZone, outputZone, out, report);
    for (long number : tooLong) pipeline.TooLong(number);
    for (std::size_t i = layout.header ? 1 : 0; i < sample.size(); ++i)
      pipeline.Line(sample[i], sampleNumbers[i]);
    sample.clear();
    while (!ended) {
      const LineInput::Result result = in.Next(line);
      if (result == LineInput::Result::kEnd) break;
      if (result == LineInput::Result::kTooLong)
        pipeline.TooLong(in.LineNumber());
      else
        pipeline.Line(line, in.LineNumber());
      if (callbacks.progress && in.LineNumber() % kProgressLines == 0)
        callbacks.progress(in.BytesRead(), in.TotalBytes());
    }
    pipeline.Finish();
    report.lines = in.LineNumber();
    if (report.written == 0)
      throw ConvertError(
          name + ": no price line to write" +
          (report.kept == 0 ? std::string(" (no line read with the layout)") : std::string()));
    out.Commit();
  } catch (const OutputError&) {
    throw;
  } catch (const std::runtime_error& failure) {
    if (dynamic_cast<const ConvertError*>(&failure)) throw;
    throw ConvertError(failure.what());  // a read error of the input
  }
  if (callbacks.progress) callbacks.progress(in.BytesRead(), in.TotalBytes());
  return report;
}

}  // namespace kmr
