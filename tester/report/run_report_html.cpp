// report.html of one run, put together from the reusable page, chart and table pieces.
#include <cstdlib>

#include "tester/report/html/equity_charts.h"
#include "tester/report/html/html_chart.h"
#include "tester/report/html/html_page.h"
#include "tester/report/html/html_table.h"
#include "tester/report/html/html_text.h"
#include "tester/report/report_format.h"
#include "tester/report/run_report.h"
#include "tester/settings/chart_text.h"
#include "tester/settings/local_time.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

const char* const kPriceColor = "#52606d";
const char* const kLongColor = "#17803d";
const char* const kShortColor = "#c62828";
const char* const kCloseColor = "#9aa5b1";

std::string LocalText(std::int32_t time) {
  return FormatLocalTime(time, "%Y-%m-%d %H:%M:%S");
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string PriceText(double price) {
  return Format("%.5f", price);
}

HtmlCell Money(std::optional<double> value, bool colour = true) {
  return {MoneyText(value), colour && value ? SignClass(*value) : ""};
}
HtmlCell Plain(std::string text) {
  return {std::move(text), ""};
}

// The command with each option and its value kept on one line, so that it wraps between them.
std::string CommandHtml(const std::string& command) {
  std::vector<std::string> words;
  std::string word;
  bool quoted = false;
  for (char c : command) {
    if (c == '\'') quoted = !quoted;
    if (c == ' ' && !quoted) {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(word);
  std::string html;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string group = words[i];
    if (group.rfind("--", 0) == 0 && i + 1 < words.size() && words[i + 1].rfind("--", 0) != 0 &&
        i + 2 < words.size())
      group += " " + words[++i];
    html += (html.empty() ? "" : " ") + std::string("<span>") + HtmlEscape(group) + "</span>";
  }
  return html;
}

std::string Header(const RunReport& report) {
  const RunRecording& r = report.recording;
  std::string html =
      "<header class=\"report\">\n<h1>Run report: " + HtmlEscape(BaseName(report.priceFile)) +
      "</h1>\n";
  html += "<p class=\"subtitle\">KMR engine replayed against the simulated broker</p>\n";
  html += "<dl class=\"meta\">\n";
  auto item = [&html](const std::string& name, const std::string& value) {
    html += "<dt>" + HtmlEscape(name) + "</dt><dd>" + HtmlEscape(value) + "</dd>\n";
  };
  item("Price file", report.priceFile);
  if (r.tradeLines > 0)
    item("Traded period",
         LocalText(r.firstTradeTime) + "  to  " + LocalText(r.lastTradeTime) + "  (" +
             DurationText(static_cast<double>(r.lastTradeTime) - r.firstTradeTime) + ")");
  else
    item("Traded period", "none: every line was history");
  if (r.historyLines > 0)
    item("History", LocalText(r.firstHistoryTime) + "  to  " + LocalText(r.lastHistoryTime));
  item("Lines", Format("%ld history, %ld trade", r.historyLines, r.tradeLines));
  item("Account size", MoneyText(report.statistics.accountSize));
  const char* zone = std::getenv("TZ");
  item("Times", std::string("local time") + (zone && *zone ? std::string(" (") + zone + ")" : ""));
  html += "</dl>\n";
  html += "<pre class=\"command\">" + CommandHtml(report.command) + "</pre>\n";
  return html + "</header>\n";
}

std::string Figures(const RunStatistics& s) {
  std::vector<KeyFigure> figures;
  figures.push_back({"Net profit", MoneyText(s.netProfit), "closed deals", SignClass(s.netProfit)});
  figures.push_back({"With open deals", MoneyText(s.netProfitWithOpen),
                     Format("%ld open at the end", s.openTrades), SignClass(s.netProfitWithOpen)});
  figures.push_back({"Max drawdown", MoneyText(s.maxDrawdown),
                     PercentText(s.maxDrawdownShare) + " of the peak",
                     s.maxDrawdown > 0 ? "loss" : ""});
  figures.push_back(
      {"Profit factor", DecimalText(s.profitFactor), "gross profit / gross loss", ""});
  figures.push_back({"Trades", std::to_string(s.trades),
                     Format("%ld long, %ld short", s.longTrades, s.shortTrades), ""});
  figures.push_back({"Win rate", PercentText(s.winRate),
                     Format("%ld won, %ld lost", s.winningTrades, s.losingTrades), ""});
  figures.push_back({"Sharpe", DecimalText(s.sharpe), "daily, annualised", ""});
  figures.push_back({"Annual return", PercentText(s.annualReturn), "on the account",
                     s.annualReturn ? SignClass(*s.annualReturn) : ""});
  return RenderKeyFigures(figures);
}

std::string Charts(const RunReport& report) {
  const RunRecording& r = report.recording;
  EquityCharts charts = EquityChartsOf(r.curve, "Equity and balance", "No trade lines");
  ChartSpec price;
  price.title = "Price and trades";
  price.height = 320;
  price.emptyText = "No trade lines";
  ChartBand priceRange{{}, {}, {}, kPriceColor, 0.2, ""};
  ChartLine priceLine{{}, kPriceColor, 1.0, false, "Bid"};
  for (const CurveBucket& b : r.curve) {
    const double x = b.lastTime;
    priceRange.x.push_back(x);
    priceRange.low.push_back(b.price.min);
    priceRange.high.push_back(b.price.max);
    priceLine.points.push_back({x, b.price.last});
  }
  price.bands.push_back(std::move(priceRange));
  price.lines.push_back(std::move(priceLine));

  ChartMarkers longs{{}, MarkerShape::kTriangleUp, kLongColor, "Long open"};
  ChartMarkers shorts{{}, MarkerShape::kTriangleDown, kShortColor, "Short open"};
  ChartMarkers closes{{}, MarkerShape::kCircle, kCloseColor, "Close"};
  ChartLinks gains{{}, kLongColor, 0.55}, losses{{}, kShortColor, 0.55};
  for (std::size_t i = 0; i < r.trades.size() && i < kHtmlTradeLimit; ++i) {
    const TradeRecord& t = r.trades[i];
    const ChartPoint open{static_cast<double>(t.openTime), t.openPrice};
    const ChartPoint close{static_cast<double>(t.closeTime), t.closePrice};
    (t.isLong ? longs : shorts).points.push_back(open);
    if (t.closeReason == CloseReason::kOpenAtEnd) continue;  // no close to link it to
    closes.points.push_back(close);
    (t.profit >= 0 ? gains : losses).links.emplace_back(open, close);
  }
  price.links = {std::move(gains), std::move(losses)};
  price.markers = {std::move(longs), std::move(shorts), std::move(closes)};

  std::string html =
      RenderSvgChart(charts.equity) + RenderSvgChart(charts.drawdown) + RenderSvgChart(price);
  if (!r.curve.empty() && r.curve.front().lines > 1)
    html += "<p class=\"note\">" +
            HtmlEscape(Format("%ld trade lines drawn in %zu steps; the shaded band of each step "
                              "spans its lowest to its highest value.",
                              r.tradeLines, r.curve.size())) +
            "</p>\n";
  return html;
}

std::string StatisticsTables(const RunStatistics& s) {
  std::vector<NamedValue> result = {
      {"Net profit (closed)", Money(s.netProfit)},
      {"Net profit with open deals", Money(s.netProfitWithOpen)},
      {"Gross profit", Money(s.grossProfit)},
      {"Gross loss", Money(s.grossLoss)},
      {"Profit factor", Plain(DecimalText(s.profitFactor))},
      {"Expectancy per trade", Money(s.expectancy)},
      {"Total commission", Money(s.totalCommission, false)},
      {"Max position", Plain(DecimalText(s.maxPosition))},
  };
  std::vector<NamedValue> trades = {
      {"Trades (long / short)",
       Plain(Format("%ld (%ld / %ld)", s.trades, s.longTrades, s.shortTrades))},
      {"Won / lost / open at end",
       Plain(Format("%ld / %ld / %ld", s.winningTrades, s.losingTrades, s.openTrades))},
      {"Win rate", Plain(PercentText(s.winRate))},
      {"Average win", Money(s.averageWin)},
      {"Average loss", Money(s.averageLoss)},
      {"Largest win", Money(s.largestWin)},
      {"Largest loss", Money(s.largestLoss)},
      {"Longest winning / losing streak",
       Plain(Format("%ld / %ld", s.longestWinningStreak, s.longestLosingStreak))},
      {"Average holding time", Plain(DurationText(s.averageHoldingSeconds))},
      {"Exposure", Plain(PercentText(s.exposure))},
  };
  std::vector<NamedValue> risk = {
      {"Max drawdown", {MoneyText(s.maxDrawdown), s.maxDrawdown > 0 ? "loss" : ""}},
      {"Max drawdown, % of peak", Plain(PercentText(s.maxDrawdownShare))},
      {"Longest drawdown", Plain(DurationText(static_cast<double>(s.longestDrawdownSeconds)))},
      {"Recovery factor", Plain(DecimalText(s.recoveryFactor))},
      {"Account size", Money(s.accountSize, false)},
      {"Annual return", Plain(PercentText(s.annualReturn))},
      {"Sharpe ratio", Plain(DecimalText(s.sharpe))},
      {"Sortino ratio", Plain(DecimalText(s.sortino))},
      {"Days in the ratios", Plain(std::to_string(s.dailyReturns))},
  };
  return "<div class=\"columns\">\n<div><h3>Result</h3>\n" + RenderNamedValues(result, "named") +
         "</div>\n<div><h3>Trades</h3>\n" + RenderNamedValues(trades, "named") +
         "</div>\n<div><h3>Risk and return</h3>\n" + RenderNamedValues(risk, "named") +
         "</div>\n</div>\n";
}

std::string Charts(const std::uint32_t (&charts)[8], bool isTrend) {
  std::string list;
  for (std::uint32_t chart : charts)
    if (chart != 0) list += (list.empty() ? "" : ", ") + ChartSpecToText(chart, isTrend);
  return list.empty() ? "none" : list;
}

std::string SettingsTables(const RunReport& report) {
  const SettingsRecord& record = report.record;
  const TesterSettings& s = record.settings;
  auto number = [](double v) { return Plain(ShortestNumber(v)); };
  auto whole = [](long long v) { return Plain(std::to_string(v)); };
  std::vector<NamedValue> broker = {
      {"Spread", number(s.Spread)},
      {"Stop distance", number(s.StopDistance)},
      {"Limit distance", number(s.LimitDistance)},
      {"Deal size", number(s.DealSize)},
      {"Tick size", number(s.TickSize)},
      {"Tick value", number(s.TickValue)},
      {"Commission per deal", number(s.DealComm)},
      {"History till", Plain(record.HistoryTill != 0 ? LocalText(record.HistoryTill) : "-")},
  };
  if (report.historyFrom) broker.push_back({"History from", Plain(LocalText(*report.historyFrom))});
  if (report.tradeTill) broker.push_back({"Trade till", Plain(LocalText(*report.tradeTill))});
  std::vector<NamedValue> engine = {
      {"Trend charts", Plain(Charts(s.TrendCharts, true))},
      {"Trend charts considered", whole(s.ConsiderFirst)},
      {"Entry charts", Plain(Charts(s.EntryCharts, false))},
      {"Cycle profit target", number(s.CadProfit)},
      {"DCA interval", whole(s.DcaInterval)},
      {"Std interval / min. deals", Plain(Format("%d / %d", s.StdInterval, s.StdMinDeals))},
      {"Max net position", number(s.MaxNetPos)},
      {"Smoothing 1 / 2", Plain(Format("%d / %d", s.Smoothing1, s.Smoothing2))},
      {"Reversal deviation", number(s.ReversalDev)},
      {"Flags", whole(s.Flags)},
  };
  return "<div class=\"columns\">\n<div><h3>Broker</h3>\n" + RenderNamedValues(broker, "named") +
         "</div>\n<div><h3>Engine</h3>\n" + RenderNamedValues(engine, "named") + "</div>\n</div>\n";
}

std::string TradeTable(const RunRecording& r) {
  if (r.trades.empty()) return "<p class=\"empty\">This run made no trades.</p>\n";
  HtmlTable table;
  table.cssClass = "trades";
  table.header = {"#",           "Deal",   "Side",   "Opened",     "Open price", "Closed",
                  "Close price", "Volume", "Profit", "Commission", "Closed by",  "Held"};
  table.numeric = {true, true, false, false, true, false, true, true, true, true, false, true};
  const std::size_t shown = std::min(r.trades.size(), kHtmlTradeLimit);
  table.rows.reserve(shown);
  for (std::size_t i = 0; i < shown; ++i) {
    const TradeRecord& t = r.trades[i];
    table.rows.push_back({
        Plain(std::to_string(i + 1)),
        Plain(std::to_string(t.dealId)),
        {t.isLong ? "long" : "short", t.isLong ? "gain" : "loss"},
        Plain(LocalText(t.openTime)),
        Plain(PriceText(t.openPrice)),
        Plain(LocalText(t.closeTime)),
        Plain(PriceText(t.closePrice)),
        Plain(ShortestNumber(t.volume)),
        Money(t.profit),
        Money(t.commission, false),
        Plain(CloseReasonName(t.closeReason)),
        Plain(DurationText(static_cast<double>(t.closeTime) - t.openTime)),
    });
  }
  std::string html = RenderTable(table);
  if (shown < r.trades.size())
    html += "<p class=\"note\">" +
            HtmlEscape(Format("The first %zu of %zu trades are listed and marked; trades.csv "
                              "holds them all.",
                              shown, r.trades.size())) +
            "</p>\n";
  return html;
}

}  // namespace

std::string RunReportHtml(const RunReport& report) {
  const RunRecording& r = report.recording;
  std::string body = Header(report);
  body += Figures(report.statistics);
  body += HtmlSection("Curves",
                      r.tradeLines > 0 ? Charts(report)
                                       : "<p class=\"empty\">No trade lines: every line of the "
                                         "file was history, so there is no curve to draw.</p>\n",
                      "curves");
  body += HtmlSection("Statistics", StatisticsTables(report.statistics), "statistics");
  body += HtmlSection("Settings", SettingsTables(report), "settings");
  body += HtmlSection(Format("Trades (%zu, in the order they closed)", r.trades.size()),
                      TradeTable(r), "trades");
  return HtmlPage("Run report: " + BaseName(report.priceFile), body);
}

}  // namespace kmr
