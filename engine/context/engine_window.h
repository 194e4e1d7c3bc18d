// The engine window record: view settings and message lines; the window itself lives on its
// own thread (engine/window).
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/context/message_list.h"

namespace kmr {

struct EngineContext;
struct WindowRuntime;  // thread and display state, owned by engine/window

struct EngineWindow {
  EngineContext* context = nullptr;
  void* moduleHandle = nullptr;
  // The X window id while a window is open, 0 otherwise. Written by the window thread under
  // the engine lock; read by InitializeKMR under it.
  unsigned long windowHandle = 0;
  std::int32_t barMarginRight = 5;
  std::int32_t barMarginTop = 5;
  std::int32_t barMarginBottom = 5;
  std::int32_t candleGap = 2;
  std::int32_t candleMarginRight = 5;
  std::int32_t candleMarginTop = 5;
  std::int32_t candleMarginBottom = 5;
  std::int32_t trendChartCount = 0;
  std::int32_t entryChartCount = 0;
  std::int32_t candleWidth = 5;
  std::int32_t historySpan = 172800;
  std::int32_t fontPoints = 8;
  MessageList messages = {};
  std::int32_t clientWidth = 0;
  std::int32_t clientHeight = 0;

  WindowRuntime* runtime = nullptr;  // null until a window thread was started
};

}  // namespace kmr
