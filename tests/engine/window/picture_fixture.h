// Paints snapshots into image surfaces and reads pixels back.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/window/paint.h"
#include "engine/window/snapshot.h"

namespace kmr::testing {

struct Picture {
  cairo_surface_t* surface;
  int width, height;

  Picture(int w, int h)
      : surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h)), width(w), height(h) {}
  ~Picture() { cairo_surface_destroy(surface); }
  Picture(const Picture&) = delete;

  // (r, g, b) packed as 0xRRGGBB.
  std::uint32_t At(int x, int y) const {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::uint32_t pixel;
    std::memcpy(&pixel, data + y * stride + 4 * x, 4);
    return pixel & 0xFFFFFF;
  }
  bool SameAs(const Picture& other) const {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        if (At(x, y) != other.At(x, y)) return false;
    return true;
  }
};

constexpr std::uint32_t kBlackPixel = 0x000000;
constexpr std::uint32_t kGridPixel = 0x808080;
constexpr std::uint32_t kUpPixel = 0x377A22;
constexpr std::uint32_t kDownPixel = 0xA02819;

// A snapshot with a context, the given counts and no data.
inline std::unique_ptr<WindowSnapshot> EmptySnapshot(int trendCount, int entryCount) {
  auto s = std::make_unique<WindowSnapshot>();  // value-initialised: all zero
  s->hasContext = true;
  s->view = ViewSettings{};
  s->view.trendChartCount = s->trendChartCount = trendCount;
  s->view.entryChartCount = s->entryChartCount = entryCount;
  s->trendChartsExist = s->entryChartsExist = true;
  s->hasTrading = true;
  s->longEnabled = s->shortEnabled = true;
  return s;
}

inline void Paint(const WindowSnapshot& s, Picture& p) {
  cairo_t* cr = cairo_create(p.surface);
  PaintWindow(s, cr, p.width, p.height);
  cairo_destroy(cr);
}

}  // namespace kmr::testing
