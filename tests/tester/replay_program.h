// Runs the real kmr-replay with the test's private settings folder and catches its output.
#pragma once

#include <string>
#include <vector>

#include "tests/tester/test_support.h"

namespace kmr::test {

struct Outcome {
  int status = -1;
  std::string out, err;
};

class ReplayProgramTest : public TesterTest {
 protected:
  Outcome Replay(const std::vector<std::string>& args);
  static std::string Slurp(const std::string& path);
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }
};

}  // namespace kmr::test
