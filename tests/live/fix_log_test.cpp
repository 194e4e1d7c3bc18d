// The redacting log: no password reaches QuickFIX's file log, in messages or in events.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <quickfix/FileLog.h>
#include <quickfix/Session.h>
#include <quickfix/fix44/Logon.h>

#include "live/fix/redacting_log.h"

namespace kmr {
namespace {

TEST(RedactFixText, ReplacesBothPasswordFieldsWherever) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"8=FIX.4.4\x01" "554=secret\x01" "10=000\x01", "8=FIX.4.4\x01" "554=***\x01" "10=000\x01"},
      {"554=secret", "554=***"},
      {"925=new\x01" "554=old", "925=***\x01" "554=***"},
      {"8=FIX.4.4|554=s|925=n|58=x", "8=FIX.4.4|554=***|925=***|58=x"},
      {"554=", "554=***"},
      {"1554=keep\x01" "5540=keep\x01" "58=554=keep", "1554=keep\x01" "5540=keep\x01" "58=554=keep"},
      {"", ""},
      {"\x01\x01", "\x01\x01"},
      {"plain event text", "plain event text"},
  };
  for (const Case& c : cases) EXPECT_EQ(RedactFixText(c.in), c.out) << c.in;
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RedactingLog, FileLogNeverHoldsThePassword) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("kmr-redact-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  {
    RedactingLogFactory factory(std::make_unique<FIX::FileLogFactory>(folder.string()));
    const FIX::SessionID id("FIX.4.4", "KMR", "SIM");
    FIX::Log* log = factory.create(id);
    FIX44::Logon logon(FIX::EncryptMethod(0), FIX::HeartBtInt(30));
    logon.set(FIX::Password("hunter2-pw"));
    logon.setField(FIX::NewPassword("correct-horse"));
    logon.getHeader().setField(FIX::SenderCompID("KMR"));
    logon.getHeader().setField(FIX::TargetCompID("SIM"));
    log->onOutgoing(logon.toString());
    log->onIncoming(logon.toString());
    log->onEvent("Logon rejected: " + logon.toString());
    factory.destroy(log);
  }
  std::string all;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    all += ReadAll(entry.path());
  EXPECT_EQ(all.find("hunter2-pw"), std::string::npos);
  EXPECT_EQ(all.find("correct-horse"), std::string::npos);
  EXPECT_NE(all.find("554=***"), std::string::npos);
  EXPECT_NE(all.find("925=***"), std::string::npos);
  EXPECT_NE(all.find("Logon rejected"), std::string::npos);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kmr
