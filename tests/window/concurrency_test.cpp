// The host's thread and the window thread on one engine at once. Meant for a ThreadSanitizer
// build as much as for the normal one: with Xvfb the real window paints and takes input; without
// it the window's snapshot, painting and manual commands run on a thread of their own.
// clang-format off
// gtest first: Xlib's macros (None, Bool) clash with its names.
#include <gtest/gtest.h>
// clang-format on

#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <cairo.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/context/message_list.h"
#include "engine/context/pipeline.h"
#include "engine/trading/deal_table.h"
#include "engine/trading/trading_state.h"
#include "engine/window/manual_commands.h"
#include "engine/window/menu.h"
#include "engine/window/paint.h"
#include "engine/window/snapshot.h"
#include "engine/window/window.h"
#include "trading_probe.h"
#include "x_probe.h"
#include "xvfb.h"

namespace kmr::testing {
namespace {

constexpr int kTicks = 3000;

// The host: ticks, history, message lines and the command queue, each under the lock as the
// exports hold it.
void RunHost(EngineContext& context, std::atomic<bool>& running) {
  for (int i = 0; i < kTicks; ++i) {
    std::lock_guard<std::mutex> hold(context.lock);
    const double price = 1.0 + 0.001 * ((i * 7) % 50);
    if (i == 100) ProcessHistoryDataFinished(context);
    if (i < 100)
      ProcessHistoryTick(context, price, 1000000 + i * 60, i % 5 == 0);
    else
      ProcessNewTick(context, price, price + 0.0001, 1000000 + i * 60, i % 5 == 0);
    if (i % 25 == 0) LogMessage(context, "host line");
    if (context.trading) GetNextCommand(*context.trading);
  }
  running.store(false);
}

// What the window thread does, driven directly.
void RunWindowSide(EngineContext& context, std::atomic<bool>& running) {
  auto snapshot = std::make_unique<WindowSnapshot>();
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 300, 300);
  const int commands[] = {262, 263, 258, 259, 261, 257, 256, 262, 263, 260};
  int n = 0;
  while (running.load()) {
    {
      std::lock_guard<std::mutex> hold(context.lock);
      TakeSnapshot(context.window->context, *context.window, 300, *snapshot);
    }
    cairo_t* cr = cairo_create(surface);
    PaintWindow(*snapshot, cr, 300, 300);
    cairo_destroy(cr);
    RunManualCommand(context, *context.window, commands[n++ % 10],
                     [](const char*, const char*) { return Answer::kYes; });
  }
  cairo_surface_destroy(surface);
}

TEST(WindowConcurrency, HostCallsPaintingAndManualCommandsDoNotInterleave) {
  const std::string& display = XvfbDisplay();
  const bool realWindow = !display.empty();
  if (realWindow) {
    setenv("DISPLAY", display.c_str(), 1);
    unsetenv("KMR_NO_WINDOW");
  } else {
    setenv("KMR_NO_WINDOW", "1", 1);
  }
  std::unique_ptr<EngineContext> context(CreateEngineContext(nullptr));
  {
    std::lock_guard<std::mutex> hold(context->lock);
    ConfigureEngine(*context, kTwoByTwo);
    SetPriceParameters(*context, kRoomyMoney);
  }

  std::atomic<bool> running{true};
  std::thread host(RunHost, std::ref(*context), std::ref(running));
  std::thread side(RunWindowSide, std::ref(*context), std::ref(running));

  if (realWindow) {  // input for the real window while the host ticks
    Display* x = XOpenDisplay(display.c_str());
    ASSERT_NE(x, nullptr);
    Menu menu;
    BuildMenu(true, true, menu);
    const int openLong = 50 + MenuItemTop(menu, 7) + kMenuRowHeight / 2;
    Window w = 0;
    EXPECT_TRUE(WaitFor([&] { return CountWindows(x, "KMRWindow", &w) == 1; }));
    for (int i = 0; running.load() && w != 0 && i < 200; ++i) {
      SendButton(x, w, i % 2 ? Button4 : Button5, (i * 37) % 600, (i * 53) % 600);
      if (i % 20 == 0) {  // menu, "Open LONG", Yes
        SendButton(x, w, Button3, 50, 50);
        SendButton(x, w, Button1, 70, openLong);
        SendKey(x, w, XK_y, 300, 300);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    XCloseDisplay(x);
  }
  host.join();
  side.join();
  CloseWindowAndJoin(*context->window);

  std::lock_guard<std::mutex> hold(context->lock);
  EXPECT_EQ(context->window->windowHandle, 0u);
  EXPECT_LE(context->window->messages.count, kMessageLines);
  EXPECT_GE(context->window->candleWidth, 1);
  EXPECT_GE(context->window->fontPoints, 1);
  EXPECT_GE(context->trading->commandCount, 0);
  EXPECT_LE(context->trading->commandCount, kCommandQueueSize);
}

}  // namespace
}  // namespace kmr::testing
