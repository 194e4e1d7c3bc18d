// The FIX side of kmr-live: QuickFIX's Application, whose callbacks only read messages and queue
// them for the host thread, and the OrderGateway through which the host thread sends.
#pragma once

#include <atomic>
#include <string>

#include <quickfix/Application.h>
#include <quickfix/Message.h>
#include <quickfix/SessionID.h>

#include "live/host/event_queue.h"
#include "live/host/live_host.h"

namespace kmr {

class FixApplication : public FIX::Application, public OrderGateway {
 public:
  FixApplication(EventQueue& events, std::string symbol, std::string username,
                 std::string password);

  // --- QuickFIX's callbacks (its threads) ---
  void onCreate(const FIX::SessionID& id) override;
  void onLogon(const FIX::SessionID& id) override;
  void onLogout(const FIX::SessionID& id) override;
  void toAdmin(FIX::Message& message, const FIX::SessionID& id) override;
  void toApp(FIX::Message& message, const FIX::SessionID& id) override;
  void fromAdmin(const FIX::Message& message, const FIX::SessionID& id) override;
  void fromApp(const FIX::Message& message, const FIX::SessionID& id) override;

  // --- The host thread's ---
  void Subscribe() override;
  void SendOrder(const LiveOrder& order) override;
  void SendStep(long n) override;

 private:
  void Send(FIX::Message& message);

  EventQueue& events_;
  std::string symbol_, username_, password_;
  FIX::SessionID session_;
  std::atomic<bool> haveSession_{false};
  std::atomic<long> requests_{0};
  std::atomic<bool> replayNoted_{false};
};

// The parts of incoming messages the host takes, read by tag (no typed cracking).
ExecReport ReadExecReport(const FIX::Message& message);
// Entries of another symbol, of another type or beyond the kept ones count as dropped.
QuoteUpdate ReadQuoteUpdate(const FIX::Message& message, const std::string& symbol);

}  // namespace kmr
