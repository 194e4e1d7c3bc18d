// The engine's own window, on a thread of its own.
#pragma once

namespace kmr {

struct EngineContext;
struct EngineWindow;

// Starts the window thread unless one is running for this window. Called under the lock.
// Without a display, or with KMR_NO_WINDOW=1, it opens nothing and says why on the debugger
// output.
void StartWindowThread(EngineWindow& window);
// Asks an open window to repaint: sets a flag and wakes the window thread; never waits.
// Called under the lock.
void RequestRepaint(EngineWindow& window);
// Closes the window and joins its thread. Called WITHOUT the engine lock.
void CloseWindowAndJoin(EngineWindow& window);

// Paints the picture the window would show at this size into a PNG file, display or not.
// Takes the engine lock only to copy what it draws. Returns false when the file cannot be
// written or the size is not positive.
bool SaveWindowPicture(EngineContext& context, const char* pngPath, int width, int height);

}  // namespace kmr
