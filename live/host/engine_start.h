// The engine before going live: initialised with the run's settings, then warmed up with the
// history part of a price file exactly as the tester's history processing does.
#pragma once

#include <string>

#include "tester/connector/engine_api.h"
#include "tester/replay/replay_run.h"

namespace kmr {

struct EngineStart {
  long historyLines = 0;
  long historyBars = 0;
  std::string error;  // "FILE:LINE: message" or what else kept the history from being read
};

// Without a price file in `setup` the engine is initialised and its history is at once finished.
EngineStart StartEngine(const EngineApi& engine, const ReplaySetup& setup);

}  // namespace kmr
