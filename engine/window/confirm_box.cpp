#include "engine/window/confirm_box.h"

#include <algorithm>
#include <cmath>

#include "engine/window/menu.h"
#include "engine/window/text.h"

namespace kmr {

namespace {

constexpr int kTitleHeight = 24;
constexpr int kButtonGap = 10;
constexpr int kSidePadding = 20;
constexpr const char* kButtonText[kBoxButtons] = {"Yes", "No", "Cancel"};

int ButtonsWidth() {
  return kBoxButtons * kBoxButtonWidth + (kBoxButtons - 1) * kButtonGap;
}

}  // namespace

Answer ButtonAnswer(int index) {
  return index == 0 ? Answer::kYes : index == 1 ? Answer::kNo : Answer::kCancel;
}

void OpenConfirmBox(ConfirmBox& box, const char* text, const char* caption, int width,
                    int areaWidth, int areaHeight) {
  box.text = text;
  box.caption = caption;
  box.focus = 0;
  box.width = std::max(width, ButtonsWidth() + 2 * kSidePadding);
  box.height = kBoxHeight;
  box.x = std::max(0, (areaWidth - box.width) / 2);
  box.y = std::max(0, (areaHeight - box.height) / 2);
}

int MeasureConfirmBoxWidth(cairo_t* cr, const char* text, const char* caption) {
  cairo_save(cr);
  SelectWindowFont(cr, kMenuFontPoints);
  const double widest = std::max(TextWidth(cr, text), TextWidth(cr, caption));
  cairo_restore(cr);
  return static_cast<int>(std::ceil(widest)) + 2 * kSidePadding;
}

bool ConfirmBoxKey(ConfirmBox& box, BoxKey key, Answer& answer) {
  switch (key) {
    case BoxKey::kYes:
      answer = Answer::kYes;
      return true;
    case BoxKey::kNo:
      answer = Answer::kNo;
      return true;
    case BoxKey::kEscape:
      answer = Answer::kCancel;
      return true;
    case BoxKey::kEnter:
      answer = ButtonAnswer(box.focus);
      return true;
    case BoxKey::kTab:
    case BoxKey::kRight:
      box.focus = (box.focus + 1) % kBoxButtons;
      return false;
    case BoxKey::kBackTab:
    case BoxKey::kLeft:
      box.focus = (box.focus + kBoxButtons - 1) % kBoxButtons;
      return false;
    case BoxKey::kOther:
      return false;
  }
  return false;
}

void ConfirmBoxButton(const ConfirmBox& box, int index, int& x, int& y, int& w, int& h) {
  const int first = box.x + (box.width - ButtonsWidth()) / 2;
  x = first + index * (kBoxButtonWidth + kButtonGap);
  y = box.y + box.height - kBoxButtonHeight - 12;
  w = kBoxButtonWidth;
  h = kBoxButtonHeight;
}

int ConfirmBoxHitTest(const ConfirmBox& box, int px, int py) {
  for (int i = 0; i < kBoxButtons; ++i) {
    int x, y, w, h;
    ConfirmBoxButton(box, i, x, y, w, h);
    if (px >= x && px < x + w && py >= y && py < y + h) return i;
  }
  return -1;
}

void DrawConfirmBox(cairo_t* cr, const ConfirmBox& box) {
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  SelectWindowFont(cr, kMenuFontPoints);
  const int textHeight = std::max(TextHeight(cr), 0);

  cairo_set_source_rgb(cr, 0.96, 0.96, 0.96);
  cairo_rectangle(cr, box.x, box.y, box.width, box.height);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.25, 0.4, 0.65);
  cairo_rectangle(cr, box.x, box.y, box.width, kTitleHeight);
  cairo_fill(cr);
  cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, box.x + 0.5, box.y + 0.5, box.width - 1, box.height - 1);
  cairo_stroke(cr);

  cairo_set_source_rgb(cr, 1, 1, 1);
  DrawText(cr, box.x + 8, box.y + (kTitleHeight - textHeight) / 2, box.caption);
  cairo_set_source_rgb(cr, 0, 0, 0);
  DrawText(cr, box.x + kSidePadding, box.y + kTitleHeight + 16, box.text);

  for (int i = 0; i < kBoxButtons; ++i) {
    int x, y, w, h;
    ConfirmBoxButton(box, i, x, y, w, h);
    cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, i == box.focus ? 0.0 : 0.55, i == box.focus ? 0.47 : 0.55,
                         i == box.focus ? 0.84 : 0.55);
    cairo_set_line_width(cr, i == box.focus ? 2 : 1);
    const double inset = i == box.focus ? 1 : 0.5;
    cairo_rectangle(cr, x + inset, y + inset, w - 2 * inset, h - 2 * inset);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    const double tw = TextWidth(cr, kButtonText[i]);
    DrawText(cr, x + (w - tw) / 2, y + (h - textHeight) / 2, kButtonText[i]);
  }
  cairo_restore(cr);
}

}  // namespace kmr
