// kmr-broker-sim's core: the acceptor, the quote stream and the order desk on one thread of
// their own; QuickFIX's callbacks only queue what arrived.
#pragma once

#include <atomic>
#include <string>

#include "live/sim/sim_options.h"

namespace kmr {

// The QuickFIX acceptor settings kmr-broker-sim generates when --settings is not given.
std::string BrokerSimSettingsText(const BrokerSimOptions& options, const std::string& dictionary);

// FIX44.xml beside the running program, else the one the build was configured with.
std::string DefaultFix44Dictionary();

// Runs until --exit-at-end's end or until `stop` turns true; status lines go to stderr.
// Returns the exit status: 0 done, 1 the session could not be set up, 2 a bad price file.
int RunBrokerSim(const BrokerSimOptions& options, const std::atomic<bool>& stop);

}  // namespace kmr
