#include "tester/sweep/sweep_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>
#include <type_traits>

#include "tester/connector/library_connector.h"
#include "tester/replay/readable_file.h"
#include "tester/replay/replay_command.h"
#include "tester/replay/replay_options.h"
#include "tester/replay/replay_run.h"

namespace kmr {

namespace {

static_assert(std::is_trivially_copyable_v<SweepFigures>);
static_assert(std::is_trivially_copyable_v<RunStatistics>);

std::string OptionNotForSweeps(const ReplayOptions& options) {
  if (options.help) return "--help";
  if (options.save) return "--save";
  if (options.showSettings) return "--show-settings";
  if (!options.reportDir.empty()) return "--report";
  return {};
}

// What a run does before it calls the engine; false when the run ends here, with its error.
bool PrepareRun(SweepRow& row, const SweepRun& run, const PriceCaches* caches,
                ReplayOptions& options, ReplaySetup& setup) {
  try {
    options = ParseReplayOptions(run.replayArgs);
  } catch (const OptionError& error) {
    row.error = error.what();
    return false;
  }
  row.file = options.priceFile;
  if (const std::string option = OptionNotForSweeps(options); !option.empty()) {
    row.error = option + " is not for sweep runs";
    return false;
  }
  setup = ResolveReplaySetup(options);
  setup.priceCaches = caches;
  setup.curveBuckets = 2;  // a row holds the statistics only
  if (!setup.error.empty()) {
    row.error = setup.error;
    return false;
  }
  if (options.priceFile.empty()) {
    row.error = "no price file given";
    return false;
  }
  if (!setup.haveHistoryTill) {
    row.error = "no history-till time: give --history-till \"YYYY-MM-DD HH:MM:SS\" or store one";
    return false;
  }
  std::error_code ignored;
  const std::string file = std::filesystem::absolute(options.priceFile, ignored).string();
  ReplayInputs inputs;
  inputs.quotesFromFile = setup.quotesFromFile;
  inputs.historyFrom = setup.historyFrom;
  inputs.tradeTill = setup.tradeTill;
  if (!setup.historyBars.empty())
    inputs.historyBars = std::filesystem::absolute(setup.historyBars, ignored).string();
  row.command = ReplayCommandLine(setup.record, file, setup.accountSize, options.library, inputs);
  if (std::string error = UnreadableFile(options.priceFile); !error.empty()) {
    row.error = std::move(error);
    return false;
  }
  if (!options.historyBars.empty()) {
    if (std::string error = UnreadableFile(options.historyBars); !error.empty()) {
      row.error = std::move(error);
      return false;
    }
  }
  return true;
}

void RunInto(SweepRow& row, const SweepRun& run, const EngineApi* engine,
             const std::string& engineLibrary, const PriceCaches* caches) {
  ReplayOptions options;
  ReplaySetup setup;
  if (!PrepareRun(row, run, caches, options, setup)) return;

  CKMRLibraryConnector own;
  if (engine == nullptr || options.library != engineLibrary) {
    if (!own.BindLibrary(options.library)) {
      row.error = own.LastError();
      return;
    }
    engine = &own.Api();
  }
  const ReplayResult result = RunReplay(*engine, setup);
  if (!result.error.empty()) {
    row.error = result.error;
    return;
  }
  if (result.historyLines + result.tradeLines == 0) {
    row.error = options.priceFile + ": the file holds no price lines";
    return;
  }
  SweepFigures& f = row.figures;
  f.lines = result.historyLines + result.tradeLines;
  f.historyLines = result.historyLines;
  f.tradeLines = result.tradeLines;
  f.usedHistoryBars = result.usedHistoryBars;
  f.historyBars = result.historyBars;
  f.floatingProfit = result.floatingProfit;
  f.closedProfit = result.closedProfit;
  f.maxDrawdown = result.maxDrawdown;
  f.maxPosition = result.maxPosition;
  f.longDeals = result.longDeals;
  f.shortDeals = result.shortDeals;
  f.openDeals = result.openDeals;
  f.accountSize = result.statistics.accountSize;
  row.statistics = result.statistics;
  row.ok = true;
}

// --- What a worker sends back: the plain figures, then three counted texts ---

void PutText(std::string& out, const std::string& text) {
  const std::uint64_t size = text.size();
  out.append(reinterpret_cast<const char*>(&size), sizeof size);
  out += text;
}

bool TakeText(std::string_view& in, std::string& text) {
  std::uint64_t size = 0;
  if (in.size() < sizeof size) return false;
  std::memcpy(&size, in.data(), sizeof size);
  in.remove_prefix(sizeof size);
  if (in.size() < size) return false;
  text.assign(in.data(), size);
  in.remove_prefix(size);
  return true;
}

std::string EncodeRow(const SweepRow& row) {
  std::string out;
  const char ok = row.ok ? 1 : 0;
  out += ok;
  out.append(reinterpret_cast<const char*>(&row.figures), sizeof row.figures);
  out.append(reinterpret_cast<const char*>(&row.statistics), sizeof row.statistics);
  PutText(out, row.file);
  PutText(out, row.command);
  PutText(out, row.error);
  return out;
}

bool DecodeRow(std::string_view in, SweepRow& row) {
  if (in.size() < 1 + sizeof row.figures + sizeof row.statistics) return false;
  row.ok = in[0] == 1;
  std::memcpy(&row.figures, in.data() + 1, sizeof row.figures);
  std::memcpy(&row.statistics, in.data() + 1 + sizeof row.figures, sizeof row.statistics);
  in.remove_prefix(1 + sizeof row.figures + sizeof row.statistics);
  return TakeText(in, row.file) && TakeText(in, row.command) && TakeText(in, row.error) &&
         in.empty();
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A launcher is forked from the sweep once, before any run, and forks each run it is given
// from its own state, which stays that of a process that has loaded the engine but never called
// it. The sweep's own process thus never forks per run (a fork marks its every page copy-on-
// write, and its next writes pay for that), and the forks of different workers go side by side.
// It talks to the sweep over one socket: it reads run positions and answers each with a frame.
struct LaunchedFrame {
  std::uint64_t position = 0;
  std::int32_t status = 0;  // waitpid's status of the run's process
  std::uint64_t size = 0;   // of the encoded row that follows
};

struct Launcher {
  pid_t pid = -1;
  int fd = -1;
  std::deque<std::size_t> given;  // positions sent and not yet answered, oldest first
  std::string received;
};

// Runs given this many at a time, so that a launcher has its next run at hand when one ends.
constexpr std::size_t kRunsAhead = 2;

bool ReadAll(int fd, void* into, std::size_t size) {
  auto* at = static_cast<char*>(into);
  while (size > 0) {
    const ssize_t n = read(fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool SendAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = send(fd, bytes, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// The process of one run, forked from a launcher: its row goes to `fd`.
[[noreturn]] void BeRun(const SweepRun& run, int fd, const EngineApi* engine, const SweepExec& exec,
                        const PriceCaches& caches) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);  // a launcher that is killed takes its run with it
  const SweepRow row = RunSweepRunHere(run, engine, exec.library, exec, &caches);
  _exit(WriteAll(fd, EncodeRow(row)) ? 0 : 1);
}

// The C++ library binds its calls at their first use, in the process that makes it. Made once
// here, before the engine is ever called, the runs forked afterwards find them bound.
void WarmUp(const SweepRun& run, const SweepExec& exec, const PriceCaches& caches) {
  try {
    SweepRow row;
    ReplayOptions options;
    ReplaySetup setup;
    PrepareRun(row, run, &caches, options, setup);
    row.ok = true;
    EncodeRow(row);
    SweepRowJson(row, exec.sweepId, exec.sweepRuns);
  } catch (...) {
    // a run that fails so fails again on its own, with its error
  }
}

[[noreturn]] void BeLauncher(int fd, const std::vector<SweepRun>& runs, const EngineApi* engine,
                             const SweepExec& exec, const PriceCaches& caches) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() == 1) _exit(1);  // the sweep ended before the line above
  // The engine's debug lines of every run would bury the sweep's own.
  if (const int null = open("/dev/null", O_WRONLY | O_CLOEXEC); null >= 0) dup2(null, 2);
  WarmUp(runs.front(), exec, caches);
  try {
    std::string row;
    std::uint64_t position = 0;
    while (ReadAll(fd, &position, sizeof position)) {
      if (position >= runs.size()) _exit(1);
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) _exit(1);
      const pid_t pid = fork();
      if (pid < 0) _exit(1);
      if (pid == 0) {
        close(fds[0]);
        close(fd);
        BeRun(runs[position], fds[1], engine, exec, caches);
      }
      close(fds[1]);
      row.clear();
      char buffer[65536];
      for (;;) {
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        row.append(buffer, static_cast<std::size_t>(got));
      }
      close(fds[0]);
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
      const LaunchedFrame frame{position, status, row.size()};
      if (!SendAll(fd, reinterpret_cast<const char*>(&frame), sizeof frame) ||
          !SendAll(fd, row.data(), row.size()))
        _exit(1);
    }
  } catch (...) {
    _exit(1);
  }
  _exit(0);
}

// Launchers still running when the sweep is left (also by an exception) are stopped and reaped;
// their runs end with them.
struct LauncherGuard {
  std::vector<Launcher>& launchers;
  ~LauncherGuard() {
    for (Launcher& l : launchers) {
      kill(l.pid, SIGKILL);
      if (l.fd >= 0) close(l.fd);
      int status = 0;
      while (waitpid(l.pid, &status, 0) < 0 && errno == EINTR) {
      }
    }
  }
};

std::string EndedHow(int status) {
  if (WIFSIGNALED(status))
    return "the run's worker was killed by signal " + std::to_string(WTERMSIG(status));
  return "the run's worker ended without a result (exit status " +
         std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + ")";
}

SweepRow RowOf(const SweepRun& run, int status, std::string_view encoded, const SweepExec& exec) {
  SweepRow row;
  row.index = run.index;
  row.params = run.params;
  if (!(WIFEXITED(status) && WEXITSTATUS(status) == 0 && DecodeRow(encoded, row))) {
    row = SweepRow{};
    row.index = run.index;
    row.params = run.params;
    row.error = EndedHow(status);
  }
  row.json = SweepRowJson(row, exec.sweepId, exec.sweepRuns);
  return row;
}

}  // namespace

int AvailableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

SweepRow RunSweepRunHere(const SweepRun& run, const EngineApi* engine,
                         const std::string& engineLibrary, const SweepExec& exec,
                         const PriceCaches* caches) {
  SweepRow row;
  row.index = run.index;
  row.params = run.params;
  try {
    RunInto(row, run, engine, engineLibrary, caches);
  } catch (const std::exception& error) {
    row.ok = false;
    row.error = error.what();
  }
  row.json = SweepRowJson(row, exec.sweepId, exec.sweepRuns);
  return row;
}

PriceCaches BuildPriceCaches(const std::vector<SweepRun>& runs) {
  PriceCaches caches;
  for (const SweepRun& run : runs) {
    ReplayOptions options;
    try {
      options = ParseReplayOptions(run.replayArgs);
    } catch (const OptionError&) {
      continue;  // the run fails with it on its own
    }
    if (options.priceFile.empty() ||
        FindPriceCache(caches, options.priceFile, options.quotesFromFile) != nullptr)
      continue;
    if (auto cache = PriceCache::Build(options.priceFile, options.quotesFromFile))
      caches.caches.push_back(std::move(cache));
  }
  return caches;
}

void RunSweepRuns(const std::vector<SweepRun>& runs, const SweepExec& exec,
                  const std::function<void(const SweepRow&)>& onRow) {
  if (runs.empty()) return;
  setenv("KMR_NO_WINDOW", "1", 0);  // no event loop here to serve the engine's window
  // Loaded once here and never called: every run forked from here starts from the state the
  // library has right after loading.
  CKMRLibraryConnector connector;
  if (!connector.BindLibrary(exec.library)) throw SweepLibraryError(connector.LastError());
  const EngineApi* engine = &connector.Api();
  // Read here once; every run shares its pages.
  const PriceCaches caches = exec.priceCache ? BuildPriceCaches(runs) : PriceCaches{};

  const std::size_t jobs =
      std::min(runs.size(), static_cast<std::size_t>(exec.jobs > 0 ? exec.jobs : AvailableCores()));
  std::vector<Launcher> launchers;
  const LauncherGuard guard{launchers};
  std::fflush(nullptr);  // nothing buffered is written twice by a child
  for (std::size_t i = 0; i < jobs; ++i) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
      throw std::runtime_error(std::string("cannot start a worker: ") + std::strerror(errno));
    const pid_t pid = fork();
    if (pid < 0) {
      close(fds[0]);
      close(fds[1]);
      throw std::runtime_error(std::string("cannot start a worker: ") + std::strerror(errno));
    }
    if (pid == 0) {
      close(fds[0]);
      for (const Launcher& l : launchers) close(l.fd);
      BeLauncher(fds[1], runs, engine, exec, caches);
    }
    close(fds[1]);
    launchers.push_back({pid, fds[0], {}, {}});
  }

  std::size_t next = 0;
  std::size_t answered = 0;
  const auto give = [&](Launcher& l) {
    const std::uint64_t position = next;
    if (!SendAll(l.fd, reinterpret_cast<const char*>(&position), sizeof position)) return;
    l.given.push_back(next++);
  };
  // Round by round, so that runs start in their order across the workers.
  for (std::size_t ahead = 0; ahead < kRunsAhead; ++ahead)
    for (Launcher& l : launchers)
      if (next < runs.size()) give(l);

  std::vector<pollfd> waiting;
  while (answered < runs.size()) {
    waiting.clear();
    for (const Launcher& l : launchers) waiting.push_back({l.fd, POLLIN, 0});
    if (poll(waiting.data(), waiting.size(), -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
    }
    for (std::size_t i = 0; i < launchers.size(); ++i) {
      if (waiting[i].revents == 0) continue;
      Launcher& l = launchers[i];
      char buffer[65536];
      const ssize_t got = read(l.fd, buffer, sizeof buffer);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got > 0) {
        l.received.append(buffer, static_cast<std::size_t>(got));
        for (;;) {
          LaunchedFrame frame;
          if (l.received.size() < sizeof frame) break;
          std::memcpy(&frame, l.received.data(), sizeof frame);
          if (l.received.size() - sizeof frame < frame.size) break;
          if (l.given.empty() || frame.position != l.given.front())
            throw std::runtime_error("a worker answered for a run it was not given");
          l.given.pop_front();
          if (next < runs.size()) give(l);  // before the row is handled: the worker goes on
          const SweepRow row =
              RowOf(runs[frame.position], frame.status,
                    std::string_view(l.received).substr(sizeof frame, frame.size), exec);
          l.received.erase(0, sizeof frame + frame.size);
          ++answered;
          onRow(row);
        }
        continue;
      }
      // The launcher is gone: what it was given ends with its status; the others take the rest.
      close(l.fd);
      l.fd = -1;
      int status = 0;
      while (waitpid(l.pid, &status, 0) < 0 && errno == EINTR) {
      }
      l.pid = -1;
      for (const std::size_t position : l.given) {
        ++answered;
        onRow(RowOf(runs[position], status, {}, exec));
      }
      l.given.clear();
      launchers.erase(launchers.begin() + static_cast<std::ptrdiff_t>(i));
      if (launchers.empty() && answered < runs.size())
        throw std::runtime_error("every worker of the sweep ended before its runs were made");
      break;  // `waiting` no longer matches `launchers`
    }
  }
}

}  // namespace kmr
