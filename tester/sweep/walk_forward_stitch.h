// The out-of-sample runs of a walk-forward analysis joined into one: each run starts flat (a
// fresh engine, no deal open), so its equity is laid on top of where the runs before it ended.
#pragma once

#include <cstddef>
#include <vector>

#include "tester/report/run_recording.h"

namespace kmr {

// The runs in time order as one recording: their trades one after another (deals open at a
// run's end stay valued at its last price), the equity points and curve buckets shifted by the
// equity the earlier runs ended with, and the drawdowns measured from the peak of everything
// before, exactly at each trade line (each bucket keeps its lowest and highest equity).
RunRecording StitchRecordings(const std::vector<RunRecording>& runs);

// At most `limit` buckets, neighbours merged in pairs, for drawing.
std::vector<CurveBucket> ReduceBuckets(std::vector<CurveBucket> buckets, std::size_t limit);

}  // namespace kmr
