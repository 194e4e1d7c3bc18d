// kmr-live: the engine's host for a broker over FIX 4.4.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>

#include "live/host/engine_start.h"
#include "live/host/fix_application.h"
#include "live/host/fix_session.h"
#include "live/host/live_host.h"
#include "live/host/live_options.h"
#include "live/host/order_record.h"
#include "tester/connector/library_connector.h"
#include "tester/report/settings_json.h"

namespace kmr {
namespace {

constexpr int kExitBadInput = 2;
constexpr int kExitNoLibrary = 3;
constexpr int kExitSession = 5;

std::atomic<bool> gStop{false};

void OnSignal(int) { gStop = true; }

int Fail(int status, const std::string& text) {
  std::fprintf(stderr, "kmr-live: %s\n", text.c_str());
  return status;
}

bool ReadPassword(const LiveOptions& o, std::string& password, std::string& error) {
  if (!o.passwordFile.empty()) {
    std::ifstream in(o.passwordFile);
    if (!in) {
      error = o.passwordFile + ": cannot read the password file";
      return false;
    }
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    return true;
  }
  if (const char* value = std::getenv(o.passwordEnv.c_str())) password = value;
  return true;
}

std::string RunStamp() {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
                          std::chrono::system_clock::now().time_since_epoch())
                          .count();
  return "K" + std::to_string(micros);
}

int Run(const std::vector<std::string>& args) {
  LiveOptions options;
  try {
    options = ParseLiveOptions(args);
  } catch (const OptionError& error) {
    return Fail(kExitBadInput, std::string(error.what()) + "\nTry 'kmr-live --help'.");
  }
  if (options.help) {
    std::fputs(kLiveHelp, stdout);
    return 0;
  }
  const ReplaySetup setup = ResolveReplaySetup(options.replay);
  if (!setup.loadNote.empty()) std::fprintf(stderr, "kmr-live: %s\n", setup.loadNote.c_str());
  if (!setup.error.empty()) return Fail(kExitBadInput, setup.error);
  if (options.replay.showSettings) {
    std::printf("%s\n", SettingsRecordJson(setup.record).Finish().c_str());
    return 0;
  }
  if (options.fixSettings.empty()) return Fail(kExitBadInput, "--fix-settings FILE is needed");
  if (options.symbol.empty()) return Fail(kExitBadInput, "--symbol SYMBOL is needed");
  if (!setup.priceFile.empty() && !setup.haveHistoryTill)
    return Fail(kExitBadInput,
                "--history needs a history-till time: give --history-till \"YYYY-MM-DD "
                "HH:MM:SS\" or store one");
  std::string password, error;
  if (!ReadPassword(options, password, error)) return Fail(kExitBadInput, error);

  RecordState restored;
  try {
    restored = ReadOrderRecord(options.record);
  } catch (const RecordError& e) {
    return Fail(kLiveRecordError, e.what());
  }
  for (const std::string& note : restored.notes) std::fprintf(stderr, "kmr-live: %s\n", note.c_str());
  const std::vector<std::string> open = OpenItems(restored.book);
  if (!open.empty()) {
    for (const std::string& item : open)
      std::fprintf(stderr, "kmr-live: %s: %s\n", options.record.c_str(), item.c_str());
    if (!options.flatten)
      return Fail(kLiveRecordError, options.record +
                                        ": the record shows open deals or unanswered orders; "
                                        "not trading (--flatten closes them first)");
  }
  OrderRecord record;
  try {
    record.Open(options.record);
  } catch (const RecordError& e) {
    return Fail(kLiveRecordError, e.what());
  }

  CKMRLibraryConnector connector;
  if (!connector.BindLibrary(options.replay.library))
    return Fail(kExitNoLibrary, connector.LastError());
  const EngineStart start = StartEngine(connector.Api(), setup);
  if (!start.error.empty()) return Fail(kExitBadInput, start.error);
  if (!setup.priceFile.empty())
    std::fprintf(stderr, "kmr-live: history: %ld lines of %s\n", start.historyLines,
                 setup.priceFile.c_str());

  EventQueue events;
  FixApplication application(events, options.symbol, options.username, password);
  password.assign(password.size(), '\0');
  std::unique_ptr<FixInitiator> initiator;
  try {
    initiator = MakeInitiator(application, options.fixSettings, options.tls);
  } catch (const SessionError& e) {
    return Fail(kExitSession, e.what());
  }

  LiveConfig config;
  config.settings = setup.record.settings;
  config.lockstep = options.lockstep;
  config.flatten = options.flatten;
  config.flattenOnExit = options.flattenOnExit;
  config.staleAfter = options.staleAfter;
  config.feedTimeout = options.feedTimeout;
  config.limits = options.limits;
  config.statusFile = options.statusFile;
  config.statusEvery = options.statusEvery;
  config.clOrdPrefix = RunStamp();
  restored.book.maxCloseRejects = options.closeRetries;
  LiveHost host(connector.Api(), config, application, events, record, std::move(restored.book));

  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  try {
    initiator->Start();
  } catch (const SessionError& e) {
    return Fail(kExitSession, e.what());
  }
  const int status = host.Run(gStop);
  initiator->Stop();
  initiator.reset();
  connector.ReleaseLibrary();
  return status;
}

}  // namespace
}  // namespace kmr

int main(int argc, char** argv) {
  return kmr::Run(std::vector<std::string>(argv + 1, argv + argc));
}
