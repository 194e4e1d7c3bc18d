// The keys and the wheel change what the window shows, depending on where the pointer is.
#pragma once

namespace kmr {

struct EngineWindow;

// Step +1 (Page Up, Up, wheel forward) or -1 at client point (x, y): candle width over the
// entry charts, trend history span over the trend charts, text size over the messages.
void AdjustView(EngineWindow& window, int step, int x, int y);

}  // namespace kmr
