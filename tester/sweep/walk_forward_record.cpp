#include "tester/sweep/walk_forward_record.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "tester/connector/library_connector.h"
#include "tester/replay/replay_options.h"
#include "tester/replay/replay_run.h"

namespace kmr {

namespace {

static_assert(std::is_trivially_copyable_v<TradeRecord>);
static_assert(std::is_trivially_copyable_v<EquityPoint>);
static_assert(std::is_trivially_copyable_v<CurveBucket>);

// The parent reads what its own child wrote: the same program, so the same layout.
template <typename T>
void Put(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}
template <typename T>
void PutVector(std::string& out, const std::vector<T>& values) {
  Put(out, static_cast<std::uint64_t>(values.size()));
  out.append(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}
template <typename T>
bool Take(std::string_view& in, T& value) {
  if (in.size() < sizeof value) return false;
  std::memcpy(&value, in.data(), sizeof value);
  in.remove_prefix(sizeof value);
  return true;
}
template <typename T>
bool TakeVector(std::string_view& in, std::vector<T>& values) {
  std::uint64_t size = 0;
  if (!Take(in, size) || size > in.size() / sizeof(T)) return false;
  values.resize(size);
  if (size > 0)  // an empty vector's data() may be null, which memcpy must not be given
    std::memcpy(values.data(), in.data(), size * sizeof(T));
  in.remove_prefix(size * sizeof(T));
  return true;
}

std::string Encode(const RecordedRun& run) {
  std::string out;
  Put(out, static_cast<char>(run.ok));
  Put(out, static_cast<std::uint64_t>(run.error.size()));
  out += run.error;
  const RunRecording& r = run.recording;
  PutVector(out, r.trades);
  PutVector(out, r.equity);
  PutVector(out, r.curve);
  Put(out, r.historyLines);
  Put(out, r.tradeLines);
  Put(out, r.firstHistoryTime);
  Put(out, r.lastHistoryTime);
  Put(out, r.firstTradeTime);
  Put(out, r.lastTradeTime);
  Put(out, r.lastBid);
  Put(out, r.lastAsk);
  Put(out, r.maxPosition);
  Put(out, r.maxDrawdown);
  Put(out, r.peakAtMaxDrawdown);
  Put(out, r.longestDrawdownSeconds);
  Put(out, r.lastEquity);
  return out;
}

bool Decode(std::string_view in, RecordedRun& run) {
  char ok = 0;
  std::uint64_t size = 0;
  if (!Take(in, ok) || !Take(in, size) || size > in.size()) return false;
  run.ok = ok != 0;
  run.error.assign(in.data(), size);
  in.remove_prefix(size);
  RunRecording& r = run.recording;
  return TakeVector(in, r.trades) && TakeVector(in, r.equity) && TakeVector(in, r.curve) &&
         Take(in, r.historyLines) && Take(in, r.tradeLines) && Take(in, r.firstHistoryTime) &&
         Take(in, r.lastHistoryTime) && Take(in, r.firstTradeTime) && Take(in, r.lastTradeTime) &&
         Take(in, r.lastBid) && Take(in, r.lastAsk) && Take(in, r.maxPosition) &&
         Take(in, r.maxDrawdown) && Take(in, r.peakAtMaxDrawdown) &&
         Take(in, r.longestDrawdownSeconds) && Take(in, r.lastEquity) && in.empty();
}

RecordedRun RecordHere(const std::vector<std::string>& replayArgs, const std::string& library) {
  RecordedRun run;
  try {
    const ReplayOptions options = ParseReplayOptions(replayArgs);
    const ReplaySetup setup = ResolveReplaySetup(options);
    if (!setup.error.empty()) throw std::runtime_error(setup.error);
    CKMRLibraryConnector connector;
    if (!connector.BindLibrary(options.library.empty() ? library : options.library))
      throw std::runtime_error(connector.LastError());
    ReplayResult result = RunReplay(connector.Api(), setup);
    connector.ReleaseLibrary();
    if (!result.error.empty()) throw std::runtime_error(result.error);
    run.recording = std::move(result.recording);
    run.ok = true;
  } catch (const std::exception& error) {
    run.error = error.what();
  }
  return run;
}

}  // namespace

RecordedRun RecordRunInChild(const std::vector<std::string>& replayArgs,
                             const std::string& library) {
  RecordedRun failed;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    failed.error = std::string("cannot start a run: ") + std::strerror(errno);
    return failed;
  }
  std::fflush(nullptr);  // nothing buffered is written twice by the child
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    failed.error = std::string("cannot start a run: ") + std::strerror(errno);
    return failed;
  }
  if (pid == 0) {
    close(fds[0]);
    setenv("KMR_NO_WINDOW", "1", 0);
    const std::string bytes = Encode(RecordHere(replayArgs, library));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fds[1], bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(1);
      done += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  std::string received;
  char buffer[65536];
  for (;;) {
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    received.append(buffer, static_cast<std::size_t>(n));
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  RecordedRun run;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !Decode(received, run)) {
    failed.error = "the run's process ended without a result";
    return failed;
  }
  return run;
}

}  // namespace kmr
