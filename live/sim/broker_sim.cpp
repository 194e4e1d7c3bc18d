#include "live/sim/broker_sim.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <quickfix/Application.h>
#include <quickfix/FieldNumbers.h>
#include <quickfix/FileLog.h>
#include <quickfix/FileStore.h>
#include <quickfix/Session.h>
#include <quickfix/SessionSettings.h>

#include "live/fix/fix_number.h"
#include "live/fix/redacting_log.h"
#include "live/sim/sim_acceptor.h"
#include "live/sim/sim_orders.h"
#include "live/sim/sim_quotes.h"

namespace kmr {

namespace {

using Clock = std::chrono::steady_clock;

void Status(const std::string& line) { std::fprintf(stderr, "kmr-broker-sim: %s\n", line.c_str()); }

// What QuickFIX's thread hands to the sim's thread, in the order it arrived.
struct SimEvent {
  enum class Kind : std::uint8_t { kLogon, kLogout, kSubscribe, kUnsubscribe, kOrder, kStep };
  Kind kind;
  FIX::SessionID session;
  FIX::Message message;  // kSubscribe, kOrder
  std::int64_t step = 0;
};

class SimApplication : public FIX::Application {
 public:
  explicit SimApplication(std::string password) : password_(std::move(password)) {}

  // Waits until an event is queued or `deadline`; true when one is.
  bool Wait(Clock::time_point deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_until(lock, deadline, [&] { return !events_.empty(); });
  }
  std::deque<SimEvent> Take() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::deque<SimEvent> taken;
    taken.swap(events_);
    return taken;
  }

  void onCreate(const FIX::SessionID&) override {}
  void onLogon(const FIX::SessionID& id) override { Push({SimEvent::Kind::kLogon, id, {}, 0}); }
  void onLogout(const FIX::SessionID& id) override { Push({SimEvent::Kind::kLogout, id, {}, 0}); }
  void toAdmin(FIX::Message&, const FIX::SessionID&) override {}
  void toApp(FIX::Message&, const FIX::SessionID&) override {}

  void fromAdmin(const FIX::Message& message, const FIX::SessionID& id) override {
    const std::string& type = message.getHeader().getField(FIX::FIELD::MsgType);
    if (type == "A" && !password_.empty()) {
      if (!message.isSetField(FIX::FIELD::Password) ||
          message.getField(FIX::FIELD::Password) != password_)
        throw FIX::RejectLogon("wrong or missing password");
    } else if (type == "1" && message.isSetField(FIX::FIELD::TestReqID)) {
      const std::string& request = message.getField(FIX::FIELD::TestReqID);
      static const std::string kStep = "KMR-STEP-";
      if (request.compare(0, kStep.size(), kStep) == 0) {
        const std::string number = request.substr(kStep.size());
        char* end = nullptr;
        const long long step = std::strtoll(number.c_str(), &end, 10);
        if (!number.empty() && end == number.c_str() + number.size() && step > 0)
          Push({SimEvent::Kind::kStep, id, {}, step});
      }
    }
  }

  void fromApp(const FIX::Message& message, const FIX::SessionID& id) override {
    const std::string& type = message.getHeader().getField(FIX::FIELD::MsgType);
    if (type == "D") {
      Push({SimEvent::Kind::kOrder, id, message, 0});
    } else if (type == "V") {
      const bool unsubscribe = message.isSetField(FIX::FIELD::SubscriptionRequestType) &&
                               message.getField(FIX::FIELD::SubscriptionRequestType) == "2";
      Push({unsubscribe ? SimEvent::Kind::kUnsubscribe : SimEvent::Kind::kSubscribe, id, message,
            0});
    } else {
      throw FIX::UnsupportedMessageType();
    }
  }

 private:
  void Push(SimEvent event) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(std::move(event));
    }
    cv_.notify_one();
  }

  std::string password_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<SimEvent> events_;
};

std::string ReadPassword(const std::string& path) {
  std::ifstream in(path);
  std::string password;
  if (!in || !std::getline(in, password))
    throw std::runtime_error("--password-file: cannot read '" + path + "'");
  if (!password.empty() && password.back() == '\r') password.pop_back();
  if (password.empty()) throw std::runtime_error("--password-file: '" + path + "' is empty");
  return password;
}

struct Scheduled {
  Clock::time_point due;
  FIX::SessionID session;
  SimOrder order;
};

// The sim's thread: everything but QuickFIX's own socket work.
class BrokerSim {
 public:
  BrokerSim(const BrokerSimOptions& options, SimApplication& app, QuoteStream& quotes)
      : o_(options), app_(app), quotes_(quotes),
        desk_(options, std::to_string(static_cast<long long>(std::time(nullptr)))) {}

  int Run(const std::atomic<bool>& stop);

 private:
  void Handle(SimEvent& event);
  void Send(FIX::Message message, const FIX::SessionID& session);
  void SendDueFills();
  void MaybeSendQuote();
  bool Finished(Clock::time_point now) const;

  const BrokerSimOptions& o_;
  SimApplication& app_;
  QuoteStream& quotes_;
  SimOrderDesk desk_;
  std::optional<FIX::SessionID> session_;  // the subscribed one
  bool loggedOn_ = false;
  std::string mdReqId_;
  bool snapshotNext_ = true;
  bool stepDone_ = true;  // lockstep: the peer has stepped past the last quote sent
  bool haveQuote_ = false;
  SimQuote current_, next_;
  bool haveNext_ = false;
  std::int64_t sent_ = 0;
  bool dropped_ = false;
  Clock::time_point nextQuoteDue_ = Clock::now();
  Clock::time_point lastActivity_ = Clock::now();
  std::deque<Scheduled> scheduled_;
};

void BrokerSim::Send(FIX::Message message, const FIX::SessionID& session) {
  try {
    FIX::Session::sendToTarget(message, session);
  } catch (const FIX::SessionNotFound&) {
    Status("session " + session.toString() + " not found; message dropped");
  }
}

void BrokerSim::Handle(SimEvent& e) {
  lastActivity_ = Clock::now();
  switch (e.kind) {
    case SimEvent::Kind::kLogon:
      loggedOn_ = true;
      session_ = e.session;
      Status("logon " + e.session.toString());
      break;
    case SimEvent::Kind::kLogout:
      if (loggedOn_) Status("logout " + e.session.toString());
      loggedOn_ = false;
      break;
    case SimEvent::Kind::kUnsubscribe:
      mdReqId_.clear();
      Status("unsubscribed");
      break;
    case SimEvent::Kind::kSubscribe: {
      const std::string id = e.message.isSetField(FIX::FIELD::MDReqID)
                                 ? e.message.getField(FIX::FIELD::MDReqID) : std::string();
      bool symbolOk = false;
      if (e.message.groupCount(FIX::FIELD::NoRelatedSym) >= 1) {
        const FIX::FieldMap& sym = e.message.getGroupRef(1, FIX::FIELD::NoRelatedSym);
        symbolOk = sym.isSetField(FIX::FIELD::Symbol) &&
                   sym.getField(FIX::FIELD::Symbol) == o_.symbol;
      }
      if (!symbolOk || id.empty()) {
        FIX::Message reject;
        reject.getHeader().setField(FIX::FIELD::MsgType, "Y");
        reject.setField(FIX::FIELD::MDReqID, id.empty() ? "NONE" : id);
        reject.setField(FIX::FIELD::MDReqRejReason, "0");
        reject.setField(FIX::FIELD::Text, "only " + o_.symbol + " is quoted");
        Send(reject, e.session);
        Status("subscription '" + id + "' rejected: not " + o_.symbol);
        break;
      }
      mdReqId_ = id;
      session_ = e.session;
      snapshotNext_ = true;
      stepDone_ = true;
      Status("subscribed '" + id + "' to " + o_.symbol + " from quote " + std::to_string(sent_ + 1));
      break;
    }
    case SimEvent::Kind::kStep:
      if (e.step == sent_) stepDone_ = true;
      break;
    case SimEvent::Kind::kOrder: {
      OrderVerdict v = desk_.Accept(e.message, haveQuote_);
      if (v.kind == OrderVerdict::Kind::kIgnore) {
        Status(v.why);
        break;
      }
      Send(BuildExecutionReport(v.report), e.session);
      if (v.kind == OrderVerdict::Kind::kReject) {
        Status("order " + v.report.clOrdId + " rejected: " + v.why);
        break;
      }
      Status(std::string("order ") + v.order.clOrdId + (v.order.buy ? " buy " : " sell ") +
             v.order.orderQty + (v.order.closes ? " (close)" : " (open)") + " accepted as " +
             v.order.orderId);
      scheduled_.push_back({Clock::now() + std::chrono::milliseconds(o_.fillDelayMs), e.session,
                            std::move(v.order)});
      break;
    }
  }
}

void BrokerSim::SendDueFills() {
  const Clock::time_point now = Clock::now();
  while (!scheduled_.empty() && scheduled_.front().due <= now) {
    Scheduled s = std::move(scheduled_.front());
    scheduled_.pop_front();
    bool done = false;
    const ExecReport r = desk_.Step(s.order, current_.bid, current_.ask, done);
    Send(BuildExecutionReport(r), s.session);
    if (r.execType == 'F')
      Status("order " + r.clOrdId + " filled " + r.lastQty + " at " +
             FormatFixNumber(r.lastPx) + ", " + r.cumQty + " of " +
             r.orderQty);
    else
      Status("order " + r.clOrdId + " " + r.text);
    if (!done) {
      s.due = Clock::now() + std::chrono::milliseconds(o_.fillDelayMs);
      scheduled_.push_back(std::move(s));
    }
    lastActivity_ = Clock::now();
  }
}

void BrokerSim::MaybeSendQuote() {
  if (!loggedOn_ || mdReqId_.empty() || !haveNext_ || !session_) return;
  if (o_.lockstep) {
    if (!stepDone_ || !scheduled_.empty()) return;
  } else if (o_.rate > 0 && Clock::now() < nextQuoteDue_) {
    return;
  }
  current_ = next_;
  haveQuote_ = true;
  Send(BuildQuoteMessage(current_, o_.symbol, mdReqId_, snapshotNext_), *session_);
  snapshotNext_ = false;
  stepDone_ = false;
  ++sent_;
  lastActivity_ = Clock::now();
  if (o_.rate > 0) {
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(1.0 / o_.rate));
    // After a pause (a logout, a slow peer) the stream goes on at its rate, without a burst.
    nextQuoteDue_ += interval;
    if (nextQuoteDue_ < Clock::now()) nextQuoteDue_ = Clock::now() + interval;
  }
  haveNext_ = quotes_.Next(next_);
  if (!haveNext_) Status("last quote sent (" + std::to_string(sent_) + ")");
  if (o_.dropAfter == sent_ && !dropped_) {
    dropped_ = true;
    loggedOn_ = false;
    Status("dropping the connection after quote " + std::to_string(sent_));
    if (FIX::Session* session = FIX::Session::lookupSession(*session_)) session->disconnect();
  }
}

bool BrokerSim::Finished(Clock::time_point now) const {
  if (!o_.exitAtEnd || haveNext_ || sent_ == 0 || !scheduled_.empty()) return false;
  if (o_.lockstep) return stepDone_ || !loggedOn_;
  return now - lastActivity_ >= std::chrono::milliseconds(o_.lingerMs);
}

int BrokerSim::Run(const std::atomic<bool>& stop) {
  haveNext_ = quotes_.Next(next_);
  for (;;) {
    if (stop.load()) {
      Status("stopping");
      break;
    }
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(100);
    if (!scheduled_.empty() && scheduled_.front().due < deadline) deadline = scheduled_.front().due;
    if (!o_.lockstep && o_.rate > 0 && haveNext_ && nextQuoteDue_ < deadline)
      deadline = nextQuoteDue_;
    const bool fast = !o_.lockstep && o_.rate == 0 && haveNext_ && loggedOn_ && !mdReqId_.empty();
    if (!fast) app_.Wait(deadline);
    std::deque<SimEvent> events = app_.Take();
    for (SimEvent& e : events) Handle(e);
    SendDueFills();
    MaybeSendQuote();
    if (Finished(Clock::now())) {
      Status("end of the price file: logging out");
      break;
    }
  }
  if (session_) {
    if (FIX::Session* session = FIX::Session::lookupSession(*session_))
      if (session->isLoggedOn()) session->logout("kmr-broker-sim stops");
  }
  return 0;
}

}  // namespace

std::string DefaultFix44Dictionary() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path beside = self.parent_path() / "FIX44.xml";
    if (std::filesystem::exists(beside, error)) return beside.string();
  }
  return KMR_FIX44_DICTIONARY_PATH;
}

std::string BrokerSimSettingsText(const BrokerSimOptions& o, const std::string& dictionary) {
  std::ostringstream s;
  s << "[DEFAULT]\n"
    << "ConnectionType=acceptor\n"
    << "SocketAcceptPort=" << o.port << "\n"
    << "SocketReuseAddress=Y\n"
    << "SocketNodelay=Y\n"
    << "FileStorePath=" << o.storeDir << "\n"
    << "StartTime=00:00:00\nEndTime=00:00:00\n"
    << "UseDataDictionary=Y\nDataDictionary=" << dictionary << "\n"
    << "ResetOnLogon=N\nResetOnLogout=N\nResetOnDisconnect=N\n"
    << "ValidateUserDefinedFields=N\n";
  if (!o.logDir.empty()) s << "FileLogPath=" << o.logDir << "\n";
  if (!o.tlsCertificate.empty())
    s << "ServerCertificateFile=" << o.tlsCertificate << "\n"
      << "ServerCertificateKeyFile=" << o.tlsKey << "\n"
      << "SSLProtocol=+TLSv1.2 +TLSv1.3\n"
      << "CertificateVerifyLevel=0\n";
  s << "\n[SESSION]\nBeginString=FIX.4.4\nSenderCompID=" << o.senderCompId
    << "\nTargetCompID=" << o.targetCompId << "\n";
  return s.str();
}

int RunBrokerSim(const BrokerSimOptions& options, const std::atomic<bool>& stop) {
  QuoteStream quotes;
  try {
    quotes.Open(options);
  } catch (const std::exception& e) {
    Status(e.what());
    return 2;
  }
  Status(std::to_string(quotes.Total()) + " quotes to stream from " + options.priceFile +
         (quotes.Skipped() > 0 ? " after " + std::to_string(quotes.Skipped()) + " history lines"
                               : std::string()));
  std::string password;
  std::unique_ptr<FIX::SessionSettings> settings;
  try {
    if (!options.passwordFile.empty()) password = ReadPassword(options.passwordFile);
    if (!options.settingsFile.empty()) {
      std::ifstream in(options.settingsFile);
      if (!in) throw std::runtime_error("--settings: cannot read '" + options.settingsFile + "'");
      settings = std::make_unique<FIX::SessionSettings>(in, true);
    } else {
      const std::string dictionary =
          options.dictionary.empty() ? DefaultFix44Dictionary() : options.dictionary;
      std::istringstream in(BrokerSimSettingsText(options, dictionary));
      settings = std::make_unique<FIX::SessionSettings>(in);
    }
  } catch (const std::exception& e) {
    Status(e.what());
    return 1;
  }

  SimApplication app(password);
  FIX::FileStoreFactory store(*settings);
  std::unique_ptr<RedactingLogFactory> log;
  if (settings->get().has("FileLogPath"))
    log = std::make_unique<RedactingLogFactory>(std::make_unique<FIX::FileLogFactory>(*settings));
  std::unique_ptr<FIX::Acceptor> acceptor;
  try {
    acceptor = MakeSimAcceptor(!options.tlsCertificate.empty() ||
                                   settings->get().has("ServerCertificateFile"),
                               app, store, *settings, log.get());
    acceptor->start();
  } catch (const std::exception& e) {
    Status(std::string("cannot start the acceptor: ") + e.what());
    return 1;
  }
  Status("listening" + (options.port > 0 ? " on port " + std::to_string(options.port) : "") +
         (log ? ", message log in " + settings->get().getString("FileLogPath") : "") +
         " (pid " + std::to_string(::getpid()) + ")");
  BrokerSim sim(options, app, quotes);
  int status = 0;
  try {
    status = sim.Run(stop);
  } catch (const SourceError& e) {
    Status(e.what());
    status = 2;
  }
  acceptor->stop();
  Status("stopped");
  return status;
}

}  // namespace kmr
