// The command line of kmr-broker-sim.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tester/settings/local_time.h"

namespace kmr {

// Which orders of a kind (opens, closes, or all) an option picks: every K-th (K > 0), or the
// listed order numbers (1-based, in the order the orders arrive).
struct OrderPick {
  std::int64_t every = 0;           // 0: none by period
  std::vector<std::int64_t> listed;  // sorted, without repeats
  bool Picks(std::int64_t number) const;
};

// "K" (every K-th) or "N,M,..." (those numbers; one alone is written "N,"). Throws
// OptionError naming `option` for anything else.
OrderPick ParseOrderPick(const std::string& option, const std::string& text);

struct BrokerSimOptions {
  bool help = false;
  std::string priceFile;
  std::string symbol = "EURUSD";
  int port = 0;               // required unless --settings gives SocketAcceptPort
  std::string settingsFile;   // QuickFIX acceptor settings instead of generated ones
  std::string senderCompId = "SIM";
  std::string targetCompId = "KMR";
  std::string storeDir = "kmr-broker-sim-store";
  std::string logDir;          // QuickFIX's message log (passwords redacted); none when empty
  std::string dictionary;      // FIX44.xml; default: beside the program
  std::string passwordFile;    // the logon password the peer must send; none when empty
  std::string tlsCertificate;  // PEM certificate and key: a TLS acceptor
  std::string tlsKey;
  double spread = 0;
  bool quotesFromFile = false;  // --quotes bid-ask
  std::optional<LocalDateTime> from;
  double rate = 10;  // quotes per second; 0 as fast as possible
  bool lockstep = false;
  int partialFills = 1;
  int fillDelayMs = 0;
  OrderPick rejectOpens, rejectCloses, cancelOrders, expireOrders;
  std::int64_t dropAfter = 0;  // 0: never
  bool exitAtEnd = false;
  int lingerMs = 1000;  // without --lockstep: how long --exit-at-end waits for late orders
};

// Throws OptionError (tester/replay/replay_options.h) for an unknown option or a bad value.
BrokerSimOptions ParseBrokerSimOptions(const std::vector<std::string>& args);

extern const char* const kBrokerSimHelp;

}  // namespace kmr
