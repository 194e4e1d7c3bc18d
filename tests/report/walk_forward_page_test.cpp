// The walk-forward page of kmr-sweep --walk-forward on the sample, in headless Chromium: it
// loads offline with no error, lays out within the window, draws the stitched out-of-sample
// equity with each test period's start on it, and its figures and windows are the report's.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tester/report/report_format.h"
#include "tester/sweep/json_line.h"
#include "tests/report/headless_chromium.h"
#include "tests/sweep/json_members.h"

namespace kmr::test {
namespace {

namespace fs = std::filesystem;

// A value of the page check's "key=value;" text.
std::string Part(const std::string& text, const std::string& key) {
  const std::size_t at = text.find(";" + key + "=");
  if (at == std::string::npos) return {};
  const std::size_t begin = at + key.size() + 2;
  return text.substr(begin, text.find(';', begin) - begin);
}

// What the page shows, as ";key=value" parts. The stitched equity is the line in the
// equity colour, the test period starts the markers in the windows' colour.
const char* const kPageCheck = R"((() => {
  const out = [''];
  const inside = (box, frame) => box.x >= frame.x - 3 && box.y >= frame.y - 3 &&
      box.x + box.width <= frame.x + frame.width + 3 && box.y + box.height <= frame.y + frame.height + 3;
  const charts = [...document.querySelectorAll('svg.chart')];
  out.push('charts=' + charts.length);
  charts.forEach((c, i) => {
    const box = c.getBoundingClientRect();
    out.push('chart' + i + '=' + Math.round(box.width) + 'x' + Math.round(box.height));
  });
  const equity = charts[0];
  const frame = equity.querySelector('rect.axis').getBBox();
  const line = equity.querySelector('path[stroke="#1d5fd1"][fill="none"]');
  const points = line ? (line.getAttribute('d').match(/[ML]/g) || []).length : 0;
  out.push('equityPoints=' + points);
  out.push('equityInside=' + (line !== null && inside(line.getBBox(), frame)));
  const starts = equity.querySelector('path[fill="#52606d"][stroke="#fff"]');
  out.push('starts=' + (starts ? (starts.getAttribute('d').match(/M/g) || []).length : 0));
  out.push('startsInside=' + (starts !== null && inside(starts.getBBox(), frame)));
  document.querySelectorAll('.figure').forEach(f => out.push(
      f.querySelector('.label').textContent.trim() + '=' + f.querySelector('.value').textContent.trim()));
  const rows = [...document.querySelectorAll('#windows table.trades tbody tr')];
  out.push('windowRows=' + rows.length);
  rows.forEach((r, i) => {
    const cells = [...r.querySelectorAll('td')].map(td => td.textContent.trim());
    out.push('window' + i + '=' + cells[2] + '|' + cells[6] + '|' + cells[9]);
  });
  out.push('statisticRows=' + document.querySelectorAll('table.named tr').length);
  out.push('overflow=' + (document.documentElement.scrollWidth > window.innerWidth));
  return out.join(';') + ';';
})())";

// "1997-04-01 00:00:00" of the report's "1997-04-01T00:00:00+02:00".
std::string Local(const std::string& iso) {
  std::string text = iso.substr(0, 19);
  if (text.size() == 19) text[10] = ' ';
  return text;
}

// A number of the JSON as the page writes it; an empty one is "-".
std::string Shown(const JsonValue& value, std::string (*text)(std::optional<double>)) {
  if (value.kind != JsonValue::Kind::kNumber) return text(std::nullopt);
  return text(std::strtod(value.text.c_str(), nullptr));
}
std::string Decimal(std::optional<double> value) {
  return DecimalText(value);
}

TEST(WalkForwardPage, LoadsOfflineAndShowsTheStitchedEquityAndTheWindows) {
  std::string pattern = (fs::temp_directory_path() / "kmr_walk_forward_page_XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  const std::string dir = pattern;
  const std::string command =
      "XDG_CONFIG_HOME='" + dir +
      "/config' '" KMR_SWEEP_PROGRAM "' --defaults --library '" KMR_ENGINE_LIBRARY
      "' --tick-size 0.0001 --tick-value 10 --deal-size 1 --spread 0.0002 "
      "--trend h200,t100,x50,25,12 --consider-first 3 --entry 20,o40,t60 --flags 5 "
      "--walk-forward --train 365d --test 26w --vary cad-profit=50,150 --out '" +
      dir + "/wf.jsonl' '" KMR_SAMPLE_FILE "' >/dev/null 2>&1 </dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  std::ifstream in(dir + "/wf.walk-forward.json");
  std::stringstream text;
  text << in.rdbuf();
  const std::optional<JsonValue> report = ParseJson(text.str());
  ASSERT_TRUE(report.has_value()) << text.str();
  const std::vector<JsonValue>& windows = Object(*report, "windows").items;
  ASSERT_GE(windows.size(), 5u);

  std::string page;
  {
    HeadlessChromium browser;
    ASSERT_TRUE(browser.Start(dir)) << browser.Error();
    ASSERT_TRUE(browser.Load("file://" + dir + "/wf.walk-forward.html")) << browser.Error();
    page = browser.Evaluate(kPageCheck);
    EXPECT_TRUE(browser.PageErrors().empty())
        << browser.PageErrors().front() << browser.BrowserLog();
    for (const std::string& url : browser.Requests()) EXPECT_EQ(url.rfind("file://", 0), 0u) << url;
    EXPECT_FALSE(browser.Requests().empty());
  }
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(Part(page, "charts"), "2") << page;  // the equity and its drawdown
  for (const char* chart : {"chart0", "chart1"}) {
    int width = 0, height = 0;
    ASSERT_EQ(std::sscanf(Part(page, chart).c_str(), "%dx%d", &width, &height), 2) << page;
    EXPECT_GT(width, 900) << chart;
    EXPECT_GT(height, 120) << chart;
  }
  EXPECT_GT(std::atoi(Part(page, "equityPoints").c_str()), 1000) << page;
  EXPECT_EQ(Part(page, "equityInside"), "true") << page;
  std::size_t ok = 0;
  for (const JsonValue& w : windows) ok += w.Find("outOfSample") != nullptr;
  EXPECT_EQ(Part(page, "starts"), std::to_string(ok)) << page;
  EXPECT_EQ(Part(page, "startsInside"), "true") << page;

  const JsonValue& stitched = Object(Object(*report, "outOfSample"), "statistics");
  EXPECT_EQ(Part(page, "OOS net profit"), Shown(Object(stitched, "netProfitWithOpen"), MoneyText));
  EXPECT_EQ(Part(page, "Max drawdown"), Shown(Object(stitched, "maxDrawdown"), MoneyText));
  EXPECT_EQ(Part(page, "OOS annual return"), Shown(Object(stitched, "annualReturn"), PercentText));
  EXPECT_EQ(Part(page, "IS annual return"),
            Shown(Object(*report, "meanInSampleAnnualReturn"), PercentText));
  EXPECT_EQ(Part(page, "Efficiency"), Shown(Object(*report, "efficiency"), Decimal));
  EXPECT_EQ(Part(page, "OOS trades"), Member(stitched, "trades"));

  EXPECT_EQ(Part(page, "windowRows"), std::to_string(windows.size()));
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const JsonValue& w = windows[i];
    const JsonValue* outOfSample = w.Find("outOfSample");
    ASSERT_NE(outOfSample, nullptr) << "window " << i;
    EXPECT_EQ(
        Part(page, "window" + std::to_string(i)),
        Local(Member(w, "testStart")) + " to " + Local(Member(w, "testEnd")) + "|" +
            Shown(Object(Object(*outOfSample, "statistics"), "netProfitWithOpen"), MoneyText) +
            "|" + Shown(Object(w, "efficiency"), Decimal))
        << page;
  }
  EXPECT_GT(std::atoi(Part(page, "statisticRows").c_str()), 10);
  EXPECT_EQ(Part(page, "overflow"), "false");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kmr::test
