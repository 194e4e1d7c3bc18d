#include "tests/tester/replay_program.h"

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kmr::test {

Outcome ReplayProgramTest::Replay(const std::vector<std::string>& args) {
  std::string command = std::string("'") + KMR_REPLAY_PROGRAM + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " >'" + dir_ + "/out' 2>'" + dir_ + "/err' </dev/null";
  const int raw = std::system(command.c_str());
  Outcome outcome;
  outcome.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  outcome.out = Slurp(dir_ + "/out");
  outcome.err = Slurp(dir_ + "/err");
  return outcome;
}

std::string ReplayProgramTest::Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace kmr::test
