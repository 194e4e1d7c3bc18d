// The engine library as a host loads it, with its window on a real X server.
// clang-format off
// gtest first: Xlib's macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
// clang-format on

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "common/kmr_exports.h"
#include "engine/window/menu.h"
#include "trading_probe.h"
#include "x_probe.h"
#include "xvfb.h"

namespace kmr::testing {
namespace {

struct Engine {
  void* handle = nullptr;
  decltype(&::InitializeKMR) initialize = nullptr;
  decltype(&::SetKMRPriceParameters) setPrices = nullptr;
  decltype(&::DeinitializeKMR) deinitialize = nullptr;
  decltype(&::GetNextCommand) nextCommand = nullptr;
  decltype(&::ProcessHistoryDataFinished) historyFinished = nullptr;
  decltype(&::ProcessNewTick) newTick = nullptr;

  void Initialize() {
    initialize(0.0001, 20, 8, 2.0, 400, 800, 0, 0, 0, 0, 0, 0, 2, 5, 7, 0, 0, 0, 0, 0, 0);
  }
};

template <typename F>
void Resolve(void* handle, const char* name, F& out) {
  out = reinterpret_cast<F>(dlsym(handle, name));
  ASSERT_NE(out, nullptr) << name;
}

class EngineWindowOnX : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display = XvfbDisplay();
    if (display.empty()) return;
    setenv("KMR_NO_WINDOW", "1", 1);  // the probe's engine must not open a window of its own
    tradingOpensManualDeals = TradingOpensManualDeals();
    setenv("DISPLAY", display.c_str(), 1);
    unsetenv("KMR_NO_WINDOW");
    engine.handle = dlopen(KMR_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
  }

  void SetUp() override {
    if (display.empty()) GTEST_SKIP() << "Xvfb cannot start here";
    ASSERT_NE(engine.handle, nullptr) << dlerror();
    Resolve(engine.handle, "InitializeKMR", engine.initialize);
    Resolve(engine.handle, "SetKMRPriceParameters", engine.setPrices);
    Resolve(engine.handle, "DeinitializeKMR", engine.deinitialize);
    Resolve(engine.handle, "GetNextCommand", engine.nextCommand);
    Resolve(engine.handle, "ProcessHistoryDataFinished", engine.historyFinished);
    Resolve(engine.handle, "ProcessNewTick", engine.newTick);
    x = XOpenDisplay(display.c_str());
    ASSERT_NE(x, nullptr);
  }

  void TearDown() override {
    if (engine.deinitialize) engine.deinitialize();
    if (x) XCloseDisplay(x);
  }

  int Windows(Window* first = nullptr) { return CountWindows(x, "KMRWindow", first); }

  static inline std::string display;
  static inline Engine engine;
  static inline bool tradingOpensManualDeals = false;
  Display* x = nullptr;
};

TEST_F(EngineWindowOnX, OpensOneWindowClosesItAndOpensANewOneLater) {
  const int threadsBefore = ThreadCount();
  engine.Initialize();
  Window w = 0;
  ASSERT_TRUE(WaitFor([&] { return Windows(&w) == 1; }));
  ASSERT_TRUE(WaitFor([&] {
    XWindowAttributes a{};
    return XGetWindowAttributes(x, w, &a) && a.map_state == IsViewable;
  }));
  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(x, w, &hint));
  EXPECT_STREQ(hint.res_class, "KMRWindowsClass");
  XFree(hint.res_name);
  XFree(hint.res_class);
  XWindowAttributes a{};
  ASSERT_TRUE(XGetWindowAttributes(x, w, &a));
  EXPECT_EQ(a.x, 40);
  EXPECT_EQ(a.y, 40);
  EXPECT_EQ(a.width, 600);
  EXPECT_EQ(a.height, 600);
  EXPECT_EQ(a.map_state, IsViewable);
  EXPECT_EQ(ThreadCount(), threadsBefore + 1);

  engine.Initialize();  // while open: the same window, no second thread
  Window again = 0;
  EXPECT_EQ(Windows(&again), 1);
  EXPECT_EQ(again, w);
  EXPECT_EQ(ThreadCount(), threadsBefore + 1);

  SendDeleteRequest(x, w);  // the window manager's close button does nothing
  EXPECT_FALSE(WaitFor([&] { return Windows() == 0; }, std::chrono::milliseconds(300)));

  engine.deinitialize();
  EXPECT_EQ(Windows(), 0);
  EXPECT_EQ(ThreadCount(), threadsBefore);
  engine.deinitialize();  // a second time only writes its debugger line

  engine.Initialize();
  EXPECT_TRUE(WaitFor([&] { return Windows() == 1; }));
  engine.deinitialize();
  EXPECT_EQ(Windows(), 0);
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(EngineWindowOnX, OpenLongFromTheMenuAnsweredYesQueuesAnOpenCommand) {
  engine.Initialize();
  engine.setPrices(1, 1, 0, 1000, 100, 10, 1, 100, 0);
  engine.historyFinished();
  engine.newTick(1.0, 1.0001, 1000000, 0);
  while (engine.nextCommand() != 0) {
  }
  Window w = 0;
  ASSERT_TRUE(WaitFor([&] { return Windows(&w) == 1; }));
  // Two trend rows of 600 x 600: the newest message line starts just under y = 290.
  const auto newestLine = [&] { return Pixels(x, w, 2, 290, 280, 12); };
  ASSERT_TRUE(WaitFor([&] { return HasInk(x, w, 0, 0, 600, 600); }));  // first picture is up
  std::this_thread::sleep_for(std::chrono::milliseconds(200));         // and the repaints after it
  const std::vector<unsigned long> before = newestLine();
  ASSERT_FALSE(before.empty());
  const auto messageShown = [&] {
    const std::vector<unsigned long> now = newestLine();
    return !now.empty() && now != before;
  };

  Menu menu;
  BuildMenu(true, true, menu);
  const int openLong = 7;
  ASSERT_EQ(menu.items[openLong].id, 258);
  SendButton(x, w, Button3, 100, 100);
  SendButton(x, w, Button1, 120, 100 + MenuItemTop(menu, openLong) + kMenuRowHeight / 2);
  SendKey(x, w, XK_y, 300, 300);

  EXPECT_TRUE(WaitFor(messageShown)) << "no \"Open Manual deal request\" line on the screen";
  if (tradingOpensManualDeals) {
    long long command = 0;
    EXPECT_TRUE(WaitFor([&] { return (command = engine.nextCommand()) != 0; }));
    EXPECT_EQ(command, (0x11LL << 32) | 1);
  } else {
    std::printf("note: the trading logic of this build opens no manual deals yet\n");
  }
  engine.deinitialize();
  EXPECT_EQ(Windows(), 0);
}

TEST_F(EngineWindowOnX, NoAnswerOpensNothingAndTheWheelRepaints) {
  engine.Initialize();
  Window w = 0;
  ASSERT_TRUE(WaitFor([&] { return Windows(&w) == 1; }));
  // The grid line above the status line lies at y = 580 with the starting text size.
  ASSERT_TRUE(WaitFor([&] { return HasInk(x, w, 590, 580, 1, 1); }));
  Menu menu;
  BuildMenu(true, true, menu);
  SendKey(x, w, XK_Menu, 100, 100);  // the Menu key opens it at the pointer
  SendButton(x, w, Button1, 120, 100 + MenuItemTop(menu, 7) + kMenuRowHeight / 2);
  SendKey(x, w, XK_n, 300, 300);
  SendKey(x, w, XK_Escape, 300, 300);  // nothing open any more: ignored
  for (int i = 0; i < 5; ++i) SendButton(x, w, Button4, 100, 500);  // larger text
  // The larger text raises the status line, so its grid line leaves y = 580; the
  // menu and the box were gone by then and no message appeared.
  EXPECT_TRUE(WaitFor([&] { return !HasInk(x, w, 590, 580, 1, 1); }));
  EXPECT_FALSE(HasInk(x, w, 2, 292, 280, 10));
  EXPECT_EQ(engine.nextCommand(), 0);
}

}  // namespace
}  // namespace kmr::testing
