// kmr-broker-sim's session: the logon password it asks for, and its message log, which never
// holds that password.
#include <gtest/gtest.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "sim_peer.h"

namespace kmr::test {
namespace {

std::string AllFiles(const std::filesystem::path& folder) {
  std::string all;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    all += text.str();
  }
  return all;
}

TEST(SimSession, AcceptsOnlyThePasswordAndNeverLogsIt) {
  struct Case {
    const char* password;
    bool logsOn;
  } cases[] = {{"s3cret-Pa55", true}, {"wrong-Pa55", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.password);
    TempFolder folder;
    const std::string prices = folder.Write("prices.txt", "20240102 100000;1.1\n");
    const std::string password = folder.Write("password", "s3cret-Pa55\n");
    const int port = FreePort();
    {
      SimProcess sim(folder, {"--price-file", prices, "--port", std::to_string(port),
                              "--password-file", password, "--log", "log"});
      ASSERT_TRUE(sim.WaitForStatus("listening", std::chrono::seconds(5))) << sim.Status();
      Peer peer(folder, port, c.password);
      EXPECT_EQ(peer.WaitLoggedOn(std::chrono::seconds(c.logsOn ? 5 : 2)), c.logsOn)
          << sim.Status();
      if (c.logsOn) {
        peer.Subscribe("md-1");
        EXPECT_TRUE(peer.WaitUntil([&] { return peer.Quotes().size() == 1; }));
      }
      EXPECT_EQ(sim.Status().find("Pa55"), std::string::npos) << sim.Status();
    }
    const std::string log = AllFiles(folder.path / "log");
    EXPECT_NE(log.find("35=A"), std::string::npos);
    EXPECT_EQ(log.find("Pa55"), std::string::npos) << log;
    if (*c.password != 0) {
      EXPECT_NE(log.find("554=***"), std::string::npos);
    }
    if (!c.logsOn) {
      EXPECT_NE(log.find("wrong or missing password"), std::string::npos) << log;
    }
  }
}

}  // namespace
}  // namespace kmr::test

namespace kmr::test {
namespace {

TEST(SimSession, SpeaksTlsWithTheCertificateItIsGiven) {
  TempFolder folder;
  const std::string prices = folder.Write("prices.txt", "20240102 100000;1.1\n");
  const std::string cert = (folder.path / "cert.pem").string();
  const std::string key = (folder.path / "key.pem").string();
  const std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 "
                           "-keyout " + key + " -out " + cert + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0);
  const int port = FreePort();
  SimProcess sim(folder, {"--price-file", prices, "--port", std::to_string(port),
                          "--tls-certificate", cert, "--tls-key", key});
  ASSERT_TRUE(sim.WaitForStatus("listening", std::chrono::seconds(5))) << sim.Status();
  {
    TempFolder plainFolder;  // a plain TCP peer never gets a session, nor blocks the next
    Peer plain(plainFolder, port);
    EXPECT_FALSE(plain.WaitLoggedOn(std::chrono::seconds(2)));
  }
  Peer peer(folder, port, "", cert, cert, key);
  ASSERT_TRUE(peer.WaitLoggedOn()) << sim.Status();
  peer.Subscribe("md-1");
  EXPECT_TRUE(peer.WaitUntil([&] { return peer.Quotes().size() == 1; }));
}

}  // namespace
}  // namespace kmr::test

namespace kmr::test {
namespace {

TEST(SimSession, TakesQuickFixSettingsWithTheEnvironmentsValues) {
  TempFolder folder;
  const std::string prices = folder.Write("prices.txt", "20240102 100000;1.1\n");
  const int port = FreePort();
  ::setenv("KMR_SIM_TEST_PORT", std::to_string(port).c_str(), 1);
  const std::string settings = folder.Write(
      "sim.cfg",
      "[DEFAULT]\nConnectionType=acceptor\nSocketAcceptPort=${KMR_SIM_TEST_PORT}\n"
      "FileStorePath=" + (folder.path / "sim-store").string() +
      "\nStartTime=00:00:00\nEndTime=00:00:00\nUseDataDictionary=Y\nDataDictionary=" KMR_FIX44_XML
      "\n\n[SESSION]\nBeginString=FIX.4.4\nSenderCompID=SIM\nTargetCompID=KMR\n");
  SimProcess sim(folder, {"--price-file", prices, "--settings", settings});
  ::unsetenv("KMR_SIM_TEST_PORT");
  ASSERT_TRUE(sim.WaitForStatus("listening", std::chrono::seconds(5))) << sim.Status();
  Peer peer(folder, port);
  ASSERT_TRUE(peer.WaitLoggedOn()) << sim.Status();
  peer.Subscribe("md-1");
  EXPECT_TRUE(peer.WaitUntil([&] { return peer.Quotes().size() == 1; }));

  std::string err;
  EXPECT_EQ(RunSim(folder, {"--price-file", prices, "--settings", folder.path.string() + "/none"},
                   err),
            1);
  EXPECT_NE(err.find("--settings: cannot read"), std::string::npos) << err;
}

}  // namespace
}  // namespace kmr::test
