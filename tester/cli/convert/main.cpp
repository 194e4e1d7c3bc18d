// kmr-convert: price data as brokers and vendors give it, in the tester's layout.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tester/convert/converter.h"
#include "tester/convert/output_file.h"
#include "tester/convert/time_pattern.h"

namespace kmr {
namespace {

constexpr int kExitOutput = 1;
constexpr int kExitBadInput = 2;

const char* const kHelp = R"(Usage: kmr-convert [options] IN OUT
Turns price data as brokers and data vendors give it (bid/ask ticks, prices, bars of any
timeframe, in the usual CSV layouts) into the tester's layout, "YYYYMMDD HHMMSS;price" in local
time; bid/ask ticks keep their ask as a third field ("...;bid;ask", for kmr-replay --quotes
bid-ask). IN or OUT may be "-" for standard input or output. OUT is written whole or not at all.

  --to ticks            (default) price lines; a bar becomes four of them, in the order the
                        engine replays a bar (open, low, high, close when it closed at or
                        above its open; open, high, low, close otherwise), at its start, a third
                        and two thirds into it, and at its last second
  --to bars             bars "YYYYMMDD HHMMSS;open;high;low;close" for kmr-replay
                        --history-bars; ticks are gathered into bars of --timeframe,
                        which start on the local clock (D1: at local midnight)
  --timeframe TF        M1 M5 M15 M30 H1 H4 D1 W1, or seconds: the length of bars made from
                        ticks (default M1); for bars read, instead of the one their time
                        stamps show
  --input-tz ZONE       the clock of time stamps without a zone of their own (default UTC): a
                        zone name such as Europe/London or America/New_York, UTC, an offset
                        such as +02:00, or "local" (TZ). The output is on TZ's local clock, the
                        clock the tester reads its files by.
  --format COLUMNS      the columns, when detection is not sure (see Layouts)
  --separator S         ',' ';' tab or '|' (default: found from the lines)
  --header, --no-header whether the first line names the columns (default: found)
  --decimal-comma, --no-decimal-comma   prices such as 1,2345 (default: found)
  --strict              a line that is unreadable, out of order or a duplicate is an error
                        and nothing is written (default: such lines are left out and listed)
  --quiet               say nothing on standard error but errors and lines left out
  -h, --help            this text

Layouts
  The first 200 lines show the layout; it is printed on standard error as the options that
  name it, so a layout found once can be given as is. Time stamps: YYYYMMDD HHMMSS,
  YYYYMMDD HHMMSSmmm, YYYY.MM.DD HH:MM[:SS[.fff]], YYYY-MM-DD HH:MM:SS, ISO 8601 with Z or an
  offset (2023-01-02T10:00:00.123+01:00), DD.MM.YYYY, DD/MM/YYYY and MM/DD/YYYY with a time,
  a date alone (daily bars), Unix seconds or milliseconds; the date and the time may be in two
  columns. A header line names the columns (Time, Date, Bid, Ask, Open, High, Low, Close,
  Volume, <DATE>, <TIME>, ...); without one, the number columns after the time tell what they
  are: four that hold as open, high, low, close are bars; two close prices are bid and ask
  (the lower one the bid); else the first is the price. Empty bid or ask fields repeat the
  last one (exports that write only what changed).
  --format lists the columns in order, separated by commas, whatever the file's separator:
  time, date, bid, ask, price (or last), open, high, low, close, volume, and - for a column to
  skip; time and date take =PATTERN. With a date column, time is the time of day. Patterns:
  YYYY MM DD HH MM SS (MM after HH: minutes), mmm milliseconds, fff a fraction that may be
  left out with its '.', Z for Z or an offset, unix, unix-ms. Examples:
    --format 'time=YYYY.MM.DD HH:MM:SS.fff,bid,ask,volume'
    --format 'date=MM/DD/YYYY,time=HH:MM,open,high,low,close,volume' --separator ','
    --format '-,time=unix-ms,ask,bid'

Time order
  Lines earlier than the ones before them, repeated lines and unreadable lines are left out,
  counted and listed by line number (a line that jumps ahead of its neighbours is the one left
  out). A stamp without a zone in a repeated hour (clocks going back) is read as the earlier
  of its two times unless that would go back in time. The tester keeps one offset for each
  local hour, so when the output's clock goes back, the second pass of the repeated hour is
  written at the last second before it; when it goes forward, the output skips the hour.
  Sub-second stamps are cut to the second; ticks of one second keep their order.

Exit status: 0 done (lines left out are listed); 2 bad input, option or layout, or --strict
found a line; 1 OUT cannot be written.
)";

struct Arguments {
  ConvertOptions options;
  bool quiet = false;
  bool help = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

Arguments Parse(const std::vector<std::string>& args) {
  Arguments a;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0)
      if (const std::size_t equals = name.find('='); equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        name.resize(equals);
      }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
      return args[++i];
    };
    auto flag = [&]() {
      if (inlineValue) throw UsageError(name + " takes no value");
    };
    LayoutHints& hints = a.options.hints;
    if (name == "-h" || name == "--help") {
      flag(), a.help = true;
    } else if (name == "--quiet") {
      flag(), a.quiet = true;
    } else if (name == "--strict") {
      flag(), a.options.strict = true;
    } else if (name == "--header" || name == "--no-header") {
      flag(), hints.header = name == "--header";
    } else if (name == "--decimal-comma" || name == "--no-decimal-comma") {
      flag(), hints.decimalComma = name == "--decimal-comma";
    } else if (name == "--to") {
      const std::string to = value();
      if (to != "ticks" && to != "bars") throw UsageError("--to: ticks or bars, not '" + to + "'");
      a.options.to = to == "bars" ? OutputKind::kBars : OutputKind::kTicks;
    } else if (name == "--timeframe") {
      const std::string text = value();
      const std::optional<std::int32_t> seconds = ParseTimeframe(text);
      if (!seconds)
        throw UsageError("--timeframe: M1, M5, H1, D1, W1 or seconds, not '" + text + "'");
      a.options.timeframe = *seconds;
      hints.barSeconds = *seconds;
    } else if (name == "--input-tz") {
      a.options.inputZone = value();
    } else if (name == "--separator") {
      const std::string text = value();
      const std::optional<char> separator = ParseSeparator(text);
      if (!separator) throw UsageError("--separator: ',' ';' tab or '|', not '" + text + "'");
      hints.separator = *separator;
    } else if (name == "--format") {
      try {
        hints.format = ParseFormatColumns(value());
      } catch (const LayoutError& error) {
        throw UsageError(error.what());
      }
    } else if (name.size() > 1 && name[0] == '-') {
      throw UsageError("unknown option " + name);
    } else {
      files.push_back(name);
    }
  }
  if (a.help) return a;
  if (files.size() != 2)
    throw UsageError(files.size() < 2 ? "give the input and the output file"
                                      : "more than two files: '" + files[2] + "'");
  a.options.input = files[0];
  a.options.output = files[1];
  return a;
}

std::string Thousands(long value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > (value < 0 ? 1 : 0); at -= 3)
    digits.insert(static_cast<std::size_t>(at), ",");
  return digits;
}

std::string LocalText(std::int64_t local) {
  const std::int64_t day = local / 86400, second = local % 86400;
  int year, month, dayOfMonth;
  CivilFromDays(day, year, month, dayOfMonth);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, dayOfMonth,
                static_cast<int>(second / 3600), static_cast<int>(second / 60 % 60),
                static_cast<int>(second % 60));
  return text;
}

// A bar on standard error, redrawn at most ten times a second.
class ProgressBar {
 public:
  explicit ProgressBar(bool on) : on_(on) {}
  void Show(std::uint64_t done, std::uint64_t total) {
    if (!on_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && now - last_ < std::chrono::milliseconds(100)) return;
    last_ = now;
    shown_ = true;
    const double mb = 1024.0 * 1024.0;
    if (total == 0) {
      std::fprintf(stderr, "\rkmr-convert: %.1f MB read", static_cast<double>(done) / mb);
    } else {
      const double share = std::min(1.0, static_cast<double>(done) / static_cast<double>(total));
      const int filled = static_cast<int>(share * 30);
      char bar[31];
      for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
      bar[30] = '\0';
      std::fprintf(stderr, "\rkmr-convert: [%s] %3.0f%%  %.1f of %.1f MB", bar, share * 100,
                   static_cast<double>(done) / mb, static_cast<double>(total) / mb);
    }
    std::fflush(stderr);
  }
  void Clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    shown_ = false;
  }

 private:
  bool on_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point last_;
};

void PrintLayout(const std::string& input, const ConvertReport& report) {
  const Layout& l = report.layout;
  const std::string separator =
      l.separator == '\t' ? "tab" : "'" + SeparatorName(l.separator) + "'";
  std::fprintf(stderr, "kmr-convert: %s: %s, %s, separator %s, %s\n", input.c_str(),
               LayoutKind(l).c_str(), l.header ? "header line" : "no header line",
               separator.c_str(), report.zoneNote.c_str());
  std::fprintf(stderr, "kmr-convert: layout: %s\n", LayoutOptions(l).c_str());
}

void PrintIssues(const ConvertReport& report) {
  for (int kind = 0; kind < kIssueKinds; ++kind) {
    const long count = report.counts[kind];
    if (count == 0) continue;
    const Issue issue = static_cast<Issue>(kind);
    const bool kept = issue == Issue::kFolded;
    std::fprintf(stderr, "kmr-convert: %s %s line%s%s\n", Thousands(count).c_str(),
                 IssueName(issue), count == 1 ? "" : "s",
                 kept ? " written at the last second before the clocks went back"
                      : (issue == Issue::kNoPrice ? " skipped" : " left out"));
    long listed = 0;
    for (const IssueLine& line : report.listed)
      if (line.issue == issue) {
        std::fprintf(stderr, "  line %ld: %s\n", line.line, line.text.c_str());
        ++listed;
      }
    if (count > listed)
      std::fprintf(stderr, "  ... and %s more\n", Thousands(count - listed).c_str());
  }
}

int Run(const std::vector<std::string>& args) {
  Arguments a;
  try {
    a = Parse(args);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "kmr-convert: %s\nTry 'kmr-convert --help'.\n", error.what());
    return kExitBadInput;
  }
  if (a.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  ProgressBar bar(!a.quiet && isatty(STDERR_FILENO));
  ConvertCallbacks callbacks;
  if (!a.quiet)
    callbacks.layoutFound = [&](const ConvertReport& report) {
      PrintLayout(a.options.input, report);
    };
  callbacks.progress = [&](std::uint64_t done, std::uint64_t total) { bar.Show(done, total); };
  ConvertReport report;
  try {
    report = ConvertPriceFile(a.options, callbacks);
  } catch (const OutputError& error) {
    bar.Clear();
    std::fprintf(stderr, "kmr-convert: %s\n", error.what());
    return kExitOutput;
  } catch (const std::exception& error) {
    bar.Clear();
    std::fprintf(stderr, "kmr-convert: %s\n", error.what());
    return kExitBadInput;
  }
  bar.Clear();
  if (!a.quiet)
    std::fprintf(stderr,
                 "kmr-convert: wrote %s line%s to %s from %s lines read, %s to %s local time\n",
                 Thousands(report.written).c_str(), report.written == 1 ? "" : "s",
                 a.options.output == "-" ? "standard output" : a.options.output.c_str(),
                 Thousands(report.lines).c_str(), LocalText(report.firstLocal).c_str(),
                 LocalText(report.lastLocal).c_str());
  PrintIssues(report);
  return 0;
}

}  // namespace
}  // namespace kmr

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return kmr::Run(args);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kmr-convert: %s\n", error.what());
    return 2;
  }
}
