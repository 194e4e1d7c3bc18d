// kmr-replay: the tester's untimed "Process ALL" without a window.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tester/connector/library_connector.h"
#include "tester/processing/display_format.h"
#include "tester/replay/readable_file.h"
#include "tester/replay/replay_command.h"
#include "tester/replay/replay_options.h"
#include "tester/replay/replay_run.h"
#include "tester/report/run_report.h"
#include "tester/report/settings_json.h"
#include "tester/settings/text_convert.h"

namespace kmr {
namespace {

constexpr int kExitBadInput = 2;
constexpr int kExitNoLibrary = 3;

std::string PerSecond(long lines, double seconds) {
  if (seconds <= 0) return "-";
  return Format("%.0f", lines / seconds);
}

void PrintSummary(const std::string& file, const ReplayResult& r) {
  const long lines = r.historyLines + r.tradeLines;
  const double seconds = r.historySeconds + r.tradeSeconds;
  std::printf("File:               %s\n", file.c_str());
  std::printf("Lines:              %li (history %li, trade %li)\n", lines, r.historyLines,
              r.tradeLines);
  if (r.usedHistoryBars) std::printf("History bars:       %li\n", r.historyBars);
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

bool CheckReadable(const std::string& path) {
  const std::string error = UnreadableFile(path);
  if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
  return error.empty();
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

  const ReplaySetup setup = ResolveReplaySetup(options);
  if (!setup.loadNote.empty()) std::fprintf(stderr, "kmr-replay: %s\n", setup.loadNote.c_str());
  if (!setup.error.empty()) {
    std::fprintf(stderr, "kmr-replay: %s\n", setup.error.c_str());
    return kExitBadInput;
  }
  const SettingsRecord& record = setup.record;

  if (options.save) {
    const SaveResult saved = SaveSettings(record);
    if (!saved.saved) {
      std::fprintf(stderr, "kmr-replay: settings not saved: %s\n", saved.error.c_str());
      return kExitBadInput;
    }
  }
  if (options.showSettings) {
    std::printf("%s\n", SettingsRecordJson(record).Finish().c_str());
    return 0;
  }
  if (options.priceFile.empty()) {
    std::fprintf(stderr, "kmr-replay: no price file given\nTry 'kmr-replay --help'.\n");
    return kExitBadInput;
  }
  if (!setup.haveHistoryTill) {
    std::fprintf(stderr,
                 "kmr-replay: no history-till time: give --history-till \"YYYY-MM-DD "
                 "HH:MM:SS\" or store one\n");
    return kExitBadInput;
  }
  if (!CheckReadable(options.priceFile)) return kExitBadInput;
  if (!options.historyBars.empty() && !CheckReadable(options.historyBars)) return kExitBadInput;

  setenv("KMR_NO_WINDOW", "1", 0);  // no event loop here to serve the engine's window
  CKMRLibraryConnector connector;
  if (!connector.BindLibrary(options.library)) {
    std::fprintf(stderr, "kmr-replay: %s\n", connector.LastError().c_str());
    return kExitNoLibrary;
  }

  ReplayResult result = RunReplay(connector.Api(), setup);
  connector.ReleaseLibrary();
  if (!result.error.empty()) {
    std::fprintf(stderr, "%s\n", result.error.c_str());
    return kExitBadInput;
  }

  for (const std::string& message : result.messages)
    std::fprintf(stderr, "kmr-replay: %s\n", OneLine(message).c_str());
  if (result.historyLines + result.tradeLines == 0) {
    std::fprintf(stderr, "%s: the file holds no price lines\n", options.priceFile.c_str());
    return kExitBadInput;
  }
  if (!options.reportDir.empty()) {
    std::error_code ignored;
    const std::string file = std::filesystem::absolute(options.priceFile, ignored).string();
    ReplayInputs inputs;
    inputs.quotesFromFile = setup.quotesFromFile;
    inputs.historyFrom = setup.historyFrom;
    inputs.tradeTill = setup.tradeTill;
    if (!setup.historyBars.empty())
      inputs.historyBars = std::filesystem::absolute(setup.historyBars, ignored).string();
    const RunReport report{
        file,
        ReplayCommandLine(record, file, setup.accountSize, options.library, inputs),
        record,
        result.recording,
        result.statistics,
        setup.historyFrom,
        setup.tradeTill};
    if (const std::string error = WriteRunReport(options.reportDir, report); !error.empty()) {
      std::fprintf(stderr, "kmr-replay: report not written: %s\n", error.c_str());
      return kExitBadInput;
    }
  }
  if (options.json)
    std::printf("%s\n", ReplayResultJson(options.priceFile, result).c_str());
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
