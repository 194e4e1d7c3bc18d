// kmr-live end to end: the real program with the real engine library against kmr-broker-sim,
// both started here on 127.0.0.1 with free ports and private folders, stopped by their PIDs.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/live/live_process.h"

namespace kmr::test {
namespace {

const std::string kData = std::string(KMR_TEST_DATA) + "/replay_small.txt";
const std::string kTill = "1996-04-02 12:00:00";
// Settings under which the small file opens long and short deals and closes one.
const std::vector<std::string> kSettings = {
    "--defaults",       "--tick-size",  "0.0001", "--tick-value",    "10",   "--deal-size",
    "1",                "--spread",     "0.0002", "--commission",    "0",    "--trend",
    "h10,h5",           "--entry",      "3,5",    "--consider-first", "2",   "--smoothing1",
    "3",                "--smoothing2", "2",      "--cad-profit",    "1",    "--dca-interval",
    "5"};

int Count(const std::string& text, const std::string& part) {
  int n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class LiveRun : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (std::filesystem::temp_directory_path() /
            ("kmr-live-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name()))
               .string();
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ + "/xdg");
    port_ = FreePort();
  }
  void TearDown() override {
    sim_.Stop();
    live_.Stop();
    if (!HasFailure()) std::filesystem::remove_all(dir_);
  }

  std::vector<std::string> Env() const { return {"XDG_CONFIG_HOME=" + dir_ + "/xdg", "KMR_NO_WINDOW=1"}; }

  void StartSim(std::vector<std::string> extra, const std::string& name = "sim") {
    std::vector<std::string> args = {KMR_BROKER_SIM_PROGRAM, "--price-file", kData,
                                     "--port", std::to_string(port_), "--symbol", "USDCHF",
                                     "--spread", "0.0002", "--from", kTill,
                                     "--store", dir_ + "/sim-store", "--dictionary", KMR_FIX44,
                                     "--log", dir_ + "/sim-log"};
    args.insert(args.end(), extra.begin(), extra.end());
    sim_.Start(args, dir_ + "/" + name, Env());
  }

  std::string SessionSettings(bool tls = false) {
    const std::string path = dir_ + "/live.cfg";
    std::ofstream(path) << "[DEFAULT]\nConnectionType=initiator\nReconnectInterval=1\n"
                           "FileStorePath=" << dir_ << "/live-store\nFileLogPath=" << dir_
                        << "/live-log\nStartTime=00:00:00\nEndTime=00:00:00\nHeartBtInt=30\n"
                           "SocketNodelay=Y\nUseDataDictionary=Y\nDataDictionary=" KMR_FIX44 "\n"
                           "ResetOnLogon=N\nResetOnLogout=N\nResetOnDisconnect=N\n"
                        << (tls ? "SSLProtocol=all -SSLv2 -SSLv3\nCertificationAuthoritiesFile=" + dir_ +
                                      "/cert.pem\nCertificateVerifyLevel=1\n"
                                : std::string())
                        << "[SESSION]\nBeginString=FIX.4.4\nSenderCompID=KMR\nTargetCompID=SIM\n"
                           "SocketConnectHost=127.0.0.1\nSocketConnectPort="
                        << port_ << "\n";
    return path;
  }

  void StartLive(std::vector<std::string> extra, bool tls = false, const std::string& name = "live") {
    std::vector<std::string> args = {KMR_LIVE_PROGRAM, "--fix-settings", SessionSettings(tls),
                                     "--symbol", "USDCHF", "--library", KMR_ENGINE_LIBRARY,
                                     "--history", kData, "--history-till", kTill,
                                     "--record", dir_ + "/orders.record",
                                     "--status-file", dir_ + "/status.json",
                                     "--stale-after", "0", "--status-every", "0"};
    args.insert(args.end(), kSettings.begin(), kSettings.end());
    args.insert(args.end(), extra.begin(), extra.end());
    live_.Start(args, dir_ + "/" + name, Env());
  }

  // The sim ends by itself after the last quote (--exit-at-end); then kmr-live is stopped.
  void RunToEnd(double seconds = 30) {
    int status = -1;
    ASSERT_TRUE(sim_.Wait(seconds, status)) << "sim still running\n" << live_.Err();
    EXPECT_EQ(status, 0) << sim_.Err();
    EXPECT_EQ(live_.Stop(), 0) << live_.Err();
  }

  std::string Replay(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {KMR_REPLAY_PROGRAM, "--history-till", kTill,
                                     "--library", KMR_ENGINE_LIBRARY, "--log-file",
                                     dir_ + "/replay.journal \\9"};
    args.insert(args.end(), kSettings.begin(), kSettings.end());
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(kData);
    Process replay;
    replay.Start(args, dir_ + "/replay", Env());
    int status = -1;
    EXPECT_TRUE(replay.Wait(30, status));
    EXPECT_EQ(status, 0) << replay.Err();
    return Slurp(dir_ + "/replay.journal");
  }

  std::string Record() const { return Slurp(dir_ + "/orders.record"); }
  std::string Journal() const { return Slurp(dir_ + "/live.journal"); }
  std::string JournalOption() const { return dir_ + "/live.journal \\9"; }

  // Every order of the record has its final answer, none is answered twice.
  void ExpectRecordWhole() {
    const std::string record = Record();
    std::istringstream lines(record);
    std::map<std::string, int> orders, done;
    std::map<std::string, double> qty, filled;
    std::set<std::string> execIds;
    for (std::string line; std::getline(lines, line);) {
      std::istringstream f(line);
      std::string kind, id;
      f >> kind >> id;
      if (kind == "ORDER") {
        std::string purpose, side;
        double q = 0;
        f >> purpose >> side >> q;
        ++orders[id];
        qty[id] = q;
      } else if (kind == "FILL") {
        double q = 0, px = 0;
        std::string exec;
        f >> q >> px >> exec;
        EXPECT_TRUE(execIds.insert(exec).second) << "fill taken twice: " << line;
        filled[id] += q;
      } else if (kind == "DONE") {
        ++done[id];
      }
    }
    for (const auto& [id, n] : orders) {
      EXPECT_EQ(n, 1) << id;
      EXPECT_TRUE(done[id] == 1 || std::abs(filled[id] - qty[id]) < 1e-9)
          << id << " has no final answer\n" << record;
      EXPECT_LE(filled[id], qty[id] + 1e-9) << id;
    }
  }

  std::string dir_;
  int port_ = 0;
  Process sim_, live_;
};

TEST_F(LiveRun, LockstepWritesTheTestersJournal) {
  const std::string tester = Replay();
  ASSERT_NE(tester.find("## CLOSE"), std::string::npos);
  ASSERT_NE(tester.find("## OPEN HEDGING"), std::string::npos);
  StartSim({"--lockstep", "--exit-at-end"});
  StartLive({"--lockstep", "--log-file", JournalOption()});
  RunToEnd();
  EXPECT_EQ(Journal(), tester);
  ExpectRecordWhole();
}

TEST_F(LiveRun, FaultsOfTheBroker) {
  struct Case {
    const char* name;
    std::vector<std::string> sim;
    std::vector<std::string> live;
    bool sameJournal;             // the tester's journal, byte for byte
    std::vector<const char*> log;  // in kmr-live's stderr
    int fills;                    // "OrderFilled" lines of the journal; -1: not checked
    int done;                     // orders of the record ended without their fill
  } cases[] = {
      {"partial fills", {"--partial-fills", "3"}, {}, false, {}, 9, 0},
      {"delayed fills", {"--fill-delay", "150"}, {}, true, {}, -1, 0},
      {"dropped and back", {"--drop-after", "40"}, {}, true, {"logged out", "logged on"}, -1, 0},
      {"rejected open", {"--reject-opens", "2,"}, {}, false, {"open K"}, 3, 1},
      {"rejected close, sent again", {"--reject-closes", "1,"}, {}, false, {"sending it again"}, -1, 1},
      {"rejected closes stop trading",
       {"--reject-closes", "1"}, {"--close-retries", "2"}, false, {"TRADING STOPPED"}, -1, 2},
  };
  const std::string tester = Replay();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_ + "/sim-store");
    std::filesystem::remove_all(dir_ + "/live-store");
    std::filesystem::remove(dir_ + "/orders.record");
    port_ = FreePort();
    std::vector<std::string> sim = c.sim, live = c.live;
    sim.insert(sim.end(), {"--lockstep", "--exit-at-end"});
    live.insert(live.end(), {"--lockstep", "--log-file", JournalOption()});
    StartSim(sim);
    StartLive(live);
    RunToEnd();
    const std::string journal = Journal();
    if (c.sameJournal) {
      EXPECT_EQ(journal, tester);
    }
    for (const char* part : c.log) {
      EXPECT_NE(live_.Err().find(part), std::string::npos) << part << "\n" << live_.Err();
    }
    if (c.fills >= 0) {
      EXPECT_EQ(Count(journal, "OrderFilled"), c.fills) << journal;
    }
    EXPECT_EQ(Count(Record(), "\nDONE "), c.done) << Record();
    ExpectRecordWhole();
  }
}

TEST_F(LiveRun, SafetyLimits) {
  struct Case {
    const char* name;
    std::vector<std::string> live;
    const char* log;
    int orders;  // ORDER lines of the record
  } cases[] = {
      // Closes always go out; the limits hold back opens.
      {"orders per minute", {"--max-orders-per-minute", "2"}, "maximum orders per minute (2)", 2},
      {"net position", {"--max-position", "0.5"}, "maximum net position (0.5)", 0},
      // The first deal's floating loss stops trading; its close still goes out.
      {"session loss", {"--max-loss", "400"}, "maximum session loss (400)", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(dir_ + "/sim-store");
    std::filesystem::remove_all(dir_ + "/live-store");
    std::filesystem::remove(dir_ + "/orders.record");
    port_ = FreePort();
    StartSim({"--lockstep", "--exit-at-end"});
    std::vector<std::string> live = c.live;
    live.insert(live.end(), {"--lockstep", "--log-file", JournalOption()});
    StartLive(live);
    RunToEnd();
    EXPECT_NE(live_.Err().find(c.log), std::string::npos) << live_.Err();
    EXPECT_EQ(Count(Record(), "ORDER "), c.orders) << Record();
    ExpectRecordWhole();
  }
}

bool HasOpenDeal(const std::string& status) {
  return std::regex_search(status, std::regex("\"openDeals\": [1-9]"));
}

TEST_F(LiveRun, KilledAndRestarted) {
  // Streamed, not in lockstep: the restarted host takes up the stream where it is.
  StartSim({"--rate", "25"});
  StartLive({});
  // Killed while a deal is open and no order is under way.
  ASSERT_TRUE(WaitFor(30, [&] {
    const std::string status = Slurp(dir_ + "/status.json");
    return HasOpenDeal(status) && status.find("\"pendingOrders\": 0,") != std::string::npos;
  })) << live_.Err();
  live_.Signal(SIGKILL);
  int status = -1;
  ASSERT_TRUE(live_.Wait(5, status));

  StartLive({}, false, "refused");
  ASSERT_TRUE(live_.Wait(10, status));
  EXPECT_EQ(status, 4);
  EXPECT_NE(live_.Err().find("--flatten"), std::string::npos) << live_.Err();

  StartLive({"--flatten"}, false, "flatten");
  ASSERT_TRUE(WaitFor(30, [&] { return live_.Err().find("trading") != std::string::npos &&
                                       Slurp(dir_ + "/status.json").find("\"phase\": \"trading\"") != std::string::npos; }))
      << live_.Err();
  EXPECT_EQ(live_.Stop(), 0) << live_.Err();
  ExpectRecordWhole();
  // Whatever the second run left open is its own; the first run's deal is closed.
  EXPECT_NE(live_.Err().find("flattening the earlier run's deals"), std::string::npos) << live_.Err();
}

TEST_F(LiveRun, FlattensOnExit) {
  StartSim({"--lockstep"});
  StartLive({"--lockstep", "--flatten-on-exit"});
  ASSERT_TRUE(WaitFor(30, [&] { return HasOpenDeal(Slurp(dir_ + "/status.json")); })) << live_.Err();
  EXPECT_EQ(live_.Stop(20), 0) << live_.Err();
  EXPECT_NE(live_.Err().find("flat at exit"), std::string::npos) << live_.Err();
  ExpectRecordWhole();
  std::filesystem::remove_all(dir_ + "/status.json");
  StartLive({"--lockstep"}, false, "again");  // nothing left open: it trades at once
  ASSERT_TRUE(WaitFor(30, [&] { return Slurp(dir_ + "/status.json").find("logged on") != std::string::npos; }))
      << live_.Err();
}

TEST_F(LiveRun, TlsSessionWithATestCertificate) {
  const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                              "-keyout '" + dir_ + "/key.pem' -out '" + dir_ + "/cert.pem' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::string tester = Replay();
  StartSim({"--lockstep", "--exit-at-end", "--tls-certificate", dir_ + "/cert.pem", "--tls-key",
            dir_ + "/key.pem"});
  StartLive({"--lockstep", "--tls", "--log-file", JournalOption()}, true);
  RunToEnd();
  EXPECT_EQ(Journal(), tester);
}

TEST_F(LiveRun, PasswordNeverLogged) {
  std::ofstream(dir_ + "/password") << "s3cret-Pw\n";
  StartSim({"--lockstep", "--exit-at-end", "--password-file", dir_ + "/password"});
  StartLive({"--lockstep", "--password-file", dir_ + "/password"});
  RunToEnd();
  EXPECT_NE(Record().find("FILL"), std::string::npos);
  // The stored logon, redacted, still reads back whole when the broker asks for a resend.
  EXPECT_EQ(Slurp(dir_ + "/live-log/FIX.4.4-KMR-SIM.event.current.log").find("Invalid message"),
            std::string::npos);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_))
    if (entry.is_regular_file() && entry.path().filename() != "password") {
      EXPECT_EQ(Slurp(entry.path().string()).find("s3cret-Pw"), std::string::npos) << entry.path();
    }
}

TEST_F(LiveRun, BadStarts) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* err;
  } cases[] = {
      {{"--symbol"}, 2, "--symbol needs a value"},
      {{"--json"}, 2, "--json is an option of kmr-replay"},
      {{"--max-loss", "-3"}, 2, "--max-loss: not a number"},
      {{"--history", "/nonexistent/prices.txt"}, 2, "/nonexistent/prices.txt"},
  };
  for (const Case& c : cases) {
    StartLive(c.args, false, "bad");
    int status = -1;
    ASSERT_TRUE(live_.Wait(10, status));
    EXPECT_EQ(status, c.status) << live_.Err();
    EXPECT_NE(live_.Err().find(c.err), std::string::npos) << live_.Err();
  }
}

}  // namespace
}  // namespace kmr::test
