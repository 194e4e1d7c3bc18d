// kmr-replay: the tester's untimed "Process ALL" without a window.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tester/broker/broker.h"
#include "tester/cli/json_writer.h"
#include "tester/cli/replay_options.h"
#include "tester/cli/replay_view.h"
#include "tester/connector/library_connector.h"
#include "tester/processing/display_format.h"
#include "tester/processing/processing_loop.h"
#include "tester/settings/text_convert.h"

namespace kmr {
namespace {

constexpr int kExitBadInput = 2;
constexpr int kExitNoLibrary = 3;

std::string SettingsJson(const SettingsRecord& record) {
  const TesterSettings& s = record.settings;
  JsonObject json;
  json.Number("Spread", s.Spread);
  json.Number("StopDistance", s.StopDistance);
  json.Number("LimitDistance", s.LimitDistance);
  json.Number("DealSize", s.DealSize);
  json.Number("CadProfit", s.CadProfit);
  json.Number("TickSize", s.TickSize);
  json.Number("TickValue", s.TickValue);
  json.Integer("DcaInterval", s.DcaInterval);
  json.Integer("StdInterval", s.StdInterval);
  json.Integer("StdMinDeals", s.StdMinDeals);
  json.Number("MaxNetPos", s.MaxNetPos);
  json.Number("DealComm", s.DealComm);
  json.Integer("Smoothing1", s.Smoothing1);
  json.Integer("Smoothing2", s.Smoothing2);
  json.Number("ReversalDev", s.ReversalDev);
  json.Unsigneds("TrendCharts", s.TrendCharts, 8);
  json.Integer("ConsiderFirst", s.ConsiderFirst);
  json.Unsigneds("EntryCharts", s.EntryCharts, 8);
  json.Integer("Flags", s.Flags);
  json.Text("LogFilePath", Utf16ToUtf8(s.LogFilePath));
  json.Integer("ProcessingDelay", s.ProcessingDelay);
  json.Integer("HistoryTill", record.HistoryTill);
  json.Text("SourcePath", Utf16ToUtf8(record.SourcePath));
  return json.Finish();
}

struct RunResult {
  long historyLines = 0, tradeLines = 0;
  double floatingProfit = 0, closedProfit = 0, maxDrawdown = 0, maxPosition = 0;
  int longDeals = 0, shortDeals = 0, openDeals = 0;
  std::int32_t lastTickTime = 0;
  double lastPrice = 0;
  double historySeconds = 0, tradeSeconds = 0;
};

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::string PerSecond(long lines, double seconds) {
  if (seconds <= 0) return "-";
  return Format("%.0f", lines / seconds);
}

void PrintSummary(const std::string& file, const RunResult& r) {
  const long lines = r.historyLines + r.tradeLines;
  const double seconds = r.historySeconds + r.tradeSeconds;
  std::printf("File:               %s\n", file.c_str());
  std::printf("Lines:              %li (history %li, trade %li)\n", lines, r.historyLines,
              r.tradeLines);
  std::printf("Last TICK time:     %s\n", FormatLastTick(r.lastTickTime, r.lastPrice).c_str());
  std::printf("Profit/Loss[$]:     %s\n",
              Format("%.2f (%.2f)", r.floatingProfit, r.closedProfit).c_str());
  std::printf("Max Drawdown[$]:    %s\n", Format("%.2f", r.maxDrawdown).c_str());
  std::printf("Max Position:       %s\n", Format("%.2f", r.maxPosition).c_str());
  std::printf("Deals Long/Short:   %s\n", Format("%i / %i", r.longDeals, r.shortDeals).c_str());
  std::printf("Open deals:         %i\n", r.openDeals);
  std::printf("Run time:           %.3f s, %s lines/s (history %s lines/s, trade %s lines/s)\n",
              seconds, PerSecond(lines, seconds).c_str(),
              PerSecond(r.historyLines, r.historySeconds).c_str(),
              PerSecond(r.tradeLines, r.tradeSeconds).c_str());
}

std::string ResultJson(const std::string& file, const RunResult& r,
                       const std::vector<std::string>& log) {
  JsonObject json;
  json.Text("file", file);
  json.Integer("lines", r.historyLines + r.tradeLines);
  json.Integer("historyLines", r.historyLines);
  json.Integer("tradeLines", r.tradeLines);
  json.Number("floatingProfit", r.floatingProfit);
  json.Number("closedProfit", r.closedProfit);
  json.Number("maxDrawdown", r.maxDrawdown);
  json.Number("maxPosition", r.maxPosition);
  json.Integer("longDeals", r.longDeals);
  json.Integer("shortDeals", r.shortDeals);
  json.Integer("openDeals", r.openDeals);
  json.Texts("log", log);
  return json.Finish();
}

// The file must be a readable regular file before the engine is even loaded.
bool CheckReadable(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::fprintf(stderr, "%s: cannot open: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  struct stat info;
  const bool isFolder = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  close(fd);
  if (isFolder) std::fprintf(stderr, "%s: cannot open: it is a folder\n", path.c_str());
  return !isFolder;
}

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

int Run(const std::vector<std::string>& args) {
  ReplayOptions options;
  try {
    options = ParseReplayOptions(args);
  } catch (const OptionError& error) {
    std::fprintf(stderr, "kmr-replay: %s\nTry 'kmr-replay --help'.\n", error.what());
    return kExitBadInput;
  }
  if (options.help) {
    std::fputs(kReplayHelp, stdout);
    return 0;
  }

  SettingsRecord record;
  if (!options.defaults) {
    const LoadResult loaded = LoadSettings(record);
    if (!loaded.note.empty()) std::fprintf(stderr, "kmr-replay: %s\n", loaded.note.c_str());
  }
  for (const auto& [name, value] : options.overrides)
    ApplySettingOption(name, value, record.settings);  // checked while parsing
  if (!options.priceFile.empty()) record.SourcePath = Utf8ToUtf16(options.priceFile);

  LocalDateTime historyTill;
  const bool haveHistoryTill = options.historyTill || record.HistoryTill != 0;
  if (options.historyTill)
    historyTill = *options.historyTill;
  else if (record.HistoryTill != 0)
    historyTill = LocalFieldsOf(record.HistoryTill);
  if (haveHistoryTill) {
    try {
      record.HistoryTill = HistoryTillFromFields(historyTill);
    } catch (const SettingsError& error) {
      std::fprintf(stderr, "kmr-replay: --history-till: %s\n", error.what());
      return kExitBadInput;
    }
  }

  if (options.save) {
    const SaveResult saved = SaveSettings(record);
    if (!saved.saved) {
      std::fprintf(stderr, "kmr-replay: settings not saved: %s\n", saved.error.c_str());
      return kExitBadInput;
    }
  }
  if (options.showSettings) {
    std::printf("%s\n", SettingsJson(record).c_str());
    return 0;
  }
  if (options.priceFile.empty()) {
    std::fprintf(stderr, "kmr-replay: no price file given\nTry 'kmr-replay --help'.\n");
    return kExitBadInput;
  }
  if (!haveHistoryTill) {
    std::fprintf(stderr,
                 "kmr-replay: no history-till time: give --history-till \"YYYY-MM-DD "
                 "HH:MM:SS\" or store one\n");
    return kExitBadInput;
  }
  if (!CheckReadable(options.priceFile)) return kExitBadInput;

  setenv("KMR_NO_WINDOW", "1", 0);  // no event loop here to serve the engine's window
  CKMRLibraryConnector connector;
  if (!connector.BindLibrary(options.library)) {
    std::fprintf(stderr, "kmr-replay: %s\n", connector.LastError().c_str());
    return kExitNoLibrary;
  }

  // The run is always untimed; the stored delay is kept in the record only.
  TesterSettings settings = record.settings;
  settings.ProcessingDelay = 0;
  ReplayView view(options.priceFile, settings, historyTill);
  RunResult result;
  int status = 0;
  {
    auto broker = std::make_unique<CKMRBroker>(&connector.Api(), settings);
    ProcessingLoop loop(settings, &connector.Api(), broker.get(), view);
    loop.SetSaveOnHistoryStart(false);  // --save stored the record above
    try {
      view.AddLogLine("Processing ALL Data...", false, loop.LastTickTime());
      const auto start = std::chrono::steady_clock::now();
      loop.StartHistory();
      const auto historyEnd = std::chrono::steady_clock::now();
      loop.StartTrade();
      const auto tradeEnd = std::chrono::steady_clock::now();
      result.historySeconds = Seconds(historyEnd - start);
      result.tradeSeconds = Seconds(tradeEnd - historyEnd);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
      status = kExitBadInput;
    }
    result.historyLines = loop.HistoryLines();
    result.tradeLines = loop.TradeLines();
    result.floatingProfit = broker->FloatingProfit();
    result.closedProfit = broker->ClosedProfit();
    result.maxDrawdown = broker->MaxDrawdown();
    result.maxPosition = broker->MaxPosition();
    result.longDeals = broker->LongDeals();
    result.shortDeals = broker->ShortDeals();
    result.openDeals = broker->OpenDeals();
    result.lastTickTime = loop.LastTickTime();
    result.lastPrice = loop.LastPrice();
    loop.CloseSource();
    broker.reset();  // the broker goes before the engine is released
  }
  connector.ReleaseLibrary();
  if (status != 0) return status;

  for (const std::string& message : view.messages)
    std::fprintf(stderr, "kmr-replay: %s\n", OneLine(message).c_str());
  if (result.historyLines + result.tradeLines == 0) {
    std::fprintf(stderr, "%s: the file holds no price lines\n", options.priceFile.c_str());
    return kExitBadInput;
  }
  if (options.json)
    std::printf("%s\n", ResultJson(options.priceFile, result, view.log).c_str());
  else
    PrintSummary(options.priceFile, result);
  return 0;
}

}  // namespace
}  // namespace kmr

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    return kmr::Run(args);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kmr-replay: %s\n", error.what());
    return 2;
  }
}
