#include "tests/convert/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace kmr::test {

namespace {

// Before any test: the tester's clock, and no engine window.
const bool kZoneSet = [] {
  setenv("TZ", "Europe/Zurich", 1);
  setenv("KMR_NO_WINDOW", "1", 1);
  tzset();
  return true;
}();

}  // namespace

Outcome RunProgram(const std::string& program, const RunSpec& spec) {
  char folder[] = "/tmp/kmr_run_XXXXXX";
  Outcome outcome;
  if (mkdtemp(folder) == nullptr) return outcome;
  const std::string in = std::string(folder) + "/in", out = std::string(folder) + "/out",
                    err = std::string(folder) + "/err";
  std::ofstream(in, std::ios::binary) << spec.input;

  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const auto& [name, value] : spec.env) replaced |= entry.rfind(name + "=", 0) == 0;
    if (!replaced) env.push_back(entry);
  }
  for (const auto& [name, value] : spec.env) env.push_back(name + "=" + value);
  std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
  for (const std::string& arg : spec.args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int spawned =
      posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned == 0) {
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(spec.seconds);
    for (;;) {
      const pid_t done = waitpid(pid, &status, spec.seconds > 0 ? WNOHANG : 0);
      if (done == pid || (done < 0 && errno != EINTR)) break;
      if (done == 0 && std::chrono::steady_clock::now() >= deadline) {
        kill(pid, SIGKILL);
        outcome.timedOut = true;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        break;
      }
      if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    outcome.status = WIFEXITED(status) && !outcome.timedOut ? WEXITSTATUS(status) : -1;
  }
  outcome.out = Slurp(out);
  outcome.err = Slurp(err);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return outcome;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void FolderTest::SetUp() {
  char pattern[] = "/tmp/kmr_convert_test_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  setenv("HOME", dir_.c_str(), 1);
  setenv("XDG_CONFIG_HOME", (dir_ + "/config").c_str(), 1);
}

void FolderTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string FolderTest::WriteFile(const std::string& name, const std::string& content) {
  const std::string path = Path(name);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

}  // namespace kmr::test
