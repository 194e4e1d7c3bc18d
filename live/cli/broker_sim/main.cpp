// kmr-broker-sim: a FIX 4.4 broker for tests and demos (see --help).
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include <atomic>

#include "live/sim/broker_sim.h"
#include "live/sim/sim_options.h"
#include "tester/replay/replay_options.h"

namespace {
std::atomic<bool> g_stop{false};
void OnSignal(int) { g_stop.store(true); }
}  // namespace

int main(int argc, char** argv) {
  kmr::BrokerSimOptions options;
  try {
    options = kmr::ParseBrokerSimOptions(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const kmr::OptionError& e) {
    std::fprintf(stderr, "kmr-broker-sim: %s (see --help)\n", e.what());
    return 2;
  }
  if (options.help) {
    std::fputs(kmr::kBrokerSimHelp, stdout);
    return 0;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGPIPE, SIG_IGN);
  return kmr::RunBrokerSim(options, g_stop);
}
