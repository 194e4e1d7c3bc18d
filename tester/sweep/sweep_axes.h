// The axes of a sweep (--vary NAME=VALUES), the grid they span, and a reproducible random
// sample of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tester/sweep/sweep_runner.h"

namespace kmr {

// A bad axis or sweep option; what() is one line naming it.
class SweepOptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SweepAxis {
  std::string name;  // a kmr-replay option name without its dashes
  std::vector<std::string> values;
};

// The most runs a sweep may hold; more is surely a mistake in an axis.
inline constexpr std::uint64_t kMaxSweepRuns = 100000000;

// "NAME=VALUES": a list "a,b,c", a range "lo:hi:step" (inclusive, decimal-exact), or for the
// chart lists (trend, entry) values separated by '|'. Every value is checked as kmr-replay
// would check it. Throws SweepOptionError.
SweepAxis ParseVary(std::string_view text);

// lo:hi:step as the decimal texts of its values, or an empty list when `text` is not three
// numbers separated by ':'. Throws SweepOptionError for a range that is numbers but wrong.
std::vector<std::string> ExpandRange(std::string_view name, std::string_view text);

// How many runs the grid holds; throws when more than kMaxSweepRuns.
std::uint64_t GridSize(const std::vector<SweepAxis>& axes);

// The grid's point `position` (the first axis varies slowest) as its axis values.
std::vector<std::pair<std::string, std::string>> GridPoint(const std::vector<SweepAxis>& axes,
                                                           std::uint64_t position);

// `count` distinct grid positions drawn with `seed`, in ascending order; the same on every
// machine (splitmix64 and an unbiased mapping of its own).
std::vector<std::uint64_t> SamplePositions(std::uint64_t gridSize, std::uint64_t count,
                                           std::uint64_t seed);

// The run list: the base arguments, then "--NAME VALUE" for each axis, for every grid position
// given (all of them when `positions` is empty and `sampled` false).
std::vector<SweepRun> MakeSweepRuns(const std::vector<std::string>& baseArgs,
                                    const std::vector<SweepAxis>& axes,
                                    const std::vector<std::uint64_t>& positions, bool sampled);

// A hash of the run list (every argument of every run), 16 hex digits: rows of one sweep carry
// it, so that results of different sweeps are never mixed.
std::string SweepIdOf(const std::vector<SweepRun>& runs);

}  // namespace kmr
