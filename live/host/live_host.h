// The host thread: the one thread that calls the engine. It takes the events QuickFIX's threads
// queue, turns quotes into ticks, the engine's commands into orders, and execution reports into
// the engine's calls, with the order record written first and the safety limits checked.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "live/host/event_queue.h"
#include "live/host/exec_handling.h"
#include "live/host/order_book.h"
#include "live/host/order_record.h"
#include "live/host/quote_book.h"
#include "live/host/safety_limits.h"
#include "tester/connector/engine_api.h"
#include "tester/settings/tester_settings.h"

namespace kmr {

// The FIX session as the host thread uses it; called only from that thread.
class OrderGateway {
 public:
  virtual ~OrderGateway() = default;
  // Market data for the symbol (35=V), after every logon.
  virtual void Subscribe() = 0;
  // A market NewOrderSingle; throws std::exception when it cannot be handed to the session.
  virtual void SendOrder(const LiveOrder& order) = 0;
  // Lockstep: quote `n` is done with (TestRequest KMR-STEP-<n>).
  virtual void SendStep(long n) = 0;
};

struct LiveConfig {
  TesterSettings settings;  // the engine's (deal size, tick size and value, commission)
  bool lockstep = false;
  bool flatten = false;        // close what the record shows open before trading
  bool flattenOnExit = false;  // close every deal before logging out
  double staleAfter = 60;      // seconds a quote may be old by the wall clock; 0: no check
  double feedTimeout = 30;     // seconds without a quote before the feed counts as stopped
  double exitTimeout = 15;     // seconds the flattening at exit may take
  SafetyLimits limits;
  std::string clOrdPrefix;  // unique to this run (a start stamp), so ClOrdIDs never repeat
  std::string statusFile;   // JSON status written whole every second; empty: none
  double statusEvery = 5;   // seconds between status lines on stderr; 0: none
};

// Exit statuses of a run.
inline constexpr int kLiveDone = 0;
inline constexpr int kLiveRecordError = 4;  // the record cannot be read or written, or refuses

class LiveHost {
 public:
  // `restored` is the book the record left (deals of earlier runs); `record` is open.
  LiveHost(const EngineApi& engine, LiveConfig config, OrderGateway& gateway, EventQueue& events,
           OrderRecord& record, OrderBook restored);

  // Serves events until a stop event or `stop` (flattening first when asked); the status.
  int Run(const std::atomic<bool>& stop);

  const OrderBook& Book() const { return book_; }
  double ClosedProfit() const { return closedProfit_; }

 private:
  enum class Phase { kFlattening, kTrading, kStopping };

  void OnEvent(const HostEvent& event);
  void OnQuote(const QuoteUpdate& quote);
  void OnReport(const ExecReport& report);
  void OnUnsent(const std::string& clOrdId);
  void Perform(const std::vector<HostAction>& actions);
  void DrainCommands();
  void OpenDeal(bool isLong, std::uint32_t id);
  void CloseDeal(std::uint32_t ticket);
  void SendCloses();
  bool SendOne(LiveOrder& order);
  void MaybeStep();
  void BeginFlattening();
  void CloseEverything();
  double FloatingProfit() const;
  double PendingOpenPosition() const;
  void Log(const std::string& text);
  void Loud(const std::string& text);
  void Status(bool force);

  const EngineApi& engine_;
  LiveConfig config_;
  OrderGateway& gateway_;
  EventQueue& events_;
  OrderRecord& record_;
  OrderBook book_;
  QuoteState quotes_;
  LimitGuard limits_;
  Phase phase_ = Phase::kTrading;
  bool loggedOn_ = false;
  bool everLoggedOn_ = false;
  std::uint64_t logonMs_ = 0;
  bool fatal_ = false;
  int exitStatus_ = kLiveDone;
  long quoteCount_ = 0;
  long tickCount_ = 0;
  long stepDue_ = 0;
  long orderCount_ = 0;
  long nextOrder_ = 1;
  double closedProfit_ = 0;
  QuoteVerdict lastVerdict_ = QuoteVerdict::kTick;
  std::uint64_t lastQuoteMs_ = 0;
  bool feedStopped_ = false;
  std::uint64_t lastStatusLineMs_ = 0, lastStatusFileMs_ = 0;
};

}  // namespace kmr
