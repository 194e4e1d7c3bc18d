#include "live/sim/sim_options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "tester/replay/replay_options.h"

namespace kmr {

const char* const kBrokerSimHelp =
    R"(Usage: kmr-broker-sim --price-file FILE --port P [options]
A FIX 4.4 acceptor that plays a broker: it streams the price file's lines as market data for
the symbol (35=W, then 35=X; the quote's MDEntryDate/MDEntryTime are the line's time in UTC)
and fills market orders (35=D) as the tester's simulated broker does: a buy at the ask, a sell
at the bid of the current quote.

  --price-file FILE     the tester's price file "YYYYMMDD HHMMSS;price[;ask]", checked whole
                        before the acceptor starts
  --symbol S            the one symbol quoted and traded (default EURUSD)
  --spread X            the ask is the price plus X (default 0), as in kmr-replay
  --quotes spread|bid-ask   bid-ask: the ask is the line's third field, as in kmr-replay
  --from "YYYY-MM-DD HH:MM:SS"  local time: stream kmr-replay's trade part for this
                        --history-till, i.e. the lines after the first line at or after it
  --rate N              quotes per second (default 10; 0: as fast as possible)
  --lockstep            send quote N+1 only after the peer's TestRequest "KMR-STEP-<N>" and
                        after every order received before it is answered (--rate is unused)
  --partial-fills N     fill each order in N parts (default 1), each at the quote of its time
  --fill-delay MS       wait MS milliseconds before each fill (default 0)
  --reject-opens PICK   reject these orders that open (or add to) a position
  --reject-closes PICK  reject these orders that close (reduce) a position
  --cancel-orders PICK  acknowledge these orders, then cancel them unfilled (ExecType 4)
  --expire-orders PICK  acknowledge these orders, fill their first part only when
                        --partial-fills is above 1, and let the rest expire (ExecType C)
                        PICK: K picks every K-th; N,M,... those order numbers (one alone:
                        "N,"); numbers count opens, closes or all orders from 1
                        An order closes when its PositionEffect (77) is C, or, without 77,
                        when it is against the net position and no larger than it.
  --drop-after N        drop the connection once, right after quote N; the peer may log on
                        again and the stream resumes with quote N+1 (sequence numbers kept)
  --exit-at-end         after the last quote (and in lockstep its step), answer what is
                        pending, log out and exit 0; without --lockstep wait --linger first
  --linger MS           how long --exit-at-end waits for late orders (default 1000)
  --port P              the port to listen on (all addresses)
  --sender-comp-id ID --target-comp-id ID   the session (default SIM and KMR)
  --store DIR           QuickFIX's file store: sequence numbers survive a restart
                        (default kmr-broker-sim-store)
  --log DIR             QuickFIX's message log, passwords shown as ***
  --password-file FILE  the Password (554) the peer's logon must carry (one line)
  --tls-certificate FILE --tls-key FILE   accept TLS only (PEM files)
  --dictionary FILE     the FIX 4.4 data dictionary (default: FIX44.xml beside the program)
  --settings FILE       QuickFIX acceptor settings to use instead of the generated ones
                        (${VAR} is taken from the environment)
  -h, --help            this text

Status lines go to stderr. Exit status: 0 done (stopped by --exit-at-end, SIGINT or SIGTERM);
1 the FIX session could not be set up; 2 bad option or price file.
)";

namespace {

std::int64_t Whole(const std::string& name, const std::string& text, std::int64_t low,
                   std::int64_t high) {
  const char* begin = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(begin, &end, 10);
  if (text.empty() || end != begin + text.size() || errno == ERANGE || value < low ||
      value > high)
    throw OptionError(name + ": expected a whole number from " + std::to_string(low) + " to " +
                      std::to_string(high) + ", got '" + text + "'");
  return value;
}

}  // namespace

bool OrderPick::Picks(std::int64_t number) const {
  if (every > 0 && number % every == 0) return true;
  return std::binary_search(listed.begin(), listed.end(), number);
}

OrderPick ParseOrderPick(const std::string& option, const std::string& text) {
  OrderPick pick;
  constexpr std::int64_t kMost = std::numeric_limits<std::int32_t>::max();
  if (text.find(',') == std::string::npos) {
    pick.every = Whole(option, text, 1, kMost);
    return pick;
  }
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    pick.listed.push_back(Whole(option, text.substr(start, comma - start), 1, kMost));
    start = comma + 1;
  }
  if (pick.listed.empty()) throw OptionError(option + ": no order numbers in '" + text + "'");
  std::sort(pick.listed.begin(), pick.listed.end());
  pick.listed.erase(std::unique(pick.listed.begin(), pick.listed.end()), pick.listed.end());
  return pick;
}

BrokerSimOptions ParseBrokerSimOptions(const std::vector<std::string>& args) {
  BrokerSimOptions o;
  bool havePort = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name.rfind("--", 0) == 0) {
      if (const std::size_t equals = name.find('='); equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        name.resize(equals);
      }
    }
    auto value = [&]() -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) throw OptionError(name + " needs a value");
      return args[++i];
    };
    auto text = [&]() -> std::string {
      std::string v = value();
      if (v.empty()) throw OptionError(name + " needs a non-empty value");
      return v;
    };
    auto flag = [&](bool& target) {
      if (inlineValue) throw OptionError(name + " takes no value");
      target = true;
    };
    if (name == "-h" || name == "--help")
      flag(o.help);
    else if (name == "--price-file")
      o.priceFile = text();
    else if (name == "--symbol")
      o.symbol = text();
    else if (name == "--spread") {
      TesterSettings probe;
      ApplySettingOption(name, value(), probe);
      o.spread = probe.Spread;
    } else if (name == "--quotes") {
      const std::string quotes = value();
      if (quotes != "spread" && quotes != "bid-ask")
        throw OptionError("--quotes: spread or bid-ask, not '" + quotes + "'");
      o.quotesFromFile = quotes == "bid-ask";
    } else if (name == "--from") {
      const std::string v = value();
      LocalDateTime t = ParseHistoryTillText(v);
      try {
        HistoryTillFromFields(t);
      } catch (const SettingsError& e) {
        throw OptionError("--from: " + std::string(e.what()));
      }
      o.from = t;
    } else if (name == "--rate") {
      const std::string v = value();
      char* end = nullptr;
      errno = 0;
      const double rate = std::strtod(v.c_str(), &end);
      if (v.empty() || end != v.c_str() + v.size() || errno == ERANGE || !std::isfinite(rate) ||
          rate < 0 || rate > 1e6)
        throw OptionError("--rate: expected quotes per second from 0 to 1000000, got '" + v + "'");
      o.rate = rate;
    } else if (name == "--lockstep")
      flag(o.lockstep);
    else if (name == "--partial-fills")
      o.partialFills = static_cast<int>(Whole(name, value(), 1, 1000));
    else if (name == "--fill-delay")
      o.fillDelayMs = static_cast<int>(Whole(name, value(), 0, 600000));
    else if (name == "--linger")
      o.lingerMs = static_cast<int>(Whole(name, value(), 0, 600000));
    else if (name == "--reject-opens")
      o.rejectOpens = ParseOrderPick(name, value());
    else if (name == "--reject-closes")
      o.rejectCloses = ParseOrderPick(name, value());
    else if (name == "--cancel-orders")
      o.cancelOrders = ParseOrderPick(name, value());
    else if (name == "--expire-orders")
      o.expireOrders = ParseOrderPick(name, value());
    else if (name == "--drop-after")
      o.dropAfter = Whole(name, value(), 1, std::numeric_limits<std::int32_t>::max());
    else if (name == "--exit-at-end")
      flag(o.exitAtEnd);
    else if (name == "--port") {
      o.port = static_cast<int>(Whole(name, value(), 1, 65535));
      havePort = true;
    } else if (name == "--sender-comp-id")
      o.senderCompId = text();
    else if (name == "--target-comp-id")
      o.targetCompId = text();
    else if (name == "--store")
      o.storeDir = text();
    else if (name == "--log")
      o.logDir = text();
    else if (name == "--dictionary")
      o.dictionary = text();
    else if (name == "--password-file")
      o.passwordFile = text();
    else if (name == "--tls-certificate")
      o.tlsCertificate = text();
    else if (name == "--tls-key")
      o.tlsKey = text();
    else if (name == "--settings")
      o.settingsFile = text();
    else if (name.size() > 1 && name[0] == '-')
      throw OptionError("unknown option " + name);
    else
      throw OptionError("unexpected argument '" + name + "' (the price file is --price-file)");
  }
  if (o.help) return o;
  if (o.priceFile.empty()) throw OptionError("--price-file is required");
  if (!havePort && o.settingsFile.empty()) throw OptionError("--port is required");
  if (o.tlsCertificate.empty() != o.tlsKey.empty())
    throw OptionError("--tls-certificate and --tls-key go together");
  for (const char c : o.senderCompId + o.targetCompId + o.symbol)
    if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f')
      throw OptionError("--symbol, --sender-comp-id and --target-comp-id take no spaces or "
                        "control characters");
  return o;
}

}  // namespace kmr
