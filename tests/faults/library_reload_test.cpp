// The tester's way out and back in, in one process: DeinitializeKMR, dlclose, dlopen,
// InitializeKMR, with the engine window open on a real X server (Xvfb).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/conformance/engine_api.h"

// Xlib last: its macros (None, Status, ...) would break the test framework's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// An Xvfb of our own on the first free display; stopped again by its pid.
class Xvfb {
 public:
  bool Start() {
    for (int n = 71; n < 99 && pid_ <= 0; ++n) {
      const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      struct stat info {};
      if (stat(lock.c_str(), &info) == 0 || stat(socket.c_str(), &info) == 0) continue;
      const std::string display = ":" + std::to_string(n);
      const pid_t pid = fork();
      if (pid < 0) return false;
      if (pid == 0) {
        execlp("Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", "-screen", "0", "800x600x24",
               static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int i = 0; i < 100; ++i) {
        if (stat(socket.c_str(), &info) == 0) {
          pid_ = pid;
          display_ = display;
          return true;
        }
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid) break;  // it gave up on this display
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      if (pid_ <= 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
      }
    }
    return pid_ > 0;
  }
  ~Xvfb() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  const std::string& Display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// Whether a top-level window titled "KMRWindow" is mapped on the display.
bool EngineWindowShown(Display* x) {
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) return false;
  bool found = false;
  for (unsigned i = 0; i < count && !found; ++i) {
    char* name = nullptr;
    XWindowAttributes attributes;
    if (XFetchName(x, children[i], &name) && name) {
      found = std::string(name) == "KMRWindow" &&
              XGetWindowAttributes(x, children[i], &attributes) &&
              attributes.map_state == IsViewable;
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

bool WaitFor(Display* x, bool shown) {
  for (int i = 0; i < 200; ++i) {
    if (EngineWindowShown(x) == shown) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  return false;
}

TEST(LibraryReload, UnloadAndLoadAgainWithTheWindowOpen) {
  Xvfb server;
  if (!server.Start()) GTEST_SKIP() << "Xvfb cannot start here; the reload runs only headless";
  setenv("DISPLAY", server.Display().c_str(), 1);
  unsetenv("KMR_NO_WINDOW");
  Display* x = XOpenDisplay(server.Display().c_str());
  ASSERT_NE(x, nullptr);

  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    EngineApi api;
    std::string error;
    ASSERT_TRUE(BindEngine(KMR_LIBRARY_PATH, api, error)) << error;
    ASSERT_EQ(InitializeDefaults(api, 0.0001), 1);
    api.SetKMRPriceParameters(0.2, 1.0, 1.5, 100.0, 100, 50, 0, 5.0, 0);
    EXPECT_TRUE(WaitFor(x, true)) << "the engine window did not come up";
    // The window repaints while ticks arrive.
    for (int i = 0; i < 2000; ++i) {
      const double price = 1.2 + 0.0001 * ((i * 37) % 200);
      if (i < 1000)
        api.ProcessHistoryTick(price, 820454400 + 60 * i, 1);
      else
        api.ProcessNewTick(price, price + 0.0002, 820454400 + 60 * i, 1);
      if (i == 1000) api.ProcessHistoryDataFinished();
      while (api.GetNextCommand() != 0) {
      }
    }
    api.DeinitializeKMR();
    EXPECT_TRUE(WaitFor(x, false)) << "the engine window stayed after DeinitializeKMR";
    api.DeinitializeKMR();  // a second time only says so
    ASSERT_EQ(dlclose(api.library), 0) << dlerror();
    if (void* still = dlopen(KMR_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD)) {
      // Still mapped (the loader may keep it); the next round then reuses it.
      dlclose(still);
      std::printf("note: the engine library stayed mapped after dlclose\n");
    }
  }
  XCloseDisplay(x);
}

}  // namespace
