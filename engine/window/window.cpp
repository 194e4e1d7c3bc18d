#include "engine/window/window.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>

#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/platform/platform.h"
#include "engine/window/window_runtime.h"

namespace kmr {

void WindowSession::Wake() {
  const std::uint64_t one = 1;
  while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

namespace {

void DeleteSession(WindowSession* session) {
  if (session->thread.joinable()) session->thread.join();
  if (session->wakeFd >= 0) ::close(session->wakeFd);
  delete session;
}

bool WindowWanted() {
  const char* off = std::getenv("KMR_NO_WINDOW");
  if (off != nullptr && std::strcmp(off, "1") == 0) {
    DebugOutput("No engine window: KMR_NO_WINDOW=1");
    return false;
  }
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') {
    DebugOutput("No engine window: DISPLAY is not set");
    return false;
  }
  return true;
}

}  // namespace

void StartWindowThread(EngineWindow& window) {
  if (window.context == nullptr) return;
  if (window.runtime == nullptr) window.runtime = new (std::nothrow) WindowRuntime;
  if (window.runtime == nullptr) return;
  WindowRuntime& runtime = *window.runtime;
  if (WindowSession* old = runtime.session) {
    if (!old->finished.load()) {  // its window is still coming up
      RequestRepaint(window);
      return;
    }
    runtime.session = nullptr;  // a thread that could not open its window: already done
    DeleteSession(old);
  }
  if (!WindowWanted()) return;

  auto* session = new (std::nothrow) WindowSession;
  if (session == nullptr) return;
  session->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (session->wakeFd < 0) {
    DebugOutput("No engine window: no wake-up descriptor");
    DeleteSession(session);
    return;
  }
  EngineContext& context = *window.context;
  try {
    session->thread =
        std::thread(RunWindowThread, std::ref(context), std::ref(window), std::ref(*session));
  } catch (const std::system_error&) {
    DebugOutput("No engine window: the window thread cannot be started");
    DeleteSession(session);
    return;
  }
  runtime.session = session;
}

void RequestRepaint(EngineWindow& window) {
  if (window.runtime == nullptr || window.runtime->session == nullptr) return;
  WindowSession& session = *window.runtime->session;
  if (!session.repaintRequested.exchange(true)) session.Wake();
}

void CloseWindowAndJoin(EngineWindow& window) {
  EngineContext* context = window.context;
  if (context == nullptr) return;
  WindowSession* session = nullptr;
  {
    std::lock_guard<std::mutex> hold(context->lock);
    if (window.runtime != nullptr) {
      session = window.runtime->session;
      window.runtime->session = nullptr;
    }
  }
  if (session != nullptr) {
    session->stopRequested.store(true);
    session->Wake();
    DeleteSession(session);
  }
  std::lock_guard<std::mutex> hold(context->lock);
  window.windowHandle = 0;
}

}  // namespace kmr
