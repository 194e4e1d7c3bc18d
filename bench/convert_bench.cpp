// kmr-convert's throughput as its own process, on a generated file of five million bid/ask
// ticks ("YYYY.MM.DD HH:MM:SS.fff,bid,ask,volume" with a header, one every 0.7 s across both
// daylight-saving changes) and one of a million one-minute bars ("YYYY.MM.DD,HH:MM,o,h,l,c,v"),
// beside `wc -l` of the same file, with the converter's peak memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr long kTicks = 5'000'000;
constexpr long kBars = 1'000'000;

// The generated files' folder, removed at exit (its name outlives every other static).
const char* Folder() {
  static char name[] = "/tmp/kmr_convert_bench_XXXXXX";
  static const bool made = [] {
    if (mkdtemp(name) == nullptr) std::abort();
    std::atexit([] { std::filesystem::remove_all(name); });
    return true;
  }();
  (void)made;
  return name;
}

std::tm Utc(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  return tm;
}

const std::string& TickFile() {
  static const std::string path = [] {
    const std::string file = std::string(Folder()) + "/ticks.csv";
    std::FILE* out = std::fopen(file.c_str(), "w");
    std::fputs("Time,Bid,Ask,Volume\n", out);
    std::mt19937 random(11);
    std::int64_t millis = 1672531200000;  // 2023-01-01 UTC
    int bid = 110000;
    for (long i = 0; i < kTicks; ++i, millis += 700) {
      bid += static_cast<int>(random() % 5) - 2;
      const int ask = bid + 1 + static_cast<int>(random() % 3);
      const std::tm t = Utc(millis / 1000);
      std::fprintf(out, "%04d.%02d.%02d %02d:%02d:%02d.%03d,%d.%05d,%d.%05d,%d.5\n",
                   t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                   static_cast<int>(millis % 1000), bid / 100000, bid % 100000, ask / 100000,
                   ask % 100000, static_cast<int>(random() % 9) + 1);
    }
    std::fclose(out);
    return file;
  }();
  return path;
}

const std::string& BarFile() {
  static const std::string path = [] {
    const std::string file = std::string(Folder()) + "/bars.csv";
    std::FILE* out = std::fopen(file.c_str(), "w");
    std::mt19937 random(12);
    std::int64_t time = 1577836800;  // 2020-01-01 UTC
    int price = 110000;
    for (long i = 0; i < kBars; ++i, time += 60) {
      const int open = price;
      price += static_cast<int>(random() % 21) - 10;
      const int high = std::max(open, price) + static_cast<int>(random() % 5);
      const int low = std::min(open, price) - static_cast<int>(random() % 5);
      const std::tm t = Utc(time);
      std::fprintf(out, "%04d.%02d.%02d,%02d:%02d,%d.%05d,%d.%05d,%d.%05d,%d.%05d,%d\n",
                   t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, open / 100000,
                   open % 100000, high / 100000, high % 100000, low / 100000, low % 100000,
                   price / 100000, price % 100000, static_cast<int>(random() % 300));
    }
    std::fclose(out);
    return file;
  }();
  return path;
}

struct ChildRun {
  double seconds = 0;  // wall clock
  double peakMB = 0;   // the child's largest resident set
};

ChildRun RunChild(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  ChildRun run;
  if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  run.peakMB = usage.ru_maxrss / 1024.0;
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

// range(0) = 0: the tick file to ticks; 1: the bar file to ticks (four lines a bar).
void BM_KmrConvertProcess(benchmark::State& state) {
  setenv("TZ", "Europe/Zurich", 0);
  const bool bars = state.range(0) == 1;
  const std::string& file = bars ? BarFile() : TickFile();
  const long lines = bars ? kBars : kTicks;
  const std::vector<std::string> convert = {std::string(KMR_BINARY_DIR) + "/bin/kmr-convert",
                                            "--quiet", file, std::string(Folder()) + "/out.txt"};
  ChildRun run, wc;
  for (auto _ : state) {
    wc = RunChild({"wc", "-l", file});
    run = RunChild(convert);
    state.SetIterationTime(run.seconds);
  }
  state.counters["lines_per_s"] = lines / run.seconds;
  state.counters["MB_per_s"] =
      static_cast<double>(std::filesystem::file_size(file)) / (1024.0 * 1024.0) / run.seconds;
  state.counters["x_wc"] = run.seconds / wc.seconds;
  state.counters["peak_MB"] = run.peakMB;
}

}  // namespace

BENCHMARK(BM_KmrConvertProcess)
    ->ArgName("bars")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_MAIN();
