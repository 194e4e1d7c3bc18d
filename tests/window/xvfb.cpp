#include "xvfb.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace kmr::testing {

namespace {

pid_t g_server = -1;

void StopServer() {
  if (g_server <= 0) return;
  kill(g_server, SIGTERM);
  waitpid(g_server, nullptr, 0);
  g_server = -1;
}

// Xvfb picks a free display itself and writes its number to the descriptor given with
// -displayfd, so parallel test runs never collide.
std::string Start() {
  int fds[2];
  if (pipe(fds) != 0) return "";
  const pid_t child = fork();
  if (child < 0) return "";
  if (child == 0) {
    close(fds[0]);
    // The server goes with the test process, however that ends, and keeps its output to
    // itself so that nothing waiting on the test's output waits on the server too.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    const int devNull = open("/dev/null", O_RDWR);
    if (devNull >= 0) {
      dup2(devNull, 1);
      dup2(devNull, 2);
    }
    const std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-noreset",
           "-nolisten", "tcp", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  g_server = child;
  std::atexit(StopServer);
  std::string number;
  pollfd p{fds[0], POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (poll(&p, 1, 200) <= 0) continue;
    char c;
    const ssize_t got = read(fds[0], &c, 1);
    if (got <= 0) break;
    if (c == '\n') break;
    number += c;
  }
  close(fds[0]);
  if (number.empty()) {
    StopServer();
    return "";
  }
  const std::string name = ":" + number;
  for (int i = 0; i < 50; ++i) {
    if (Display* d = XOpenDisplay(name.c_str())) {
      XCloseDisplay(d);
      return name;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  StopServer();
  return "";
}

}  // namespace

const std::string& XvfbDisplay() {
  static const std::string name = Start();
  return name;
}

}  // namespace kmr::testing
