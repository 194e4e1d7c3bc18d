#include "tests/sweep/sweep_programs.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

extern char** environ;

namespace kmr::test {

pid_t StartSweep(const std::vector<std::string>& args) {
  std::vector<std::string> all = {KMR_SWEEP_PROGRAM, "--defaults", "--library", KMR_ENGINE_LIBRARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return pid;
}

bool KillOnceItHolds(pid_t pid, const std::string& path, std::size_t lines) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (Lines(Slurp(path)).size() < lines && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  kill(-pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFSIGNALED(status);
}

Outcome Sweep(std::vector<std::string> args) {
  std::vector<std::string> all = {"--defaults", "--library", KMR_ENGINE_LIBRARY};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(KMR_SWEEP_PROGRAM, {all, {}, {}});
}

std::vector<std::string> SampleTradingSettings() {
  return {"--tick-size",      "0.0001",
          "--tick-value",     "10",
          "--deal-size",      "1",
          "--spread",         "0.0002",
          "--trend",          "h200,t100,x50,25,12",
          "--consider-first", "3",
          "--entry",          "20,o40,t60",
          "--flags",          "5"};
}

std::vector<std::string> SampleSettings(const std::string& till) {
  std::vector<std::string> settings = {"--history-till", till};
  for (std::string& setting : SampleTradingSettings()) settings.push_back(std::move(setting));
  return settings;
}

std::string SampleHead(const std::string& folder, int lines) {
  std::ifstream in(KMR_SAMPLE_DATA, std::ios::binary);
  const std::string path = folder + "/sample_head.txt";
  std::ofstream out(path, std::ios::binary);
  std::string line;
  for (int i = 0; i < lines && std::getline(in, line); ++i) out << line << "\n";
  return path;
}

Outcome ReplayCommand(const std::string& command) {
  const std::size_t at = command.find("kmr-replay ");
  std::string line = command;
  if (at != std::string::npos) line.replace(at, 10, KMR_REPLAY_PROGRAM);
  return RunProgram("/bin/sh", {{"-c", line + " --json"}, {}, {}});
}

std::vector<JsonValue> Rows(const std::string& path) {
  std::vector<JsonValue> rows;
  for (const std::string& line : Lines(Slurp(path))) {
    std::optional<JsonValue> value = ParseJson(line);
    EXPECT_TRUE(value.has_value()) << line;
    if (value) rows.push_back(std::move(*value));
  }
  return rows;
}

}  // namespace kmr::test
