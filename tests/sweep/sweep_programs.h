// kmr-sweep and kmr-replay as the sweep tests run them, and the sample prices they sweep.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tester/sweep/json_line.h"
#include "tests/convert/run_program.h"

namespace kmr::test {

// kmr-sweep with the built engine library.
Outcome Sweep(std::vector<std::string> args);

// The same started in a process group of its own, its output dropped, so that the group can be
// killed with its workers; -1 when it cannot be started.
pid_t StartSweep(const std::vector<std::string>& args);

// Waits (a minute at most) until the results file `path` holds `lines` lines, then kills the
// process group of `pid` and reaps it: true when it was killed, false when it ended first.
bool KillOnceItHolds(pid_t pid, const std::string& path, std::size_t lines);

// The settings under which the sample trades (those of run.sh), without a time window.
std::vector<std::string> SampleTradingSettings();

// Those settings with the history till `till`.
std::vector<std::string> SampleSettings(const std::string& till);

// The first `lines` lines of the bundled sample, written into `folder`.
std::string SampleHead(const std::string& folder, int lines);

// kmr-replay --json of a row's reproducing command, run by the shell as the row spells it.
Outcome ReplayCommand(const std::string& command);

// The parsed lines of a results file.
std::vector<JsonValue> Rows(const std::string& path);

}  // namespace kmr::test
