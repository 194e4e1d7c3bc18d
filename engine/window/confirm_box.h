// The window's own modal question with Yes, No and Cancel, drawn over the window's picture.
#pragma once

#include <cairo.h>

#include "engine/window/manual_commands.h"

namespace kmr {

enum class BoxKey { kYes, kNo, kEscape, kEnter, kTab, kBackTab, kLeft, kRight, kOther };

constexpr int kBoxButtons = 3;  // Yes, No, Cancel
constexpr int kBoxHeight = 124;
constexpr int kBoxButtonWidth = 76;
constexpr int kBoxButtonHeight = 26;

struct ConfirmBox {
  const char* text;
  const char* caption;
  int focus;  // 0 Yes, 1 No, 2 Cancel
  int x, y, width, height;
};

// Centres a box of `width` pixels (at least wide enough for its buttons) in the area.
void OpenConfirmBox(ConfirmBox& box, const char* text, const char* caption, int width,
                    int areaWidth, int areaHeight);
int MeasureConfirmBoxWidth(cairo_t* cr, const char* text, const char* caption);
// Y, N, Esc answer at once; Enter answers with the focused button; Tab and the arrows move the
// focus. Returns true and sets `answer` when the box is answered.
bool ConfirmBoxKey(ConfirmBox& box, BoxKey key, Answer& answer);
void ConfirmBoxButton(const ConfirmBox& box, int index, int& x, int& y, int& w, int& h);
// Button under window point (x, y), or -1.
int ConfirmBoxHitTest(const ConfirmBox& box, int x, int y);
Answer ButtonAnswer(int index);
void DrawConfirmBox(cairo_t* cr, const ConfirmBox& box);

}  // namespace kmr
