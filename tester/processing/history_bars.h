// History from a bar file: each bar through ProcessHistoryM1, before the price file's lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tester/connector/engine_api.h"

namespace kmr {

// Feeds the bars of `path` (tester/source/bar_reader.h) to the engine (none when `engine` is
// null) and returns how many. The bars must be in time order and before `before`, the time of
// the price file's first line; an invalid or misplaced bar throws SourceError naming the file
// and line, a file that cannot be opened std::runtime_error.
long FeedHistoryBars(const EngineApi* engine, const std::string& path,
                     std::optional<std::int32_t> before);

}  // namespace kmr
