// The engine's own window, on a thread of its own.
#pragma once

namespace kmr {

struct EngineWindow;

// Starts the window thread unless one is running for this window. Called under the lock.
void StartWindowThread(EngineWindow& window);
// Asks an open window to repaint: sets a flag and wakes the window thread; never waits.
void RequestRepaint(EngineWindow& window);
// Closes the window and joins its thread. Called WITHOUT the engine lock.
void CloseWindowAndJoin(EngineWindow& window);

}  // namespace kmr
