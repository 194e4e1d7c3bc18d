#include "live/host/engine_start.h"

#include "tester/processing/processing_loop.h"
#include "tester/replay/replay_view.h"

namespace kmr {

EngineStart StartEngine(const EngineApi& engine, const ReplaySetup& setup) {
  EngineStart start;
  TesterSettings settings = setup.record.settings;
  settings.ProcessingDelay = 0;
  if (setup.priceFile.empty()) {
    ConfigureEngine(engine, settings);
    engine.ProcessHistoryDataFinished();
    return start;
  }
  ReplayView view(setup.priceFile, settings, setup.historyTill, setup.quotesFromFile);
  ProcessingLoop loop(settings, &engine, nullptr, view);
  loop.SetSaveOnHistoryStart(false);
  loop.SetHistoryBars(setup.historyBars);
  try {
    loop.StartHistory();
  } catch (const std::exception& error) {
    start.error = error.what();
  }
  if (start.error.empty() && !view.messages.empty()) start.error = setup.priceFile + ": " + view.messages.front();
  start.historyLines = loop.HistoryLines();
  start.historyBars = loop.HistoryBars();
  loop.CloseSource();
  return start;
}

}  // namespace kmr
