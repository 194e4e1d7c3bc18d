// Quote-to-order latency of kmr-live on localhost: this program is the broker (a QuickFIX
// acceptor in process), kmr-live runs as its own process with an engine that orders on every
// tick. Each quote's time of sending and the arrival of the order it caused are taken on this
// side's clock; the order is filled at once and the next quote follows.
// Usage: live_latency [QUOTES, default 2000]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include <quickfix/Application.h>
#include <quickfix/FileStore.h>
#include <quickfix/Session.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/SocketAcceptor.h>

#include "tests/live/live_process.h"

namespace {

using Clock = std::chrono::steady_clock;

class Broker : public FIX::Application {
 public:
  explicit Broker(int quotes) : quotes_(quotes) {}
  void onCreate(const FIX::SessionID&) override {}
  void onLogon(const FIX::SessionID&) override {}
  void onLogout(const FIX::SessionID&) override {}
  void toAdmin(FIX::Message&, const FIX::SessionID&) override {}
  void toApp(FIX::Message&, const FIX::SessionID&) override {}
  void fromAdmin(const FIX::Message&, const FIX::SessionID&) override {}
  void fromApp(const FIX::Message& message, const FIX::SessionID& id) override {
    const std::string type = message.getHeader().getField(FIX::FIELD::MsgType);
    if (type == "V") {
      SendQuote(id);
    } else if (type == "D") {
      const auto now = Clock::now();
      latencies_.push_back(std::chrono::duration<double, std::micro>(now - sentAt_).count());
      Fill(message, id);
      if (static_cast<int>(latencies_.size()) < quotes_) {
        SendQuote(id);
      } else {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
        doneSignal_.notify_all();
      }
    }
  }
  bool WaitDone(int seconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return doneSignal_.wait_for(lock, std::chrono::seconds(seconds), [&] { return done_; });
  }
  std::vector<double> latencies_;

 private:
  void SendQuote(const FIX::SessionID& id) {
    ++quote_;
    const double bid = 1.1 + (quote_ % 50) * 0.0001;
    const std::time_t t = 1700000000 + quote_;
    std::tm u{};
    gmtime_r(&t, &u);
    char date[16], time[16];
    std::strftime(date, sizeof date, "%Y%m%d", &u);
    std::strftime(time, sizeof time, "%H:%M:%S", &u);
    FIX::Message w;
    w.getHeader().setField(FIX::FIELD::MsgType, "W");
    w.setField(FIX::FIELD::Symbol, "EURUSD");
    for (int side = 0; side < 2; ++side) {
      FIX::Group entry(FIX::FIELD::NoMDEntries, FIX::FIELD::MDEntryType);
      entry.setField(FIX::FIELD::MDEntryType, side == 0 ? "0" : "1");
      entry.setField(FIX::FIELD::MDEntryPx, std::to_string(side == 0 ? bid : bid + 0.0002));
      entry.setField(FIX::FIELD::MDEntryDate, date);
      entry.setField(FIX::FIELD::MDEntryTime, time);
      w.addGroup(entry);
    }
    sentAt_ = Clock::now();
    FIX::Session::sendToTarget(w, id);
  }
  void Fill(const FIX::Message& order, const FIX::SessionID& id) {
    const std::string cl = order.getField(FIX::FIELD::ClOrdID);
    const std::string qty = order.getField(FIX::FIELD::OrderQty);
    for (const char* execType : {"0", "F"}) {
      FIX::Message r;
      r.getHeader().setField(FIX::FIELD::MsgType, "8");
      r.setField(FIX::FIELD::OrderID, "B" + cl);
      r.setField(FIX::FIELD::ClOrdID, cl);
      r.setField(FIX::FIELD::ExecID, std::string(execType) + cl);
      r.setField(FIX::FIELD::ExecType, execType);
      const bool fill = execType[1] == '\0' && execType[0] == 'F';
      r.setField(FIX::FIELD::OrdStatus, fill ? "2" : "0");
      r.setField(FIX::FIELD::Symbol, "EURUSD");
      r.setField(FIX::FIELD::Side, order.getField(FIX::FIELD::Side));
      r.setField(FIX::FIELD::LeavesQty, fill ? "0" : qty);
      r.setField(FIX::FIELD::CumQty, fill ? qty : "0");
      r.setField(FIX::FIELD::AvgPx, fill ? "1.1" : "0");
      if (fill) {
        r.setField(FIX::FIELD::LastQty, qty);
        r.setField(FIX::FIELD::LastPx, "1.1");
      }
      FIX::Session::sendToTarget(r, id);
    }
  }
  int quotes_;
  int quote_ = 0;
  Clock::time_point sentAt_;
  std::mutex mutex_;
  std::condition_variable doneSignal_;
  bool done_ = false;
};

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * (values.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
  const int quotes = argc > 1 ? std::atoi(argv[1]) : 2000;
  const std::string dir = "/tmp/kmr-live-latency-" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const int port = kmr::test::FreePort();
  const std::string common = "StartTime=00:00:00\nEndTime=00:00:00\nHeartBtInt=30\nSocketNodelay=Y\n"
                             "UseDataDictionary=Y\nDataDictionary=" KMR_FIX44 "\n";
  std::ofstream(dir + "/acceptor.cfg") << "[DEFAULT]\nConnectionType=acceptor\nFileStorePath=" << dir
                                       << "/sim-store\n" << common << "SocketAcceptPort=" << port
                                       << "\n[SESSION]\nBeginString=FIX.4.4\nSenderCompID=SIM\nTargetCompID=KMR\n";
  std::ofstream(dir + "/live.cfg") << "[DEFAULT]\nConnectionType=initiator\nReconnectInterval=1\nFileStorePath="
                                   << dir << "/live-store\n" << common
                                   << "[SESSION]\nBeginString=FIX.4.4\nSenderCompID=KMR\nTargetCompID=SIM\n"
                                      "SocketConnectHost=127.0.0.1\nSocketConnectPort=" << port << "\n";
  Broker broker(quotes);
  FIX::SessionSettings settings(dir + "/acceptor.cfg");
  FIX::FileStoreFactory store(settings);
  FIX::SocketAcceptor acceptor(broker, store, settings);
  acceptor.start();
  int status = 0;
  {
    kmr::test::Process live;
    live.Start({KMR_LIVE_PROGRAM, "--fix-settings", dir + "/live.cfg", "--symbol", "EURUSD",
                "--library", KMR_TRADING_ENGINE, "--defaults", "--deal-size", "1", "--record",
                dir + "/orders.record", "--stale-after", "0", "--status-every", "0"},
               dir + "/live", {"KMR_NO_WINDOW=1"});
    const bool done = broker.WaitDone(120);
    status = live.Stop();
    if (!done) {
      std::fprintf(stderr, "live_latency: no answer to every quote (%zu of %d)\n%s",
                   broker.latencies_.size(), quotes, live.Err().c_str());
      acceptor.stop();
      return 1;
    }
  }
  acceptor.stop();
  std::vector<double>& l = broker.latencies_;
  l.erase(l.begin(), l.begin() + std::min<std::size_t>(l.size(), 20));  // the session warming up
  std::printf("quote-to-order latency over %zu quotes: median %.1f us, p99 %.1f us, max %.1f us\n",
              l.size(), Percentile(l, 0.5), Percentile(l, 0.99), Percentile(l, 1.0));
  std::filesystem::remove_all(dir);
  return status == 0 ? 0 : 1;
}
