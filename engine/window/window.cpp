#include "engine/window/window.h"

namespace kmr {

// Placeholder until the window lands: the engine runs without one.
void StartWindowThread(EngineWindow&) {}
void RequestRepaint(EngineWindow&) {}
void CloseWindowAndJoin(EngineWindow&) {}

}  // namespace kmr
