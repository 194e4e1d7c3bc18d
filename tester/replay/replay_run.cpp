#include "tester/replay/replay_run.h"

#include <chrono>
#include <limits>
#include <memory>

#include "tester/broker/broker.h"
#include "tester/processing/processing_loop.h"
#include "tester/replay/replay_command.h"
#include "tester/replay/replay_view.h"
#include "tester/report/json_writer.h"
#include "tester/report/run_recorder.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// A window option's time; the error names the option.
std::int32_t WindowTime(const std::string& option, const LocalDateTime& fields) {
  const std::optional<std::int64_t> time = LocalToTime(fields);
  const bool inRange = fields.year >= 1970 && fields.month >= 1 && fields.month <= 12 &&
                       fields.day >= 1 && fields.day <= 31 && fields.hour >= 0 &&
                       fields.hour <= 23 && fields.minute >= 0 && fields.minute <= 59 &&
                       fields.second >= 0 && fields.second <= 59;
  if (!inRange) throw SettingsError(option + ": the date or time is out of range");
  if (!time || *time < std::numeric_limits<std::int32_t>::min() ||
      *time > std::numeric_limits<std::int32_t>::max())
    throw SettingsError(option + ": the date does not fit the 32-bit time");
  return static_cast<std::int32_t>(*time);
}

std::string Quoted(std::int32_t time) {
  return "'" + LocalTimeOptionText(time) + "'";
}

// The part just read held no line of its window: none at all, or only the one after the
// window's end that ended the part (a line at the end itself belongs to the window).
bool PartIsEmpty(long lines, std::int32_t lastTime, std::int64_t end) {
  return lines == 0 || (lines == 1 && lastTime > end);
}

}  // namespace

ReplaySetup ResolveReplaySetup(const ReplayOptions& options) {
  ReplaySetup setup;
  SettingsRecord& record = setup.record;
  if (!options.defaults) setup.loadNote = LoadSettings(record).note;
  for (const auto& [name, value] : options.overrides)
    ApplySettingOption(name, value, record.settings);  // checked while parsing
  if (!options.priceFile.empty()) record.SourcePath = Utf8ToUtf16(options.priceFile);
  setup.priceFile = options.priceFile;
  setup.quotesFromFile = options.quotesFromFile;
  setup.historyBars = options.historyBars;
  if (options.accountSize) setup.accountSize = *options.accountSize;

  setup.haveHistoryTill = options.historyTill || record.HistoryTill != 0;
  if (options.historyTill)
    setup.historyTill = *options.historyTill;
  else if (record.HistoryTill != 0)
    setup.historyTill = LocalFieldsOf(record.HistoryTill);
  if (setup.haveHistoryTill) {
    try {
      record.HistoryTill = HistoryTillFromFields(setup.historyTill);
    } catch (const SettingsError& error) {
      setup.error = std::string("--history-till: ") + error.what();
      return setup;
    }
  }
  try {
    if (options.historyFrom) setup.historyFrom = WindowTime("--history-from", *options.historyFrom);
    if (options.tradeTill) setup.tradeTill = WindowTime("--trade-till", *options.tradeTill);
  } catch (const SettingsError& error) {
    setup.error = error.what();
    return setup;
  }
  if (!setup.haveHistoryTill) return setup;  // the front reports the missing history-till
  if (setup.historyFrom && *setup.historyFrom >= record.HistoryTill)
    setup.error = "--history-from: " + Quoted(*setup.historyFrom) +
                  " is not before --history-till " + Quoted(record.HistoryTill);
  else if (setup.tradeTill && *setup.tradeTill <= record.HistoryTill)
    setup.error = "--trade-till: " + Quoted(*setup.tradeTill) + " is not after --history-till " +
                  Quoted(record.HistoryTill);
  return setup;
}

ReplayResult RunReplay(const EngineApi& engine, const ReplaySetup& setup) {
  // The run is always untimed; the stored delay is kept in the record only.
  TesterSettings settings = setup.record.settings;
  settings.ProcessingDelay = 0;
  ReplayView view(setup.priceFile, settings, setup.historyTill, setup.quotesFromFile);
  ReplayResult result;
  auto broker = std::make_unique<CKMRBroker>(&engine, settings);
  RunRecorder recorder(setup.curveBuckets);
  recorder.Attach(broker.get());
  {
    ProcessingLoop loop(settings, &engine, broker.get(), view);
    loop.SetSaveOnHistoryStart(false);
    loop.SetRecorder(&recorder);  // kmr-replay --save stores the record itself
    loop.SetHistoryBars(setup.historyBars);
    if (setup.historyFrom) loop.SetHistoryFrom(*setup.historyFrom);
    if (setup.tradeTill) loop.SetTradeTill(*setup.tradeTill);
    loop.SetPriceCaches(setup.priceCaches);
    try {
      view.AddLogLine("Processing ALL Data...", false, loop.LastTickTime());
      const auto start = std::chrono::steady_clock::now();
      loop.StartHistory();
      const auto historyEnd = std::chrono::steady_clock::now();
      if (setup.historyFrom &&
          PartIsEmpty(loop.HistoryLines(), loop.LastTickTime(), loop.HistoryTillTime()))
        throw std::runtime_error("--history-from: no line of " + setup.priceFile + " from " +
                                 Quoted(*setup.historyFrom) + " to --history-till " +
                                 Quoted(loop.HistoryTillTime()));
      loop.StartTrade();
      const auto tradeEnd = std::chrono::steady_clock::now();
      if (setup.tradeTill && PartIsEmpty(loop.TradeLines(), loop.LastTickTime(), *setup.tradeTill))
        throw std::runtime_error("--trade-till: no line of " + setup.priceFile +
                                 " after the history part up to --trade-till " +
                                 Quoted(*setup.tradeTill));
      result.historySeconds = Seconds(historyEnd - start);
      result.tradeSeconds = Seconds(tradeEnd - historyEnd);
    } catch (const std::exception& error) {
      result.error = error.what();
    }
    result.historyLines = loop.HistoryLines();
    result.tradeLines = loop.TradeLines();
    result.usedHistoryBars = !setup.historyBars.empty();
    result.historyBars = loop.HistoryBars();
    result.floatingProfit = broker->FloatingProfit();
    result.closedProfit = broker->ClosedProfit();
    result.maxDrawdown = broker->MaxDrawdown();
    result.maxPosition = broker->MaxPosition();
    result.longDeals = broker->LongDeals();
    result.shortDeals = broker->ShortDeals();
    result.openDeals = broker->OpenDeals();
    result.lastTickTime = loop.LastTickTime();
    result.lastPrice = loop.LastPrice();
    loop.CloseSource();
  }
  result.recording = recorder.TakeRecording();
  result.statistics = ComputeStatistics(result.recording, setup.accountSize);
  recorder.Attach(nullptr);
  broker.reset();  // the broker goes before the engine is released
  result.log = std::move(view.log);
  result.messages = std::move(view.messages);
  return result;
}

std::string ReplayResultJson(const std::string& file, const ReplayResult& r) {
  JsonObject json;
  json.Text("file", file);
  json.Integer("lines", r.historyLines + r.tradeLines);
  json.Integer("historyLines", r.historyLines);
  json.Integer("tradeLines", r.tradeLines);
  if (r.usedHistoryBars) json.Integer("historyBars", r.historyBars);
  json.Number("floatingProfit", r.floatingProfit);
  json.Number("closedProfit", r.closedProfit);
  json.Number("maxDrawdown", r.maxDrawdown);
  json.Number("maxPosition", r.maxPosition);
  json.Integer("longDeals", r.longDeals);
  json.Integer("shortDeals", r.shortDeals);
  json.Integer("openDeals", r.openDeals);
  json.Texts("log", r.log);
  json.Number("accountSize", r.statistics.accountSize);
  JsonObject statistics;
  AddStatisticsJson(statistics, r.statistics);
  json.Object("statistics", statistics);
  return json.Finish();
}

}  // namespace kmr
