// The recording of one kmr-replay run, made in a child process of its own so that the engine
// starts fresh, as in a standalone kmr-replay: what walk-forward stitches its test periods from.
#pragma once

#include <string>
#include <vector>

#include "tester/report/run_recording.h"

namespace kmr {

struct RecordedRun {
  bool ok = false;
  std::string error;  // why not, naming the option, file or line
  RunRecording recording;
};

// Runs `replayArgs` (kmr-replay's arguments without the program) with the engine `library`
// (empty: kmr-replay's default search).
RecordedRun RecordRunInChild(const std::vector<std::string>& replayArgs,
                             const std::string& library);

}  // namespace kmr
