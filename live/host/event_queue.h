// The one way QuickFIX's threads reach the host thread: they push events, the host thread pops
// them. The lock is held only to move an event in or out, never while calling QuickFIX.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "live/host/exec_report.h"
#include "live/host/quote_book.h"

namespace kmr {

enum class HostEventKind : std::uint8_t {
  kLogon,
  kLogout,
  kQuote,
  kExecReport,
  kUnsent,  // text: the ClOrdID of an order the session kept back after a reconnect
  kNotice,  // a session-level or business reject, or what else is worth a log line
  kStop,
};

struct HostEvent {
  HostEventKind kind = HostEventKind::kNotice;
  QuoteUpdate quote;
  ExecReport report;
  std::string text;
};

class EventQueue {
 public:
  void Push(HostEvent event);
  // The oldest event, waiting at most `timeout`; false when none came.
  bool Pop(HostEvent& event, std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<HostEvent> events_;
};

}  // namespace kmr
