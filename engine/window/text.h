// Text on a Cairo surface the way the window sets it: "Arial" at a point size for 96 dpi,
// placed by its top left corner.
#pragma once

#include <cairo.h>

namespace kmr {

// Character height in pixels for `points` at 96 dpi, rounded.
int FontPixels(int points);
void SelectWindowFont(cairo_t* cr, int points);
// Height of a line of text in the selected font, or -1 when it cannot be measured.
int TextHeight(cairo_t* cr);
double TextWidth(cairo_t* cr, const char* text);
// Draws `text` (8-bit; bytes that are not UTF-8 are taken as Latin-1) with its top left
// corner at (x, y).
void DrawText(cairo_t* cr, double x, double y, const char* text);

}  // namespace kmr
