#include "tests/conformance/interface_checks.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "tests/conformance/checks.h"

namespace {

bool FileExists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

// Whether this process holds the file open, seen through /proc/self/fd.
bool FileIsOpen(const std::string& path) {
  char wanted[PATH_MAX];
  if (realpath(path.c_str(), wanted) == nullptr) return false;
  DIR* fds = opendir("/proc/self/fd");
  if (fds == nullptr) return false;
  bool open = false;
  while (dirent* entry = readdir(fds)) {
    char target[PATH_MAX];
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    if (std::string(target) == wanted) open = true;
  }
  closedir(fds);
  return open;
}

void CheckGuardsBeforeInitialize(const EngineApi& api) {
  CHECK(api.ProcessNewTick(1.0, 1.1, 100, 0) == 0, "ProcessNewTick before InitializeKMR");
  CHECK(api.ProcessHistoryTick(1.0, 100, 1) == 0, "ProcessHistoryTick before InitializeKMR");
  CHECK(api.ProcessHistoryM1(1, 2, 0.5, 1.5, 100, 1) == 0, "ProcessHistoryM1 before InitializeKMR");
  CHECK(api.ProcessHistoryDataFinished() == 0, "ProcessHistoryDataFinished before InitializeKMR");
  CHECK(api.GetNextCommand() == 0, "GetNextCommand before InitializeKMR");
  CHECK(api.OrderSetTicket(1, 1) == 0, "OrderSetTicket before InitializeKMR");
  CHECK(api.OrderFilled(1, 1.0, 1.0) == 0, "OrderFilled before InitializeKMR");
  CHECK(api.OpenDealClosed(1, 1.0, 1.0) == 0, "OpenDealClosed before InitializeKMR");
  CHECK(api.OrderClosed(1) == 0, "OrderClosed before InitializeKMR");
  CHECK(api.OrderRejected(1) == 0, "OrderRejected before InitializeKMR");
  CHECK(api.SetKMRPriceParameters(1, 1, 0, 1e9, 1, 1, 0, 100, 0xF) == 0,
        "SetKMRPriceParameters before InitializeKMR");
  api.TriggerExternalSignal(0, 1, 1);
  CHECK(api.GetNextCommand() == 0, "TriggerExternalSignal before InitializeKMR queues nothing");
  api.DeinitializeKMR();  // no window record yet: nothing to do
}

void CheckLogFileOpening(const EngineApi& api, const std::string& dir) {
  const std::string early = dir + "/early.log";
  CHECK(api.SetLogFilePath(Utf16(early + " \\3").c_str()) == 0, "SetLogFilePath result");
  CHECK(FileExists(early), "SetLogFilePath before InitializeKMR creates the file without suffix");
  CHECK(FileIsOpen(early), "the log file is held open");
  CHECK(InitializeDefaults(api, 0.0001) == 1, "InitializeKMR returns 1");
  CHECK(!FileIsOpen(early), "InitializeKMR closes the log file");

  const std::string named = dir + "/named.log";
  api.SetLogFilePath(Utf16(named).c_str());
  CHECK(FileExists(named), "a path without suffix is opened as given");
  api.SetLogFilePath(Utf16(dir + "/second.log \\1").c_str());
  CHECK(!FileIsOpen(named), "a second SetLogFilePath closes the first file");
  CHECK(FileIsOpen(dir + "/second.log"), "the second file is open");
  api.SetLogFilePath(Utf16(dir + "/missing/x.log \\2").c_str());
  CHECK(!FileExists(dir + "/missing/x.log"), "a path in a missing folder opens nothing");
  api.SetLogFilePath(nullptr);
}

std::string ReadFile(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

// The price parameters sent before the first InitializeKMR asked for an unreachable CAD target;
// ignored, the target stays 0 and the first live tick requests a close-all.
void CheckEarlyPriceParametersWereIgnored(const EngineApi& api, const std::string& dir) {
  InitializeDefaults(api, 0.0001);
  const std::string journal = dir + "/cad.log";
  api.SetLogFilePath(Utf16(journal + " \\1").c_str());
  api.ProcessHistoryTick(1.2, 1000, 0);
  api.ProcessHistoryDataFinished();
  api.ProcessNewTick(1.2, 1.2002, 1060, 0);
  api.SetLogFilePath(Utf16(dir + "/other.log").c_str());
  CHECK(ReadFile(journal).find("Processing new tick -> CloseAllDeals request") != std::string::npos,
        "SetKMRPriceParameters before InitializeKMR has no effect");
}

void CheckResultsAfterInitialize(const EngineApi& api) {
  CHECK(InitializeDefaults(api, 0.0001) == 1, "InitializeKMR returns 1 again");
  CHECK(api.GetNextCommand() == 0, "GetNextCommand on an empty queue");
  CHECK(api.ProcessHistoryTick(1.2, 1000, 0) == 1, "ProcessHistoryTick after InitializeKMR");
  CHECK(api.ProcessHistoryM1(1.2, 1.21, 1.19, 1.2, 1060, 0) == 1, "ProcessHistoryM1 result");
  CHECK(api.ProcessHistoryM1(NAN, NAN, NAN, NAN, 1120, 0) == 1, "ProcessHistoryM1 with NaN");
  const int tick = api.ProcessNewTick(1.2, 1.2001, 1180, 0);
  CHECK(tick == 0 || tick == 1, "history-mode ProcessNewTick result is 0 or 1");
  CHECK(api.ProcessHistoryDataFinished() == 0, "ProcessHistoryDataFinished returns 0");
  CHECK(api.ProcessHistoryDataFinished() == 0, "ProcessHistoryDataFinished may come again");
  CHECK(api.SetKMRPriceParameters(0.2, 1, 1.5, 100, 100, 50, 0, 5, 0) == 0,
        "SetKMRPriceParameters returns 0");
  for (int chart : {0, -1, -100, 4, 9, INT_MIN, INT_MAX}) {
    api.TriggerExternalSignal(0, chart, 1);
    api.TriggerExternalSignal(0, chart, 0);
  }
  CHECK(api.GetNextCommand() == 0, "out-of-range external signals are ignored");
  CHECK(api.OrderSetTicket(999, 5) == 0 && api.OrderFilled(5, 1, 1) == 0 &&
            api.OpenDealClosed(5, 1, 1) == 0 && api.OrderClosed(5) == 0 &&
            api.OrderRejected(999) == 0,
        "reports for unknown deals return 0");
  CHECK(api.GetNextCommand() == 0, "reports for unknown deals queue nothing");
  api.DeinitializeKMR();
  api.DeinitializeKMR();  // the second call only writes the debugger line
  CHECK(InitializeDefaults(api, 0.0001) == 1, "InitializeKMR after DeinitializeKMR");
  api.DeinitializeKMR();
}

}  // namespace

void RunInterfaceChecks(const EngineApi& api, const std::string& scratchDir) {
  CheckGuardsBeforeInitialize(api);
  CheckLogFileOpening(api, scratchDir);
  CheckEarlyPriceParametersWereIgnored(api, scratchDir);
  CheckResultsAfterInitialize(api);
}
