#include <cairo.h>

#include <memory>
#include <mutex>
#include <new>

#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/window/paint.h"
#include "engine/window/snapshot.h"
#include "engine/window/window.h"

namespace kmr {

bool SaveWindowPicture(EngineContext& context, const char* pngPath, int width, int height) {
  if (pngPath == nullptr || width <= 0 || height <= 0) return false;
  std::unique_ptr<WindowSnapshot> snapshot(new (std::nothrow) WindowSnapshot);
  if (!snapshot) return false;
  {
    std::lock_guard<std::mutex> hold(context.lock);
    if (context.window != nullptr) {
      TakeSnapshot(context.window->context, *context.window, width, *snapshot);
    } else {  // before the first InitializeKMR: an empty picture with the status line
      const EngineWindow fresh;
      TakeSnapshot(nullptr, fresh, width, *snapshot);
    }
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  bool saved = false;
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_t* cr = cairo_create(surface);
    PaintWindow(*snapshot, cr, width, height);
    cairo_destroy(cr);
    saved = cairo_surface_write_to_png(surface, pngPath) == CAIRO_STATUS_SUCCESS;
  }
  cairo_surface_destroy(surface);
  return saved;
}

}  // namespace kmr
