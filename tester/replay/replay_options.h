// The command line of kmr-replay.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tester/settings/local_time.h"
#include "tester/settings/settings_store.h"

namespace kmr {

// A bad option or option value; what() names it.
class OptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ReplayOptions {
  std::string priceFile;
  std::optional<LocalDateTime> historyTill;
  std::optional<LocalDateTime> historyFrom;  // --history-from: lines before it are skipped
  std::optional<LocalDateTime> tradeTill;    // --trade-till: the run ends with the line at it
  bool defaults = false;
  bool json = false;
  bool showSettings = false;
  bool save = false;
  bool help = false;
  std::string library;
  bool quotesFromFile = false;        // --quotes bid-ask
  std::string historyBars;            // --history-bars FILE
  std::optional<double> accountSize;  // --account
  std::string reportDir;              // --report: the folder of the run's report files
  // Settings given on the command line, applied over the stored (or default) record in order.
  std::vector<std::pair<std::string, std::string>> overrides;
};

ReplayOptions ParseReplayOptions(const std::vector<std::string>& args);

// Applies one "--name value" setting to the record; throws OptionError for a bad value.
void ApplySettingOption(const std::string& name, const std::string& value, TesterSettings& s);

// "YYYY-MM-DD HH:MM:SS" (the fields are range-checked later, when the time is formed); a bad
// text is an OptionError naming `option`.
LocalDateTime ParseLocalTimeOption(const std::string& option, const std::string& text);
inline LocalDateTime ParseHistoryTillText(const std::string& text) {
  return ParseLocalTimeOption("--history-till", text);
}

extern const char* const kReplayHelp;

}  // namespace kmr
