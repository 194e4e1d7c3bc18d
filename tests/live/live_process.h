// Programs of the live tests as real processes: started with their output in files, waited for
// with a bound, stopped by their PID; free ports on 127.0.0.1 and private folders.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kmr::test {

class Process {
 public:
  Process() = default;
  ~Process();  // a process still running is killed
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // Runs `args` (args[0] the program) with `env` added to the environment; stdout and stderr go
  // to `logBase`.out and .err.
  void Start(const std::vector<std::string>& args, const std::string& logBase,
             const std::vector<std::string>& env = {});
  // Waits up to `seconds`; true with the exit status (128 + signal for a signal) when it ended.
  bool Wait(double seconds, int& status);
  void Signal(int signal);
  // SIGTERM, a bounded wait, then SIGKILL; the status.
  int Stop(double seconds = 10);
  bool Running() const { return pid_ > 0; }
  std::string Out() const;
  std::string Err() const;

 private:
  pid_t pid_ = -1;
  std::string logBase_;
};

int FreePort();
std::string Slurp(const std::string& path);
// Polls `condition` every 20 ms for up to `seconds`.
template <typename F>
bool WaitFor(double seconds, F condition);

}  // namespace kmr::test

#include <chrono>
#include <thread>

template <typename F>
bool kmr::test::WaitFor(double seconds, F condition) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return condition();
}
