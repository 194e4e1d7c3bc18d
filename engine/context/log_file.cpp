#include "engine/context/log_file.h"

#include "engine/context/engine_context.h"
#include "engine/platform/platform.h"

namespace kmr {

// Placeholder until the log file lands.
void SetLogFilePath(EngineContext&, const char16_t*) {}

void CloseEngineLogFile(EngineContext& context) {
  if (!context.logOpen) return;
  CloseLogFile(context.logFile);
  context.logFile = -1;
  context.logOpen = 0;
}

}  // namespace kmr
