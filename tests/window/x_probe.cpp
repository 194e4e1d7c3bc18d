#include "x_probe.h"

#include <X11/Xutil.h>
#include <dirent.h>

#include <cstring>
#include <thread>

namespace kmr::testing {

int CountWindows(Display* d, const char* title, Window* first) {
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  int found = 0;
  XSync(d, False);
  if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count; ++i) {
    char* name = nullptr;
    if (XFetchName(d, children[i], &name) && name != nullptr) {
      if (std::strcmp(name, title) == 0) {
        if (found == 0 && first) *first = children[i];
        ++found;
      }
      XFree(name);
    }
  }
  if (children) XFree(children);
  return found;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return done();
}

void SendButton(Display* d, Window w, unsigned button, int x, int y) {
  for (int type : {ButtonPress, ButtonRelease}) {
    XEvent ev{};
    ev.xbutton.type = type;
    ev.xbutton.display = d;
    ev.xbutton.window = w;
    ev.xbutton.root = DefaultRootWindow(d);
    ev.xbutton.x = x;
    ev.xbutton.y = y;
    ev.xbutton.button = button;
    ev.xbutton.same_screen = True;
    XSendEvent(d, w, True, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &ev);
  }
  XFlush(d);
}

void SendKey(Display* d, Window w, unsigned long keysym, int x, int y) {
  XEvent ev{};
  ev.xkey.type = KeyPress;
  ev.xkey.display = d;
  ev.xkey.window = w;
  ev.xkey.root = DefaultRootWindow(d);
  ev.xkey.x = x;
  ev.xkey.y = y;
  ev.xkey.keycode = XKeysymToKeycode(d, keysym);
  ev.xkey.same_screen = True;
  XSendEvent(d, w, True, KeyPressMask, &ev);
  XFlush(d);
}

void SendDeleteRequest(Display* d, Window w) {
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = w;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  XSendEvent(d, w, False, NoEventMask, &ev);
  XFlush(d);
}

bool HasInk(Display* d, Window w, int x, int y, int width, int height) {
  XWindowAttributes a{};  // reading a window that is not on the screen is a protocol error
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return false;
  XImage* image = XGetImage(d, w, x, y, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return false;
  bool ink = false;
  for (int j = 0; j < height && !ink; ++j)
    for (int i = 0; i < width && !ink; ++i) ink = (XGetPixel(image, i, j) & 0xFFFFFF) != 0;
  XDestroyImage(image);
  return ink;
}

std::vector<unsigned long> Pixels(Display* d, Window w, int x, int y, int width, int height) {
  std::vector<unsigned long> pixels;
  XWindowAttributes a{};
  if (!XGetWindowAttributes(d, w, &a) || a.map_state != IsViewable) return pixels;
  XImage* image = XGetImage(d, w, x, y, width, height, AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  for (int j = 0; j < height; ++j)
    for (int i = 0; i < width; ++i) pixels.push_back(XGetPixel(image, i, j) & 0xFFFFFF);
  XDestroyImage(image);
  return pixels;
}

int ThreadCount() {
  DIR* dir = opendir("/proc/self/task");
  if (dir == nullptr) return -1;
  int count = 0;
  while (dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') ++count;
  closedir(dir);
  return count;
}

}  // namespace kmr::testing
