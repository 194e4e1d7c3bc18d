// kmr-convert and kmr-replay as the tests run them.
#pragma once

#include <string>
#include <vector>

#include "tests/convert/run_program.h"

namespace kmr::test {

inline const std::string kConvertData = std::string(KMR_TEST_DATA) + "/convert";

inline Outcome Convert(std::vector<std::string> args,
                       std::vector<std::pair<std::string, std::string>> env = {},
                       std::string input = {}) {
  return RunProgram(KMR_CONVERT_PROGRAM, {std::move(args), std::move(env), std::move(input)});
}

// kmr-replay from the built-in defaults, the real engine, tick size 0.00001 unless given.
inline Outcome Replay(std::vector<std::string> args) {
  std::vector<std::string> all = {"--defaults", "--library", KMR_ENGINE_LIBRARY};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(KMR_REPLAY_PROGRAM, {all, {}, {}});
}

}  // namespace kmr::test
