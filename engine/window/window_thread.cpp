// The window thread: one Xlib connection of its own, an off-screen pixmap the picture is
// drawn into, the popup menu and the question box. Only this thread touches its connection.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/platform/platform.h"
#include "engine/trading/trading_state.h"
#include "engine/window/adjust_view.h"
#include "engine/window/confirm_box.h"
#include "engine/window/manual_commands.h"
#include "engine/window/menu.h"
#include "engine/window/paint.h"
#include "engine/window/snapshot.h"
#include "engine/window/window_runtime.h"

namespace kmr {

namespace {

constexpr int kLeft = 40, kTop = 40, kWidth = 600, kHeight = 600;

// Xlib's default error handlers end the process; a fault on the engine's own connection must
// not take the host with it. Errors on other connections go to whatever handler was there.
std::atomic<Display*> g_ownDisplay{nullptr};
XErrorHandler g_previousHandler = nullptr;
std::once_flag g_handlerInstalled;

int OnXError(Display* display, XErrorEvent* error) {
  if (display == g_ownDisplay.load()) return 0;
  return g_previousHandler ? g_previousHandler(display, error) : 0;
}

void OnConnectionLost(Display*, void* userData) {
  static_cast<std::atomic<bool>*>(userData)->store(true);
}

struct XState {
  XState(EngineContext& c, EngineWindow& w, WindowSession& s) : context(c), window(w), session(s) {}
  EngineContext& context;
  EngineWindow& window;
  WindowSession& session;
  Display* display = nullptr;
  Window id = 0;
  GC gc = nullptr;
  Pixmap back = 0;
  cairo_surface_t* surface = nullptr;
  int width = kWidth;
  int height = kHeight;
  Atom wmDelete = 0;
  std::atomic<bool> connectionLost{false};
  std::unique_ptr<WindowSnapshot> snapshot;
  const Menu* menu = nullptr;
  const ConfirmBox* box = nullptr;
  bool paintPending = true;
};

void FreeBackBuffer(XState& st) {
  if (st.surface) cairo_surface_destroy(st.surface);
  if (st.back) XFreePixmap(st.display, st.back);
  st.surface = nullptr;
  st.back = 0;
}

void MakeBackBuffer(XState& st) {
  FreeBackBuffer(st);
  if (st.width <= 0 || st.height <= 0) return;
  const int screen = DefaultScreen(st.display);
  st.back = XCreatePixmap(st.display, st.id, st.width, st.height, DefaultDepth(st.display, screen));
  st.surface = cairo_xlib_surface_create(st.display, st.back, DefaultVisual(st.display, screen),
                                         st.width, st.height);
}

// Draws the whole picture off-screen and copies it in one step, so the screen only ever gets
// complete pictures. The engine lock is held for the copy of the data only.
void Paint(XState& st) {
  st.paintPending = false;
  if (st.surface == nullptr || st.snapshot == nullptr) return;
  {
    std::lock_guard<std::mutex> hold(st.context.lock);
    TakeSnapshot(st.window.context, st.window, st.width, *st.snapshot);
  }
  cairo_t* cr = cairo_create(st.surface);
  PaintWindow(*st.snapshot, cr, st.width, st.height);
  if (st.menu) DrawMenu(cr, *st.menu);
  if (st.box) DrawConfirmBox(cr, *st.box);
  cairo_destroy(cr);
  cairo_surface_flush(st.surface);
  XCopyArea(st.display, st.back, st.id, st.gc, 0, 0, st.width, st.height, 0, 0);
  XFlush(st.display);
}

void Resize(XState& st, int width, int height) {
  if (width == st.width && height == st.height && st.surface) return;
  st.width = width;
  st.height = height;
  {
    std::lock_guard<std::mutex> hold(st.context.lock);
    st.window.clientWidth = width;
    st.window.clientHeight = height;
  }
  MakeBackBuffer(st);
  st.paintPending = true;
}

// Handles what every mode handles alike; returns true when the event was used up here.
bool HandleCommon(XState& st, XEvent& ev) {
  switch (ev.type) {
    case Expose:
      if (ev.xexpose.count == 0) st.paintPending = true;
      return true;
    case ConfigureNotify:
      Resize(st, ev.xconfigure.width, ev.xconfigure.height);
      return true;
    case MappingNotify:
      XRefreshKeyboardMapping(&ev.xmapping);
      return true;
    case ClientMessage:  // the window manager's close button: the window stays
    default:
      return ev.type != KeyPress && ev.type != ButtonPress && ev.type != ButtonRelease &&
             ev.type != MotionNotify;
  }
}

// Waits for the next input event, painting and handling the rest meanwhile. Returns false
// when the window has to close.
bool NextInput(XState& st, XEvent& ev) {
  for (;;) {
    if (st.session.stopRequested.load() || st.connectionLost.load()) return false;
    if (XPending(st.display) > 0) {
      XNextEvent(st.display, &ev);
      if (!HandleCommon(st, ev)) return true;
      continue;
    }
    if (st.session.repaintRequested.exchange(false)) st.paintPending = true;
    if (st.paintPending) {
      Paint(st);
      continue;
    }
    pollfd fds[2] = {{ConnectionNumber(st.display), POLLIN, 0}, {st.session.wakeFd, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents & POLLIN) {
      std::uint64_t count;
      while (::read(st.session.wakeFd, &count, sizeof count) > 0) {
      }
    }
    if (fds[0].revents & (POLLERR | POLLHUP)) st.connectionLost.store(true);
  }
}

KeySym KeyOf(XEvent& ev) {
  return XLookupKeysym(&ev.xkey, 0);
}

int RunMenu(XState& st, int x, int y) {
  Menu menu;
  bool longChecked = true, shortChecked = true;
  {
    std::lock_guard<std::mutex> hold(st.context.lock);
    if (const TradingState* trading = st.context.trading) {
      longChecked = trading->longEnabled != 0;
      shortChecked = trading->shortEnabled != 0;
    }
  }
  BuildMenu(longChecked, shortChecked, menu);
  if (st.surface == nullptr) return 0;
  cairo_t* cr = cairo_create(st.surface);
  const int width = MeasureMenuWidth(cr, menu);
  cairo_destroy(cr);
  PlaceMenu(menu, x, y, width, st.width, st.height);
  st.menu = &menu;
  st.paintPending = true;

  int chosen = 0;
  bool done = false;
  XEvent ev;
  while (!done && NextInput(st, ev)) {
    if (ev.type == MotionNotify) {
      const int lit = MenuHitTest(menu, ev.xmotion.x, ev.xmotion.y);
      if (lit != menu.highlight) {
        menu.highlight = lit;
        st.paintPending = true;
      }
    } else if (ev.type == ButtonPress &&
               (ev.xbutton.button == Button1 || ev.xbutton.button == Button3)) {
      const int x0 = ev.xbutton.x, y0 = ev.xbutton.y;
      const int hit = MenuHitTest(menu, x0, y0);
      const bool inside =
          x0 >= menu.x && x0 < menu.x + menu.width && y0 >= menu.y && y0 < menu.y + menu.height;
      if (hit >= 0) chosen = menu.items[hit].id;
      done = hit >= 0 || !inside;
    } else if (ev.type == KeyPress) {
      const KeySym key = KeyOf(ev);
      if (key == XK_Escape || key == XK_Menu) {
        done = true;
      } else if (key == XK_Up || key == XK_Down) {
        menu.highlight = MenuStep(menu, menu.highlight, key == XK_Down ? 1 : -1);
        st.paintPending = true;
      } else if (key == XK_Return || key == XK_KP_Enter || key == XK_space) {
        if (menu.highlight >= 0) chosen = menu.items[menu.highlight].id;
        done = menu.highlight >= 0;
      }
    }
  }
  st.menu = nullptr;
  st.paintPending = true;
  return chosen;
}

BoxKey BoxKeyOf(XEvent& ev) {
  switch (KeyOf(ev)) {
    case XK_y:
      return BoxKey::kYes;
    case XK_n:
      return BoxKey::kNo;
    case XK_Escape:
      return BoxKey::kEscape;
    case XK_Return:
    case XK_KP_Enter:
    case XK_space:
      return BoxKey::kEnter;
    case XK_Tab:
      return (ev.xkey.state & ShiftMask) ? BoxKey::kBackTab : BoxKey::kTab;
    case XK_ISO_Left_Tab:
      return BoxKey::kBackTab;
    case XK_Left:
      return BoxKey::kLeft;
    case XK_Right:
      return BoxKey::kRight;
    default:
      return BoxKey::kOther;
  }
}

// The question box runs its own loop, like a modal message box; closing the window answers
// Cancel.
Answer RunConfirmBox(XState& st, const char* text, const char* caption) {
  if (st.surface == nullptr) return Answer::kCancel;
  cairo_t* cr = cairo_create(st.surface);
  const int width = MeasureConfirmBoxWidth(cr, text, caption);
  cairo_destroy(cr);
  ConfirmBox box;
  OpenConfirmBox(box, text, caption, width, st.width, st.height);
  st.box = &box;
  st.paintPending = true;

  Answer answer = Answer::kCancel;
  bool done = false;
  XEvent ev;
  while (!done && NextInput(st, ev)) {
    if (ev.type == KeyPress) {
      done = ConfirmBoxKey(box, BoxKeyOf(ev), answer);
      st.paintPending = true;
    } else if (ev.type == ButtonPress && ev.xbutton.button == Button1) {
      const int hit = ConfirmBoxHitTest(box, ev.xbutton.x, ev.xbutton.y);
      if (hit >= 0) {
        answer = ButtonAnswer(hit);
        done = true;
      }
    }
  }
  st.box = nullptr;
  st.paintPending = true;
  return done ? answer : Answer::kCancel;
}

void MenuAndCommand(XState& st, int x, int y) {
  const int id = RunMenu(st, x, y);
  if (id == 0) return;
  RunManualCommand(st.context, st.window, id, [&st](const char* text, const char* caption) {
    return RunConfirmBox(st, text, caption);
  });
  st.paintPending = true;
}

void Adjust(XState& st, int step, int x, int y) {
  {
    std::lock_guard<std::mutex> hold(st.context.lock);
    AdjustView(st.window, step, x, y);
  }
  st.paintPending = true;
}

void RunLoop(XState& st) {
  XEvent ev;
  while (NextInput(st, ev)) {
    if (ev.type == ButtonPress) {
      const unsigned button = ev.xbutton.button;
      if (button == Button3)
        MenuAndCommand(st, ev.xbutton.x, ev.xbutton.y);
      else if (button == Button4 || button == Button5)
        Adjust(st, button == Button4 ? 1 : -1, ev.xbutton.x, ev.xbutton.y);
    } else if (ev.type == KeyPress) {
      const KeySym key = KeyOf(ev);
      if (key == XK_Menu) {
        MenuAndCommand(st, ev.xkey.x, ev.xkey.y);
      } else if (key == XK_Prior || key == XK_Up || key == XK_KP_Prior || key == XK_KP_Up) {
        Adjust(st, 1, ev.xkey.x, ev.xkey.y);
      } else if (key == XK_Next || key == XK_Down || key == XK_KP_Next || key == XK_KP_Down) {
        Adjust(st, -1, ev.xkey.x, ev.xkey.y);
      }
    }
  }
}

bool OpenWindow(XState& st) {
  Display* d = st.display;
  const int screen = DefaultScreen(d);
  XSetWindowAttributes attributes{};
  attributes.background_pixmap = None;  // painting covers everything; no erase, no flicker
  attributes.event_mask = ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask |
                          ButtonReleaseMask | PointerMotionMask;
  st.id = XCreateWindow(d, RootWindow(d, screen), kLeft, kTop, kWidth, kHeight, 0, CopyFromParent,
                        InputOutput, CopyFromParent, CWBackPixmap | CWEventMask, &attributes);
  if (st.id == 0) return false;
  XStoreName(d, st.id, "KMRWindow");
  XClassHint classHint{const_cast<char*>("KMRWindowsClass"), const_cast<char*>("KMRWindowsClass")};
  XSetClassHint(d, st.id, &classHint);
  XSizeHints size{};
  size.flags = USPosition | USSize | PPosition | PSize;
  size.x = kLeft;
  size.y = kTop;
  size.width = kWidth;
  size.height = kHeight;
  XSetWMNormalHints(d, st.id, &size);
  XWMHints hints{};
  hints.flags = InputHint;
  hints.input = True;
  XSetWMHints(d, st.id, &hints);
  st.wmDelete = XInternAtom(d, "WM_DELETE_WINDOW", False);
  XSetWMProtocols(d, st.id, &st.wmDelete, 1);
  st.gc = XCreateGC(d, st.id, 0, nullptr);
  {
    std::lock_guard<std::mutex> hold(st.context.lock);
    st.window.windowHandle = st.id;
    st.window.clientWidth = kWidth;
    st.window.clientHeight = kHeight;
  }
  MakeBackBuffer(st);
  XMapWindow(d, st.id);
  XFlush(d);
  return true;
}

void CloseWindow(XState& st) {
  {
    std::lock_guard<std::mutex> hold(st.context.lock);
    if (st.window.windowHandle == st.id) st.window.windowHandle = 0;
  }
  if (st.connectionLost.load()) {  // nothing can be sent any more; the rest is left
    g_ownDisplay.store(nullptr);
    return;
  }
  if (st.id != 0) XUnmapWindow(st.display, st.id);
  FreeBackBuffer(st);
  if (st.gc) XFreeGC(st.display, st.gc);
  if (st.id != 0) XDestroyWindow(st.display, st.id);
  g_ownDisplay.store(nullptr);
  XCloseDisplay(st.display);
}

}  // namespace

void RunWindowThread(EngineContext& context, EngineWindow& window, WindowSession& session) {
  pthread_setname_np(pthread_self(), "KMRWindow");  // so that tools and tests can tell it
  XState st(context, window, session);
  st.display = XOpenDisplay(nullptr);
  if (st.display == nullptr) {
    DebugOutput("No engine window: the display cannot be opened");
    session.finished.store(true);
    return;
  }
  std::call_once(g_handlerInstalled, [] { g_previousHandler = XSetErrorHandler(OnXError); });
  g_ownDisplay.store(st.display);
  XSetIOErrorExitHandler(st.display, OnConnectionLost, &st.connectionLost);
  st.snapshot.reset(new (std::nothrow) WindowSnapshot);
  if (OpenWindow(st)) RunLoop(st);
  CloseWindow(st);
  DebugOutput("DeinitializeKMRWindows thread finished.");
  session.finished.store(true);
}

}  // namespace kmr
