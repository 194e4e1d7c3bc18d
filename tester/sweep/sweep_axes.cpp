#include "tester/sweep/sweep_axes.h"

#include <algorithm>
#include <set>

#include "tester/replay/replay_options.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

constexpr std::size_t kMaxAxisValues = 1000000;

// Options that make no sense to vary: they change what a run prints or stores, not its result.
bool NotAnAxis(std::string_view name) {
  for (std::string_view option : {"help", "defaults", "json", "show-settings", "save", "report"})
    if (name == option) return true;
  return false;
}

bool IsChartList(std::string_view name) {
  return name == "trend" || name == "entry";
}

std::string Shown(std::string_view text) {
  return "'" + std::string(text) + "'";
}

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(separator, start);
    parts.emplace_back(text.substr(start, at == std::string_view::npos ? text.npos : at - start));
    if (at == std::string_view::npos) break;
    start = at + 1;
  }
  return parts;
}

// A decimal number "[-]digits[.digits]" as an integer count of 10^-scale.
struct Decimal {
  bool negative = false;
  std::string whole, fraction;
};

bool ParseDecimalText(std::string_view text, Decimal& out) {
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) out.negative = text[i++] == '-';
  const std::size_t wholeStart = i;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
  out.whole = std::string(text.substr(wholeStart, i - wholeStart));
  if (i < text.size() && text[i] == '.') {
    const std::size_t fractionStart = ++i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    out.fraction = std::string(text.substr(fractionStart, i - fractionStart));
  }
  return i == text.size() && !(out.whole.empty() && out.fraction.empty());
}

// The value in units of 10^-scale; false when it does not fit.
bool Scaled(const Decimal& d, std::size_t scale, __int128& out) {
  std::string digits = d.whole + d.fraction + std::string(scale - d.fraction.size(), '0');
  __int128 value = 0;
  for (char c : digits) {
    value = value * 10 + (c - '0');
    if (value > static_cast<__int128>(1) << 100) return false;
  }
  out = d.negative ? -value : value;
  return true;
}

std::string ScaledText(__int128 value, std::size_t scale) {
  const bool negative = value < 0;
  if (negative) value = -value;
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
    value /= 10;
  } while (value > 0);
  if (digits.size() <= scale) digits.insert(0, scale + 1 - digits.size(), '0');
  std::string whole = digits.substr(0, digits.size() - scale);
  std::string fraction = digits.substr(digits.size() - scale);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = whole + (fraction.empty() ? "" : "." + fraction);
  return negative && text != "0" ? "-" + text : text;
}

std::uint64_t SplitMix64(std::uint64_t& state) {
  std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// Uniform in [0, bound): draws above the largest multiple of `bound` are drawn again.
std::uint64_t Below(std::uint64_t bound, std::uint64_t& state) {
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % bound;
  for (;;) {
    const std::uint64_t draw = SplitMix64(state);
    if (draw < limit) return draw % bound;
  }
}

}  // namespace

std::vector<std::string> ExpandRange(std::string_view name, std::string_view text) {
  const std::vector<std::string> parts = Split(text, ':');
  if (parts.size() != 3) return {};
  Decimal lo, hi, step;
  if (!ParseDecimalText(parts[0], lo) || !ParseDecimalText(parts[1], hi) ||
      !ParseDecimalText(parts[2], step))
    return {};
  const std::string where = "--vary " + std::string(name) + ": range " + Shown(text);
  const std::size_t scale =
      std::max({lo.fraction.size(), hi.fraction.size(), step.fraction.size()});
  __int128 low = 0, high = 0, by = 0;
  if (scale > 30 || !Scaled(lo, scale, low) || !Scaled(hi, scale, high) ||
      !Scaled(step, scale, by))
    throw SweepOptionError(where + ": numbers too long");
  if (by <= 0) throw SweepOptionError(where + ": the step must be above 0");
  if (high < low) throw SweepOptionError(where + ": the end is below the start");
  if ((high - low) / by >= static_cast<__int128>(kMaxAxisValues))
    throw SweepOptionError(where + ": more than " + std::to_string(kMaxAxisValues) + " values");
  std::vector<std::string> values;
  for (__int128 v = low; v <= high; v += by) values.push_back(ScaledText(v, scale));
  return values;
}

SweepAxis ParseVary(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0)
    throw SweepOptionError("--vary: expected NAME=VALUES, got " + Shown(text));
  SweepAxis axis;
  axis.name = std::string(text.substr(0, equals));
  const std::string_view values = text.substr(equals + 1);
  const std::string where = "--vary " + axis.name;
  if (axis.name.rfind("-", 0) == 0)
    throw SweepOptionError(where + ": name the option without its dashes");
  if (NotAnAxis(axis.name)) throw SweepOptionError(where + ": not an option to vary");
  if (values.empty()) throw SweepOptionError(where + ": no values");
  if (IsChartList(axis.name)) {
    axis.values = Split(values, '|');
  } else {
    axis.values = ExpandRange(axis.name, values);
    if (axis.values.empty()) axis.values = Split(values, ',');
  }
  if (axis.values.size() > kMaxAxisValues)
    throw SweepOptionError(where + ": more than " + std::to_string(kMaxAxisValues) + " values");
  std::set<std::string_view> seen;
  for (const std::string& value : axis.values) {
    if (value.empty()) throw SweepOptionError(where + ": an empty value in " + Shown(values));
    if (!seen.insert(value).second)
      throw SweepOptionError(where + ": " + Shown(value) + " is given twice");
    try {
      const ReplayOptions probe = ParseReplayOptions({"--" + axis.name + "=" + value});
      (void)probe;
    } catch (const OptionError& error) {
      throw SweepOptionError(where + ": " + error.what());
    }
  }
  return axis;
}

std::uint64_t GridSize(const std::vector<SweepAxis>& axes) {
  std::uint64_t size = 1;
  for (const SweepAxis& axis : axes) {
    if (axis.values.empty() || size > kMaxSweepRuns / axis.values.size())
      throw SweepOptionError("--vary: the grid holds more than " + std::to_string(kMaxSweepRuns) +
                             " runs");
    size *= axis.values.size();
  }
  return size;
}

std::vector<std::pair<std::string, std::string>> GridPoint(const std::vector<SweepAxis>& axes,
                                                           std::uint64_t position) {
  std::vector<std::pair<std::string, std::string>> point(axes.size());
  for (std::size_t i = axes.size(); i-- > 0;) {
    const std::uint64_t count = axes[i].values.size();
    point[i] = {axes[i].name, axes[i].values[position % count]};
    position /= count;
  }
  return point;
}

std::vector<std::uint64_t> SamplePositions(std::uint64_t gridSize, std::uint64_t count,
                                           std::uint64_t seed) {
  // Floyd's selection: `count` draws, each distinct, whatever the grid's size.
  std::uint64_t state = seed;
  std::set<std::uint64_t> chosen;
  for (std::uint64_t j = gridSize - count; j < gridSize; ++j) {
    const std::uint64_t pick = Below(j + 1, state);
    if (!chosen.insert(pick).second) chosen.insert(j);
  }
  return {chosen.begin(), chosen.end()};
}

std::vector<SweepRun> MakeSweepRuns(const std::vector<std::string>& baseArgs,
                                    const std::vector<SweepAxis>& axes,
                                    const std::vector<std::uint64_t>& positions, bool sampled) {
  std::vector<SweepRun> runs;
  const std::uint64_t size = sampled ? positions.size() : GridSize(axes);
  runs.reserve(size);
  for (std::uint64_t i = 0; i < size; ++i) {
    SweepRun run;
    run.index = i;
    run.params = GridPoint(axes, sampled ? positions[i] : i);
    run.replayArgs = baseArgs;
    for (const auto& [name, value] : run.params) {
      run.replayArgs.push_back("--" + name);
      run.replayArgs.push_back(value);
    }
    runs.push_back(std::move(run));
  }
  return runs;
}

std::string SweepIdOf(const std::vector<SweepRun>& runs) {
  std::uint64_t hash = 0xcbf29ce484222325ull;  // FNV-1a
  auto add = [&](std::string_view bytes) {
    for (unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3ull;
  };
  for (const SweepRun& run : runs) {
    add(std::to_string(run.index));
    for (const std::string& arg : run.replayArgs) {
      add(arg);
      add(std::string_view("\0", 1));
    }
    add("\n");
  }
  return Format("%016llx", static_cast<unsigned long long>(hash));
}

}  // namespace kmr
