#include "live/host/live_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kmr {

const char* const kLiveHelp =
    R"(Usage: kmr-live --fix-settings FILE --symbol SYMBOL [options]
Trades the KMR engine against a broker over FIX 4.4: market data for the symbol becomes the
engine's ticks, its commands become market orders, the broker's execution reports its fills.

Session:
  --fix-settings FILE   QuickFIX session settings (initiator); ${VAR} is taken from the
                        environment. FIX 4.4, UseDataDictionary=Y with a FIX44.xml
  --symbol SYMBOL       the instrument (55) to subscribe to and trade
  --username NAME       Username (553) of the logon
  --password-file FILE  the logon's Password (554): the file's first line
  --password-env NAME   or the environment variable NAME (default KMR_FIX_PASSWORD)
  --tls                 connect through QuickFIX's SSL initiator (the settings' SSL keys)
  --lockstep            ask for each next quote only when the last one is done with
                        (kmr-broker-sim --lockstep): the run then is the tester's run
Orders and safety:
  --record FILE         the order and fill record (default kmr-live.record); at start it
                        must show no open deal or unanswered order, unless --flatten
  --flatten             close what the record shows open before trading
  --flatten-on-exit     close every deal on SIGINT/SIGTERM before logging out
  --max-orders-per-minute N   --max-position X   --max-loss X
                        host limits beyond the engine's own (0: none): new orders stop
  --close-retries N     a close rejected N times (default 3) stops trading
  --stale-after SEC     a quote older than SEC by the clock is not traded on (default 60;
                        0: no check, for recorded prices)
  --feed-timeout SEC    no quote for SEC seconds is reported as a stopped feed (default 30)
Engine (as kmr-replay):
  --history FILE        price file whose lines up to --history-till warm up the charts
  --history-till "YYYY-MM-DD HH:MM:SS"   --history-bars FILE   --quotes spread|bid-ask
  --defaults   --spread X --deal-size X --tick-size X ... (kmr-replay --help)
  --log-file PATH       the engine's journal   --library PATH   --show-settings
Visible:
  --status-file FILE    a JSON status written whole every second
  --status-every SEC    a status line on stderr every SEC seconds (default 5; 0: none)

The engine opens its window when DISPLAY is set (KMR_NO_WINDOW=1 keeps it closed).
Exit status: 0 stopped; 2 bad input; 3 the engine library cannot be loaded; 4 the order
record refuses the start or cannot be written; 5 the FIX session cannot be set up.
)";

namespace {

double Real(const std::string& name, const std::string& value, bool allowZero = true) {
  char* end = nullptr;
  errno = 0;
  const double result = std::strtod(value.c_str(), &end);
  if (value.empty() || end != value.c_str() + value.size() || errno == ERANGE ||
      !std::isfinite(result) || result < 0 || (!allowZero && result == 0))
    throw OptionError(name + ": not a " + (allowZero ? "number >= 0" : "positive number") +
                      ": '" + value + "'");
  return result;
}

int Count(const std::string& name, const std::string& value) {
  char* end = nullptr;
  errno = 0;
  const long result = std::strtol(value.c_str(), &end, 10);
  if (value.empty() || end != value.c_str() + value.size() || errno == ERANGE || result < 0 ||
      result > std::numeric_limits<int>::max())
    throw OptionError(name + ": not a count: '" + value + "'");
  return static_cast<int>(result);
}

}  // namespace

LiveOptions ParseLiveOptions(const std::vector<std::string>& args) {
  LiveOptions o;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string inlineValue;
    bool hasInline = false;
    if (name.rfind("--", 0) == 0)
      if (const std::size_t eq = name.find('='); eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        hasInline = true;
        name.resize(eq);
      }
    auto value = [&]() -> std::string {
      if (hasInline) return inlineValue;
      if (i + 1 >= args.size()) throw OptionError(name + " needs a value");
      return args[++i];
    };
    auto text = [&](std::string& target) {
      target = value();
      if (target.empty()) throw OptionError(name + " needs a value");
    };
    auto flag = [&](bool& target) {
      if (hasInline) throw OptionError(name + " takes no value");
      target = true;
    };
    if (name == "-h" || name == "--help") flag(o.help);
    else if (name == "--fix-settings") text(o.fixSettings);
    else if (name == "--symbol") text(o.symbol);
    else if (name == "--username") text(o.username);
    else if (name == "--password-file") text(o.passwordFile);
    else if (name == "--password-env") text(o.passwordEnv);
    else if (name == "--record") text(o.record);
    else if (name == "--status-file") text(o.statusFile);
    else if (name == "--tls") flag(o.tls);
    else if (name == "--lockstep") flag(o.lockstep);
    else if (name == "--flatten") flag(o.flatten);
    else if (name == "--flatten-on-exit") flag(o.flattenOnExit);
    else if (name == "--stale-after") o.staleAfter = Real(name, value());
    else if (name == "--feed-timeout") o.feedTimeout = Real(name, value());
    else if (name == "--status-every") o.statusEvery = Real(name, value());
    else if (name == "--close-retries") o.closeRetries = Count(name, value());
    else if (name == "--max-orders-per-minute") o.limits.maxOrdersPerMinute = Count(name, value());
    else if (name == "--max-position") o.limits.maxNetPosition = Real(name, value());
    else if (name == "--max-loss") o.limits.maxSessionLoss = Real(name, value());
    else if (name == "--history") {
      std::string file;
      text(file);
      rest.push_back(file);
    } else if (name == "--json" || name == "--report" || name == "--account" || name == "--save") {
      throw OptionError(name + " is an option of kmr-replay, not of kmr-live");
    } else if (name.size() > 1 && name[0] == '-') {
      rest.push_back(args[i]);
      // The value of a kmr-replay option goes with it; ParseReplayOptions checks both.
      if (!hasInline && i + 1 < args.size() && name != "--defaults" && name != "--show-settings")
        rest.push_back(args[++i]);
    } else {
      throw OptionError("unexpected argument '" + name + "' (a price file goes with --history)");
    }
  }
  if (o.closeRetries < 1) throw OptionError("--close-retries: at least 1");
  o.replay = ParseReplayOptions(rest);
  return o;
}

}  // namespace kmr
