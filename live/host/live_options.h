// The command line of kmr-live: its own options, and the engine's settings as kmr-replay takes
// them (stored settings, --defaults, the setting options, --log-file, --library).
#pragma once

#include <string>
#include <vector>

#include "live/host/safety_limits.h"
#include "tester/replay/replay_options.h"

namespace kmr {

struct LiveOptions {
  ReplayOptions replay;      // the engine's settings; replay.priceFile is the --history file
  std::string fixSettings;   // --fix-settings FILE (QuickFIX session settings)
  std::string symbol;        // --symbol
  std::string username;      // --username (553)
  std::string passwordFile;  // --password-file FILE
  std::string passwordEnv = "KMR_FIX_PASSWORD";  // --password-env NAME
  std::string record = "kmr-live.record";        // --record FILE
  std::string statusFile;                        // --status-file FILE
  bool tls = false;
  bool lockstep = false;
  bool flatten = false;
  bool flattenOnExit = false;
  bool help = false;
  double staleAfter = 60;
  double feedTimeout = 30;
  double statusEvery = 5;
  int closeRetries = 3;
  SafetyLimits limits;
};

// Throws OptionError naming the option.
LiveOptions ParseLiveOptions(const std::vector<std::string>& args);

extern const char* const kLiveHelp;

}  // namespace kmr
