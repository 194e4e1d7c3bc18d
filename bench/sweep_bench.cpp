// kmr-sweep's throughput on the bundled sample with run.sh's settings: a grid of 64 runs made
// one kmr-replay after another, by kmr-sweep on one worker (with and without the price cache)
// and on two; and the overhead of a run on a file of ten lines, where only process, library
// and engine set-up are left. Each figure is the best of three; the machine's other load makes
// them upper bounds. With KMR_BASELINE_SWEEP naming another kmr-sweep (say a build of main),
// its figures for the same sweeps come in the same run, each after the figure it stands beside.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tester/source/price_cache.h"

extern char** environ;

namespace {

const std::string kBin = std::string(KMR_BINARY_DIR) + "/bin/";
const std::string kSample =
    std::string(KMR_SOURCE_DIR) + "/data/USDCHF_30min_19960401-20010330.txt";

// Starts every command at once and waits for them all: the seconds until the last ended.
double RunTogether(const std::vector<std::vector<std::string>>& commands) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> pids;
  for (const std::vector<std::string>& args : commands) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) std::abort();
    pids.push_back(pid);
  }
  for (std::size_t i = 0; i < pids.size(); ++i) {
    int status = 0;
    waitpid(pids[i], &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "failed: %s\n", commands[i][0].c_str());
      std::exit(1);
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Run(const std::vector<std::string>& args) {
  return RunTogether({args});
}

// clang-format off
std::vector<std::string> Settings(const std::string& till) {
  return {"--defaults", "--history-till", till, "--tick-size", "0.0001", "--tick-value", "10",
          "--deal-size", "1", "--spread", "0.0002", "--trend", "h200,t100,x50,25,12",
          "--consider-first", "3", "--entry", "20,o40,t60", "--flags", "5"};
}
// clang-format on

const std::vector<std::string> kCad = {"50", "100", "150", "200"};
const std::vector<std::string> kSmoothing = {"1", "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                             "9", "10", "11", "12", "13", "14", "15", "16"};

template <typename F>
double Best(F&& f) {
  double best = 1e30;
  for (int i = 0; i < 3; ++i) best = std::min(best, f());
  return best;
}

std::vector<std::string> SweepCommand(const std::string& program, const std::string& out,
                                      const std::string& prices, const std::string& till,
                                      const std::vector<std::string>& extra,
                                      const std::vector<std::string>& cad,
                                      const std::vector<std::string>& smoothing) {
  std::filesystem::remove(out);
  std::vector<std::string> args = {program};
  for (const std::string& s : Settings(till)) args.push_back(s);
  args.insert(args.end(), extra.begin(), extra.end());
  std::string cads, smooths;
  for (const std::string& c : cad) cads += (cads.empty() ? "" : ",") + c;
  for (const std::string& s : smoothing) smooths += (smooths.empty() ? "" : ",") + s;
  for (const std::string& s : {std::string("--vary"), "cad-profit=" + cads, std::string("--vary"),
                               "smoothing1=" + smooths, std::string("--out"), out, prices})
    args.push_back(s);
  return args;
}

double Sweep(const std::string& program, const std::string& folder, const std::string& prices,
             const std::string& till, std::vector<std::string> extra,
             const std::vector<std::string>& cad, const std::vector<std::string>& smoothing) {
  return Run(SweepCommand(program, folder + "/bench.jsonl", prices, till, extra, cad, smoothing));
}

// Two one-worker sweeps of the same grid at once, apart in everything but the machine: what
// two cores give two independent processes, the bound for one sweep on two workers.
double TwoSweepsSideBySide(const std::string& program, const std::string& folder,
                           const std::string& prices, const std::string& till,
                           const std::vector<std::string>& cad,
                           const std::vector<std::string>& smoothing) {
  return RunTogether(
      {SweepCommand(program, folder + "/a.jsonl", prices, till, {"-j", "1"}, cad, smoothing),
       SweepCommand(program, folder + "/b.jsonl", prices, till, {"-j", "1"}, cad, smoothing)});
}

double OneAfterAnother(const std::string& prices, const std::string& till,
                       const std::vector<std::string>& cad,
                       const std::vector<std::string>& smoothing) {
  double total = 0;
  for (const std::string& c : cad)
    for (const std::string& s : smoothing) {
      std::vector<std::string> args = {kBin + "kmr-replay"};
      for (const std::string& setting : Settings(till)) args.push_back(setting);
      for (const std::string& a : {std::string("--json"), std::string("--cad-profit"), c,
                                   std::string("--smoothing1"), s, prices})
        args.push_back(a);
      total += Run(args);
    }
  return total;
}

}  // namespace

int main() {
  setenv("TZ", "Europe/Zurich", 0);
  setenv("KMR_NO_WINDOW", "1", 1);
  char pattern[] = "/tmp/kmr_sweep_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const std::string folder = pattern;
  const std::string till = "1997-12-01 00:00:00";
  const double runs = static_cast<double>(kCad.size() * kSmoothing.size());

  const double alone = Best([&] { return OneAfterAnother(kSample, till, kCad, kSmoothing); });
  const std::string sweep = kBin + "kmr-sweep";
  const char* baselineSet = std::getenv("KMR_BASELINE_SWEEP");
  const std::string baseline = baselineSet != nullptr ? baselineSet : "";
  struct Figures {
    double one = 0, plain = 0, two = 0;
  };
  const auto measure = [&](const std::string& program) {
    Figures f;
    f.one = Best([&] {
      return Sweep(program, folder, kSample, till, {"-j", "1"}, kCad, kSmoothing);
    });
    f.plain = Best([&] {
      return Sweep(program, folder, kSample, till, {"-j", "1", "--no-price-cache"}, kCad,
                   kSmoothing);
    });
    f.two = Best([&] {
      return Sweep(program, folder, kSample, till, {"-j", "2"}, kCad, kSmoothing);
    });
    return f;
  };
  const Figures now = measure(sweep);
  const Figures base = baseline.empty() ? Figures{} : measure(baseline);
  std::printf("sample (62,496 lines), grid of %.0f runs:\n", runs);
  std::printf("  kmr-replay one after another   %7.3f s  %6.1f runs/s\n", alone, runs / alone);
  const auto line = [&](const char* what, double seconds, double one) {
    std::printf("  %-30s %7.3f s  %6.1f runs/s", what, seconds, runs / seconds);
    if (one > 0)
      std::printf("  %.2fx -j1, %.2fx one after another", one / seconds, alone / seconds);
    std::printf("\n");
  };
  const auto lines = [&](const char* what, double Figures::*figure, bool ratio) {
    line(what, now.*figure, ratio ? now.one : 0);
    if (!baseline.empty()) line("  (baseline)", base.*figure, ratio ? base.one : 0);
  };
  lines("kmr-sweep -j1 --no-price-cache", &Figures::plain, false);
  lines("kmr-sweep -j1", &Figures::one, false);
  lines("kmr-sweep -j2", &Figures::two, true);
  const double sideBySide =
      Best([&] { return TwoSweepsSideBySide(sweep, folder, kSample, till, kCad, kSmoothing); });
  std::printf(
      "  two kmr-sweep -j1 side by side %7.3f s  %6.1f runs/s  %.2fx -j1 (the bound of -j2)\n",
      sideBySide, 2 * runs / sideBySide, 2 * now.one / sideBySide);
  // Ten lines: what is left is the cost of a run itself.
  const std::string tiny = folder + "/tiny.txt";
  {
    std::ifstream in(kSample);
    std::ofstream out(tiny);
    std::string line;
    for (int i = 0; i < 10 && std::getline(in, line); ++i) out << line << "\n";
  }
  std::vector<std::string> many;
  for (int i = 1; i <= 16; ++i) many.push_back(std::to_string(i));
  const double tinyRuns = static_cast<double>(kCad.size() * many.size());
  const double tinyAlone = Best([&] { return OneAfterAnother(tiny, till, kCad, many); });
  const double tinySweep = Best([&] {
    return Sweep(sweep, folder, tiny, till, {"-j", "1"}, kCad, many);
  });
  std::printf("per-run overhead (10-line file, %.0f runs, one worker):\n", tinyRuns);
  std::printf("  kmr-replay process per run     %7.2f ms per run\n", 1000 * tinyAlone / tinyRuns);
  std::printf("  kmr-sweep -j1                  %7.2f ms per run\n", 1000 * tinySweep / tinyRuns);
  if (!baseline.empty()) {
    const double tinyBase = Best([&] {
      return Sweep(baseline, folder, tiny, till, {"-j", "1"}, kCad, many);
    });
    std::printf("    (baseline)                   %7.2f ms per run\n", 1000 * tinyBase / tinyRuns);
  }
  const double parse = Best([&] {
    const auto start = std::chrono::steady_clock::now();
    const auto cache = kmr::PriceCache::Build(kSample, false);
    if (cache == nullptr || cache->Size() != 62496) std::abort();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  });
  std::printf("reading and checking the sample once (the price cache): %.1f ms\n", 1000 * parse);
  std::filesystem::remove_all(folder);
  return 0;
}
