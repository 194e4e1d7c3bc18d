#include "tester/connector/library_connector.h"
#include "tests/tester/test_support.h"

namespace kmr::test {
namespace {

TEST(ConnectorTest, BindsTheRealEngineByPath) {
  CKMRLibraryConnector connector;
  ASSERT_TRUE(connector.BindLibrary(KMR_ENGINE_LIBRARY)) << connector.LastError();
  const EngineApi& api = connector.Api();
  const void* entries[] = {reinterpret_cast<const void*>(api.InitializeKMR),
                           reinterpret_cast<const void*>(api.SetKMRPriceParameters),
                           reinterpret_cast<const void*>(api.SetLogFilePath),
                           reinterpret_cast<const void*>(api.DeinitializeKMR),
                           reinterpret_cast<const void*>(api.ProcessNewTick),
                           reinterpret_cast<const void*>(api.ProcessHistoryM1),
                           reinterpret_cast<const void*>(api.ProcessHistoryTick),
                           reinterpret_cast<const void*>(api.ProcessHistoryDataFinished),
                           reinterpret_cast<const void*>(api.GetNextCommand),
                           reinterpret_cast<const void*>(api.OrderFilled),
                           reinterpret_cast<const void*>(api.OpenDealClosed),
                           reinterpret_cast<const void*>(api.OrderSetTicket),
                           reinterpret_cast<const void*>(api.OrderClosed),
                           reinterpret_cast<const void*>(api.OrderRejected)};
  for (const void* entry : entries) EXPECT_NE(entry, nullptr);
  EXPECT_EQ(api.GetNextCommand(), 0);  // nothing queued before anything happened
  connector.ReleaseLibrary();
  EXPECT_FALSE(connector.IsBound());
  EXPECT_EQ(connector.Api().GetNextCommand, nullptr);
  connector.ReleaseLibrary();  // twice is harmless
}

TEST(ConnectorTest, FindsTheEngineInTheProgramsOwnFolder) {
  // The test program is built into the same folder as KMRLibrary.so.
  CKMRLibraryConnector connector;
  EXPECT_TRUE(connector.BindLibrary()) << connector.LastError();
}

TEST(ConnectorTest, FailsWhenOneNameIsMissing) {
  CKMRLibraryConnector connector;
  EXPECT_FALSE(connector.BindLibrary(KMR_INCOMPLETE_LIBRARY));
  EXPECT_FALSE(connector.IsBound());
  EXPECT_EQ(connector.LastError(), "the engine library lacks OrderRejected");
}

TEST(ConnectorTest, FailsWhenTheLibraryCannotBeLoaded) {
  CKMRLibraryConnector connector;
  EXPECT_FALSE(connector.BindLibrary("/nonexistent/KMRLibrary.so"));
  EXPECT_NE(connector.LastError().find("cannot load /nonexistent/KMRLibrary.so"),
            std::string::npos);
}

}  // namespace
}  // namespace kmr::test
