#include "tester/replay/replay_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "tester/settings/chart_text.h"
#include "tester/settings/text_convert.h"

namespace kmr {

const char* const kReplayHelp =
    R"(Usage: kmr-replay [options] PRICEFILE
Replays a price file through the KMR engine as the tester's untimed "Process ALL" does:
the history part, then the trade part against the simulated broker; prints the results.

  --history-till "YYYY-MM-DD HH:MM:SS"  local time; the history part ends with the first line
                        at or after it (default: the stored HistoryTill; without one, an error)
  --defaults            start from the built-in defaults instead of the stored settings record
  --spread X --stop X --limit X --deal-size X --tick-size X --tick-value X --commission X
  --cad-profit X --dca-interval N --std-interval N[/M] --max-net-pos X --smoothing1 N
  --smoothing2 N --reversal-dev X --trend LIST --consider-first N --entry LIST --flags N
                        LIST: up to 8 chart texts as the settings dialog takes them,
                        e.g. h1600,h800,xt400 (charts not listed are not used)
  --log-file PATH       the engine's journal, with the optional " \<digit>" level suffix
  --json                one JSON object instead of the human summary, with the statistics
  --report DIR          also write the run's report into DIR (created when missing):
                        report.json, trades.csv, equity.csv and report.html
  --account SIZE        the account size that annual return, Sharpe and Sortino ratios and
                        the drawdown's share are measured against (default 100000)
  --show-settings       print the effective settings as one JSON object and exit
  --save                store the effective settings as layout 6, as the tester does when
                        history processing starts
  --quotes spread|bid-ask   spread (default): trade lines fill at price + Spread;
                        bid-ask: at the ask in the line's third field, "YYYYMMDD HHMMSS;bid;ask"
                        (kmr-convert writes it for bid/ask data); a line without one is an error
  --history-bars FILE   one-minute (or longer) bars "YYYYMMDD HHMMSS;open;high;low;close" in
                        local time, fed through ProcessHistoryM1 before the price file; they
                        must be in time order and before its first line (kmr-convert --to bars)
  --library PATH        the engine library to load (default: KMRLibrary.so beside this
                        program, then the standard library search)
  -h, --help            this text

The stored settings live in $XDG_CONFIG_HOME/Vantrel/KMRTester (or ~/.config/...).
kmr-replay has no event loop for the engine's window, so it sets KMR_NO_WINDOW=1 unless
KMR_NO_WINDOW is already set in its environment.

Exit status: 0 done; 2 bad input (unreadable file, invalid line or option, settings that
cannot be stored, a report file that cannot be written); 3 the engine library cannot be loaded or lacks an export.
)";

namespace {

const char* const kSettingOptions[] = {
    "--spread",         "--stop",       "--limit",      "--deal-size",    "--tick-size",
    "--tick-value",     "--commission", "--cad-profit", "--dca-interval", "--std-interval",
    "--max-net-pos",    "--smoothing1", "--smoothing2", "--reversal-dev", "--trend",
    "--consider-first", "--entry",      "--flags",      "--log-file"};

bool IsSettingOption(const std::string& name) {
  for (const char* option : kSettingOptions)
    if (name == option) return true;
  return false;
}

double Real(const std::string& name, const std::string& value) {
  const char* begin = value.c_str();
  char* end = nullptr;
  errno = 0;
  const double result = std::strtod(begin, &end);
  if (value.empty() || end != begin + value.size() || errno == ERANGE)
    throw OptionError(name + ": not a number: '" + value + "'");
  return result;
}

std::int32_t Integer(const std::string& name, const std::string& value) {
  const char* begin = value.c_str();
  char* end = nullptr;
  errno = 0;
  const long long result = std::strtoll(begin, &end, 10);
  if (value.empty() || end != begin + value.size() || errno == ERANGE ||
      result < std::numeric_limits<std::int32_t>::min() ||
      result > std::numeric_limits<std::int32_t>::max())
    throw OptionError(name + ": not a 32-bit integer: '" + value + "'");
  return static_cast<std::int32_t>(result);
}

void ChartList(const std::string& name, const std::string& value, bool isTrend,
               std::uint32_t (&charts)[8]) {
  std::uint32_t parsed[8] = {};
  std::size_t count = 0, start = 0;
  for (;;) {
    const std::size_t comma = value.find(',', start);
    if (count == 8) throw OptionError(name + ": more than 8 charts: '" + value + "'");
    parsed[count++] =
        TextToChartSpec(std::string_view(value).substr(
                            start, comma == std::string::npos ? std::string::npos : comma - start),
                        isTrend);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (int i = 0; i < 8; ++i) charts[i] = parsed[i];
}

}  // namespace

void ApplySettingOption(const std::string& name, const std::string& value, TesterSettings& s) {
  if (name == "--spread")
    s.Spread = Real(name, value);
  else if (name == "--stop")
    s.StopDistance = Real(name, value);
  else if (name == "--limit")
    s.LimitDistance = Real(name, value);
  else if (name == "--deal-size")
    s.DealSize = Real(name, value);
  else if (name == "--tick-size")
    s.TickSize = Real(name, value);
  else if (name == "--tick-value")
    s.TickValue = Real(name, value);
  else if (name == "--commission")
    s.DealComm = Real(name, value);
  else if (name == "--cad-profit")
    s.CadProfit = Real(name, value);
  else if (name == "--dca-interval")
    s.DcaInterval = Integer(name, value);
  else if (name == "--max-net-pos")
    s.MaxNetPos = Real(name, value);
  else if (name == "--smoothing1")
    s.Smoothing1 = Integer(name, value);
  else if (name == "--smoothing2")
    s.Smoothing2 = Integer(name, value);
  else if (name == "--reversal-dev")
    s.ReversalDev = Real(name, value);
  else if (name == "--consider-first")
    s.ConsiderFirst = Integer(name, value);
  else if (name == "--trend")
    ChartList(name, value, true, s.TrendCharts);
  else if (name == "--entry")
    ChartList(name, value, false, s.EntryCharts);
  else if (name == "--log-file")
    s.LogFilePath = Utf8ToUtf16(value);
  else if (name == "--flags") {
    const char* begin = value.c_str();
    char* end = nullptr;
    errno = 0;
    const unsigned long long flags = std::strtoull(begin, &end, 0);
    if (value.empty() || value[0] == '-' || end != begin + value.size() || errno == ERANGE ||
        flags > std::numeric_limits<std::uint32_t>::max())
      throw OptionError(name + ": not an unsigned 32-bit number: '" + value + "'");
    s.Flags = static_cast<std::uint32_t>(flags);
  } else if (name == "--std-interval") {
    const std::size_t separator = value.find_first_of("/:|\\");
    const std::string first = value.substr(0, separator);
    Integer(name, first);
    if (separator != std::string::npos) Integer(name, value.substr(separator + 1));
    const StdIntervalValue parsed = ParseStdInterval(value);
    s.StdInterval = parsed.ticks;
    s.StdMinDeals = parsed.minDeals;
  } else {
    throw OptionError("unknown option " + name);
  }
}

LocalDateTime ParseLocalTimeOption(const std::string& option, const std::string& text) {
  LocalDateTime t;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%n", &t.year, &t.month, &t.day, &t.hour,
                  &t.minute, &t.second, &consumed) != 6 ||
      static_cast<std::size_t>(consumed) != text.size())
    throw OptionError(option + ": expected \"YYYY-MM-DD HH:MM:SS\", got '" + text + "'");
  return t;
}

ReplayOptions ParseReplayOptions(const std::vector<std::string>& args) {
  ReplayOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0) {
      if (const std::size_t equals = name.find('='); equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        name.resize(equals);
      }
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw OptionError(name + " needs a value");
      return args[++i];
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw OptionError(name + " takes no value");
      target = true;
    };
    if (name == "-h" || name == "--help")
      flag(options.help);
    else if (name == "--defaults")
      flag(options.defaults);
    else if (name == "--json")
      flag(options.json);
    else if (name == "--show-settings")
      flag(options.showSettings);
    else if (name == "--save")
      flag(options.save);
    else if (name == "--library")
      options.library = value();
    else if (name == "--quotes") {
      const std::string quotes = value();
      if (quotes != "spread" && quotes != "bid-ask")
        throw OptionError("--quotes: spread or bid-ask, not '" + quotes + "'");
      options.quotesFromFile = quotes == "bid-ask";
    } else if (name == "--history-bars") {
      options.historyBars = value();
      if (options.historyBars.empty()) throw OptionError("--history-bars needs a file");
    } else if (name == "--report") {
      options.reportDir = value();
      if (options.reportDir.empty()) throw OptionError("--report needs a folder");
    } else if (name == "--account") {
      const std::string text = value();
      const double size = Real(name, text);
      if (!(size > 0) || !std::isfinite(size))
        throw OptionError("--account: not a positive size: '" + text + "'");
      options.accountSize = size;
    } else if (name == "--history-till")
      options.historyTill = ParseHistoryTillText(value());
    else if (name == "--history-from")
      options.historyFrom = ParseLocalTimeOption(name, value());
    else if (name == "--trade-till")
      options.tradeTill = ParseLocalTimeOption(name, value());
    else if (IsSettingOption(name)) {
      const std::string v = value();
      TesterSettings probe;
      ApplySettingOption(name, v, probe);  // reports a bad value now, before anything runs
      options.overrides.emplace_back(name, v);
    } else if (name.size() > 1 && name[0] == '-') {
      throw OptionError("unknown option " + name);
    } else if (options.priceFile.empty()) {
      options.priceFile = name;
    } else {
      throw OptionError("more than one price file: '" + name + "'");
    }
  }
  return options;
}

}  // namespace kmr
