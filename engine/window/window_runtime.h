// The state behind an open window: one session per window thread, so that a closing window
// and its successor never share a wake-up or a stop request.
#pragma once

#include <atomic>
#include <thread>

namespace kmr {

struct EngineContext;
struct EngineWindow;

struct WindowSession {
  std::thread thread;
  int wakeFd = -1;  // eventfd, polled together with the X connection
  std::atomic<bool> repaintRequested{false};
  std::atomic<bool> stopRequested{false};
  std::atomic<bool> finished{false};  // the thread touches nothing after setting this

  void Wake();
};

struct WindowRuntime {
  WindowSession* session = nullptr;  // guarded by the engine lock
};

// The window thread's body (window_thread.cpp).
void RunWindowThread(EngineContext& context, EngineWindow& window, WindowSession& session);

}  // namespace kmr
