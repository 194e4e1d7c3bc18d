// The kmr-replay command that reproduces a run, every setting spelled out, so that it gives the
// same results whatever settings are stored where it is run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tester/settings/settings_store.h"

namespace kmr {

// `text` as one word for a POSIX shell: unchanged when it holds only safe characters, else in
// single quotes.
std::string ShellQuote(std::string_view text);

// What a run took besides its settings: the ask from the price file, history bars.
struct ReplayInputs {
  bool quotesFromFile = false;                         // --quotes bid-ask
  std::string historyBars;                             // --history-bars FILE
  std::optional<std::int32_t> historyFrom, tradeTill;  // --history-from, --trade-till
};

// A time as the time options take it: "YYYY-MM-DD HH:MM:SS", local.
std::string LocalTimeOptionText(std::int32_t time);

// kmr-replay --defaults with every setting of `record`, its history-till time (local) and the
// window, the account size, the library when one was named, the inputs, and the price file. The
// zone the local times were read in goes in front when TZ is set.
std::string ReplayCommandLine(const SettingsRecord& record, const std::string& priceFile,
                              double accountSize, const std::string& library = {},
                              const ReplayInputs& inputs = {});

}  // namespace kmr
