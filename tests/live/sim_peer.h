// What the sim tests need around kmr-broker-sim: a private folder, a free port, the sim as a
// real process stopped by its PID, and a QuickFIX initiator that records what it receives.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <quickfix/Application.h>
#include <quickfix/FileStore.h>
#include <quickfix/Message.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/SocketInitiator.h>

namespace kmr::test {

// A folder of its own under the temporary folder, removed at the end.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  std::filesystem::path path;
  std::string Write(const std::string& name, const std::string& text) const;
};

int FreePort();

// kmr-broker-sim with `args`, its stderr in `folder`/sim.err.
class SimProcess {
 public:
  SimProcess(const TempFolder& folder, const std::vector<std::string>& args);
  ~SimProcess();  // SIGTERM, then SIGKILL if it does not end within 5 s
  bool WaitForStatus(const std::string& text, std::chrono::milliseconds timeout) const;
  // The exit status once it has ended by itself within `timeout`; -1 if it has not.
  int WaitForExit(std::chrono::milliseconds timeout);
  std::string Status() const;  // everything it wrote to stderr so far

 private:
  pid_t pid_ = -1;
  int exit_ = -1;
  std::filesystem::path err_;
};

// The exit status and stderr of kmr-broker-sim run to its end (bounded to 10 s).
int RunSim(const TempFolder& folder, const std::vector<std::string>& args, std::string& err);

struct Quote {
  char type = 'W';
  int seq = 0;
  bool possDup = false;
  double bid = 0, ask = 0;
  std::string date, time;  // of the bid entry (the offer's must match)
  std::string offerDate, offerTime;
};

// QuickFIX's SSL initiator (built where HAVE_SSL is defined).
std::unique_ptr<FIX::Initiator> MakeTlsInitiator(FIX::Application& application,
                                                 FIX::MessageStoreFactory& store,
                                                 const FIX::SessionSettings& settings);

// A FIX 4.4 initiator "KMR" -> "SIM" on 127.0.0.1:port, reconnecting every second.
class Peer : public FIX::Application {
 public:
  // With `caFile` the session runs over TLS, the sim's certificate checked against it; QuickFIX's
  // SSL initiator also needs a certificate of its own (`clientCert`, `clientKey`).
  Peer(const TempFolder& folder, int port, const std::string& password = "",
       const std::string& caFile = "", const std::string& clientCert = "",
       const std::string& clientKey = "");
  ~Peer() override;

  bool WaitLoggedOn(std::chrono::milliseconds timeout = std::chrono::seconds(10));
  bool WaitUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5));

  void Subscribe(const std::string& mdReqId, const std::string& symbol = "EURUSD");
  // A market order; `qty` as written; `positionEffect` 0 for none.
  void Order(const std::string& clOrdId, char side, const std::string& qty,
             const std::string& symbol = "EURUSD", char positionEffect = 0);
  void Step(long long n);
  void Send(FIX::Message message);

  std::vector<Quote> Quotes();
  std::vector<FIX::Message> Reports();               // 35=8, in arrival order
  std::vector<FIX::Message> ReportsFor(const std::string& clOrdId);
  std::vector<FIX::Message> AppMessages();           // everything from fromApp
  int Logons();
  std::vector<int> LogonSeqs();                      // MsgSeqNum of each logon received

  void onCreate(const FIX::SessionID& id) override { id_ = id; }
  void onLogon(const FIX::SessionID&) override;
  void onLogout(const FIX::SessionID&) override;
  void toAdmin(FIX::Message& message, const FIX::SessionID&) override;
  void toApp(FIX::Message&, const FIX::SessionID&) override {}
  void fromAdmin(const FIX::Message& message, const FIX::SessionID&) override;
  void fromApp(const FIX::Message& message, const FIX::SessionID&) override;

 private:
  std::string password_;
  FIX::SessionID id_;
  std::unique_ptr<FIX::SessionSettings> settings_;
  std::unique_ptr<FIX::FileStoreFactory> store_;
  std::unique_ptr<FIX::Initiator> initiator_;
  std::mutex mutex_;
  std::condition_variable cv_;
  bool loggedOn_ = false;
  int logons_ = 0;
  std::vector<int> logonSeqs_;
  std::vector<FIX::Message> app_;
};

}  // namespace kmr::test
