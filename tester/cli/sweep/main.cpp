// kmr-sweep: runs kmr-replay over a grid of settings on every core, or merges shard results.
#include <cstdio>
#include <string>
#include <vector>

#include "tester/sweep/sweep_options.h"
#include "tester/sweep/sweep_session.h"
#include "tester/sweep/walk_forward_session.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    kmr::SweepOptions options;
    try {
      options = kmr::ParseSweepOptions(args);
    } catch (const kmr::SweepOptionError& error) {
      std::fprintf(stderr, "kmr-sweep: %s\nTry 'kmr-sweep --help'.\n", error.what());
      return kmr::kSweepExitBadInput;
    }
    if (options.help) {
      std::fputs(kmr::kSweepHelp, stdout);
      return 0;
    }
    if (options.merge && options.walkForward) {
      std::fputs("kmr-sweep: --merge is not for --walk-forward\n", stderr);
      return kmr::kSweepExitBadInput;
    }
    if (options.merge) return kmr::MergeSweepShards(options, stdout, stderr);
    if (options.walkForward) return kmr::RunWalkForward(options, stdout, stderr);
    return kmr::RunSweep(options, stdout, stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kmr-sweep: %s\n", error.what());
    return kmr::kSweepExitBadInput;
  }
}
