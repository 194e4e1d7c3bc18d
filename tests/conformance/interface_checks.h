#pragma once

#include <string>

#include "tests/conformance/engine_api.h"

// What a host can see of the guards and results of every export, before and after the first
// InitializeKMR. Must run first in a fresh process.
void RunInterfaceChecks(const EngineApi& api, const std::string& scratchDir);
