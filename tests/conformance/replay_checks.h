#pragma once

#include <string>

#include "tests/conformance/engine_api.h"

// Plays a real host over a recorded price file: history, live ticks, commands carried out and
// reported back, invariants checked after every call. Writes the engine's journal and the
// command stream into `outputDir` so that two builds can be compared byte for byte.
void RunReplayChecks(const EngineApi& api, const std::string& priceFile,
                     const std::string& outputDir);
