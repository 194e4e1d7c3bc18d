// The window's picture: trend rows, entry rows, message lines and the status line, drawn onto
// any Cairo context from a snapshot, so the screen and an image file get the same picture.
#pragma once

#include <cairo.h>

#include <cstdint>

#include "engine/window/snapshot.h"

namespace kmr {

struct Rgb {
  double r, g, b;
};
constexpr Rgb kBackground{0, 0, 0};
constexpr Rgb kGrid{128 / 255.0, 128 / 255.0, 128 / 255.0};
constexpr Rgb kMessageText{128 / 255.0, 128 / 255.0, 128 / 255.0};
constexpr Rgb kCaptionText{180 / 255.0, 180 / 255.0, 180 / 255.0};
constexpr Rgb kUp{55 / 255.0, 122 / 255.0, 34 / 255.0};
constexpr Rgb kDown{160 / 255.0, 40 / 255.0, 25 / 255.0};

// The geometry PaintWindow derives from the size and the font.
struct WindowLayout {
  int statusHeight;  // S
  int chartBottom;   // B
  int middle;        // M
  int trendRowHeight;
  int entryRowHeight;
  int lineHeight;  // of one message line
};
// Selects the window font on `cr` as a side effect.
WindowLayout LayOutWindow(const WindowSnapshot& s, cairo_t* cr, int width, int height);

void PaintWindow(const WindowSnapshot& s, cairo_t* cr, int width, int height);
void PaintTrendRow(const WindowSnapshot& s, int k, cairo_t* cr, int top, int rowWidth,
                   int rowHeight, std::int32_t latest);
void PaintEntryRow(const WindowSnapshot& s, int k, cairo_t* cr, int left, int top, int rowWidth,
                   int rowHeight);
void PaintStatusLine(const WindowSnapshot& s, cairo_t* cr, int chartBottom);
// The status text, "KMR (ver 2.03): Ready ..." (at most 127 characters).
void FormatStatusLine(const WindowSnapshot& s, char (&out)[128]);

}  // namespace kmr
