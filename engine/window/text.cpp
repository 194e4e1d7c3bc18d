#include "engine/window/text.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kmr {

namespace {

constexpr int kLargestFontPixels = 2000;  // beyond any screen; keeps Cairo's arithmetic sane

bool IsValidUtf8(const unsigned char* s) {
  while (*s) {
    int follow = *s < 0x80           ? 0
                 : (*s >> 5) == 0x6  ? 1
                 : (*s >> 4) == 0xE  ? 2
                 : (*s >> 3) == 0x1E ? 3
                                     : -1;
    if (follow < 0) return false;
    ++s;
    for (int i = 0; i < follow; ++i, ++s)
      if ((*s & 0xC0) != 0x80) return false;
  }
  return true;
}

// Cairo refuses invalid UTF-8 and then stops drawing altogether, so such text is re-encoded.
const char* AsUtf8(const char* text, char* buffer, std::size_t size) {
  if (IsValidUtf8(reinterpret_cast<const unsigned char*>(text))) return text;
  std::size_t used = 0;
  for (const unsigned char* s = reinterpret_cast<const unsigned char*>(text); *s; ++s) {
    if (used + 3 > size) break;
    if (*s < 0x80) {
      buffer[used++] = static_cast<char>(*s);
    } else {
      buffer[used++] = static_cast<char>(0xC0 | (*s >> 6));
      buffer[used++] = static_cast<char>(0x80 | (*s & 0x3F));
    }
  }
  buffer[used] = '\0';
  return buffer;
}

}  // namespace

int FontPixels(int points) {
  const long pixels = std::lround(points * 96.0 / 72.0);
  return static_cast<int>(std::clamp<long>(pixels, 1, kLargestFontPixels));
}

void SelectWindowFont(cairo_t* cr, int points) {
  cairo_select_font_face(cr, "Arial", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, FontPixels(points));
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

int TextHeight(cairo_t* cr) {
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return -1;
  cairo_font_extents_t extents;
  cairo_font_extents(cr, &extents);
  const double height = std::ceil(extents.ascent) + std::ceil(extents.descent);
  if (!(height > 0) || height > 4 * kLargestFontPixels) return -1;
  return static_cast<int>(height);
}

double TextWidth(cairo_t* cr, const char* text) {
  char buffer[1024];
  cairo_text_extents_t extents;
  cairo_text_extents(cr, AsUtf8(text, buffer, sizeof buffer), &extents);
  return extents.x_advance;
}

void DrawText(cairo_t* cr, double x, double y, const char* text) {
  char buffer[1024];
  cairo_font_extents_t extents;
  cairo_font_extents(cr, &extents);
  cairo_move_to(cr, x, y + std::ceil(extents.ascent));
  cairo_show_text(cr, AsUtf8(text, buffer, sizeof buffer));
  cairo_new_path(cr);
}

}  // namespace kmr
