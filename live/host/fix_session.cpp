#include "live/host/fix_session.h"

#include <quickfix/FileLog.h>
#include <quickfix/FileStore.h>
#include <quickfix/Log.h>
#include <quickfix/SessionSettings.h>
#include <quickfix/SocketInitiator.h>

#include "live/fix/redacting_log.h"
#include "live/host/fix_store.h"
#include "live/host/fix_tls.h"

namespace kmr {

namespace {

class Initiator : public FixInitiator {
 public:
  Initiator(FIX::Application& application, const std::string& settingsFile, bool tls) {
    try {
      settings_ = std::make_unique<FIX::SessionSettings>(settingsFile, true);
      const FIX::Dictionary& defaults = settings_->get();
      if (!defaults.has("FileStorePath"))
        throw SessionError(settingsFile + ": FileStorePath is needed: sequence numbers must " +
                           "survive a restart");
      store_ = std::make_unique<RedactingStoreFactory>(
          std::make_unique<FIX::FileStoreFactory>(*settings_));
      std::unique_ptr<FIX::LogFactory> inner;
      if (defaults.has("FileLogPath"))
        inner = std::make_unique<FIX::FileLogFactory>(*settings_);
      else
        inner = std::make_unique<FIX::ScreenLogFactory>(false, false, false);
      log_ = std::make_unique<RedactingLogFactory>(std::move(inner));
      if (tls)
        initiator_ = MakeTlsInitiator(application, *store_, *settings_, *log_);
      else
        initiator_ = std::make_unique<FIX::SocketInitiator>(application, *store_, *settings_, *log_);
    } catch (const FIX::ConfigError& error) {
      throw SessionError(settingsFile + ": " + error.what());
    } catch (const FIX::RuntimeError& error) {
      throw SessionError(settingsFile + ": " + error.what());
    }
  }
  ~Initiator() override { initiator_.reset(); }

  void Start() override {
    try {
      initiator_->start();
    } catch (const FIX::ConfigError& error) {
      throw SessionError(error.what());
    } catch (const FIX::RuntimeError& error) {
      throw SessionError(error.what());
    }
  }
  void Stop() override { initiator_->stop(); }

 private:
  std::unique_ptr<FIX::SessionSettings> settings_;
  std::unique_ptr<FIX::MessageStoreFactory> store_;
  std::unique_ptr<FIX::LogFactory> log_;
  std::unique_ptr<FIX::Initiator> initiator_;
};

}  // namespace

std::unique_ptr<FixInitiator> MakeInitiator(FIX::Application& application,
                                            const std::string& settingsFile, bool tls) {
  return std::make_unique<Initiator>(application, settingsFile, tls);
}

}  // namespace kmr
