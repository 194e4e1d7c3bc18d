// The sweep's axes: any --vary text either gives values that kmr-replay takes, each once, or
// one SweepOptionError; never another exception, never an empty value.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

#include "tester/replay/replay_options.h"
#include "tester/sweep/sweep_axes.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 512) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const kmr::SweepAxis axis = kmr::ParseVary(text);
    FUZZ_CHECK(!axis.name.empty() && !axis.values.empty());
    FUZZ_CHECK(text.compare(0, axis.name.size() + 1, axis.name + "=") == 0);
    // A list from 512 bytes holds a few hundred values; more come from a range, whose values
    // rise, so that neighbours differing is enough there (a set of a million strings would
    // take the target's whole time budget).
    std::set<std::string> seen;
    for (std::size_t i = 0; i < axis.values.size(); ++i) {
      const std::string& value = axis.values[i];
      FUZZ_CHECK(!value.empty());
      if (axis.values.size() <= 512)
        FUZZ_CHECK(seen.insert(value).second);
      else if (i > 0)
        FUZZ_CHECK(value != axis.values[i - 1]);
    }
    // The values again through kmr-replay's own parser: each is taken (a range's too, though
    // only some of them were checked).
    for (std::size_t i = 0; i < axis.values.size(); i += 1 + axis.values.size() / 64)
      kmr::ParseReplayOptions({"--" + axis.name, axis.values[i], "prices.txt"});
    kmr::ParseReplayOptions({"--" + axis.name, axis.values.back(), "prices.txt"});
    if (axis.values.size() <= 1000) {
      const std::vector<kmr::SweepRun> runs = kmr::MakeSweepRuns({"x.txt"}, {axis}, {}, false);
      FUZZ_CHECK(runs.size() == axis.values.size());
    }
  } catch (const kmr::SweepOptionError& error) {
    FUZZ_CHECK(std::string(error.what()).find('\n') == std::string::npos);
  }
  // The same text as a range on its own: numbers or nothing, in steps, inside its ends.
  try {
    const std::vector<std::string> values = kmr::ExpandRange("x", text);
    for (std::size_t i = 1; i < values.size(); ++i) FUZZ_CHECK(values[i] != values[i - 1]);
  } catch (const kmr::SweepOptionError&) {
  }
  return 0;
}
