// The engine's log file (the trade journal's destination) and its level suffix.
#pragma once

namespace kmr {

struct EngineContext;

// SetLogFilePath: opens the file named by the UTF-16 `path`, cutting a " \<digit>" level
// suffix off a copy; a second call closes the first file.
void SetLogFilePath(EngineContext& context, const char16_t* path);
// Closes an open log file (InitializeKMR does this).
void CloseEngineLogFile(EngineContext& context);

}  // namespace kmr
