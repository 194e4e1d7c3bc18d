// Looks at and pokes the engine window from the test's own X connection.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kmr::testing {

// Every top-level window titled `title`.
int CountWindows(Display* d, const char* title, Window* first);
// Waits (bounded) until `done` holds; returns whether it did.
bool WaitFor(const std::function<bool()>& done,
             std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
void SendButton(Display* d, Window w, unsigned button, int x, int y);
void SendKey(Display* d, Window w, unsigned long keysym, int x, int y);
void SendDeleteRequest(Display* d, Window w);
// Whether any pixel of the window's rectangle differs from black.
bool HasInk(Display* d, Window w, int x, int y, int width, int height);
// The window's pixels in a rectangle (empty when it is not on the screen).
std::vector<unsigned long> Pixels(Display* d, Window w, int x, int y, int width, int height);
int ThreadCount();

}  // namespace kmr::testing
