// report.html of the sample run in headless Chromium: it loads offline with no error, asks for
// nothing beyond its own file, lays out within the window and shows its charts and numbers.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tester/report/report_format.h"
#include "tests/report/headless_chromium.h"

namespace kmr::test {
namespace {

namespace fs = std::filesystem;

// A value of the page check's "key=value;" text.
std::string Part(const std::string& text, const std::string& key) {
  const std::size_t at = text.find(key + "=");
  if (at == std::string::npos) return {};
  const std::size_t begin = at + key.size() + 1;
  return text.substr(begin, text.find(';', begin) - begin);
}

const char* const kPageCheck = R"((() => {
  const out = [];
  const charts = [...document.querySelectorAll('svg.chart')];
  out.push('charts=' + charts.length);
  charts.forEach((c, i) => {
    const box = c.getBoundingClientRect();
    let drawn = 0;
    c.querySelectorAll('path').forEach(p => drawn += (p.getAttribute('d') || '').length);
    out.push('chart' + i + '=' + Math.round(box.width) + 'x' + Math.round(box.height) + 'x' + drawn);
  });
  document.querySelectorAll('.figure').forEach(f => out.push(
      f.querySelector('.label').textContent.trim() + '=' + f.querySelector('.value').textContent.trim()));
  out.push('tradeRows=' + document.querySelectorAll('table.trades tbody tr').length);
  out.push('statisticRows=' + document.querySelectorAll('table.named tr').length);
  out.push('overflow=' + (document.documentElement.scrollWidth > window.innerWidth));
  out.push('command=' + (document.querySelector('pre.command').textContent.indexOf('kmr-replay --defaults') >= 0));
  return out.join(';') + ';';
})())";

TEST(ReportPage, LoadsOfflineAndShowsItsChartsAndNumbers) {
  char folder[] = "/tmp/kmr_report_page_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  const std::string command = "XDG_CONFIG_HOME='" + dir +
                              "/config' '" KMR_REPLAY_PROGRAM
                              "' --defaults --json --history-till '1997-12-01 00:00:00' "
                              "--tick-size 0.0001 --trend h200,t100,x50,25,12 --consider-first 3 "
                              "--entry 20,o40,t60 --flags 5 --tick-value 10 --deal-size 1 "
                              "--spread 0.0002 --report '" +
                              dir + "/report' '" KMR_SAMPLE_FILE "' >'" + dir +
                              "/out.json' 2>/dev/null </dev/null";
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
  std::ifstream in(dir + "/out.json");
  std::stringstream json;
  json << in.rdbuf();
  auto number = [&](const std::string& key) {
    const std::string text = json.str();
    return std::strtod(text.c_str() + text.find("\"" + key + "\": ") + key.size() + 4, nullptr);
  };

  std::string page;
  {
    HeadlessChromium browser;
    ASSERT_TRUE(browser.Start(dir)) << browser.Error();
    ASSERT_TRUE(browser.Load("file://" + dir + "/report/report.html")) << browser.Error();
    page = browser.Evaluate(kPageCheck);
    EXPECT_TRUE(browser.PageErrors().empty())
        << browser.PageErrors().front() << browser.BrowserLog();
    for (const std::string& url : browser.Requests()) EXPECT_EQ(url.rfind("file://", 0), 0u) << url;
    EXPECT_FALSE(browser.Requests().empty());
  }
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(Part(page, "charts"), "3") << page;
  for (const char* chart : {"chart0", "chart1", "chart2"}) {
    int width = 0, height = 0, drawn = 0;
    ASSERT_EQ(std::sscanf(Part(page, chart).c_str(), "%dx%dx%d", &width, &height, &drawn), 3)
        << page;
    EXPECT_GT(width, 900) << chart;
    EXPECT_GT(height, 120) << chart;
    EXPECT_GT(drawn, 10000) << chart;  // the curves are there
  }
  EXPECT_EQ(Part(page, "Net profit"), MoneyText(number("closedProfit"))) << page;
  EXPECT_EQ(Part(page, "Max drawdown"), MoneyText(number("maxDrawdown"))) << page;
  EXPECT_EQ(Part(page, "Trades"),
            std::to_string(static_cast<long>(number("longDeals") + number("shortDeals"))));
  EXPECT_EQ(Part(page, "tradeRows"), Part(page, "Trades"));
  EXPECT_GT(std::atoi(Part(page, "statisticRows").c_str()), 25);
  EXPECT_EQ(Part(page, "overflow"), "false");
  EXPECT_EQ(Part(page, "command"), "true");
  fs::remove_all(dir);
}

// The check above sees what it looks for: a page with a failing script and an address to fetch.
TEST(ReportPage, TheBrowserReportsErrorsAndRequests) {
  char folder[] = "/tmp/kmr_report_page_XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string dir = folder;
  std::ofstream(dir + "/bad.html")
      << "<!DOCTYPE html><html><body><img src=\"http://127.0.0.1:9/none.png\">"
         "<script>undefinedFunction();</script></body></html>";
  {
    HeadlessChromium browser;
    ASSERT_TRUE(browser.Start(dir)) << browser.Error();
    ASSERT_TRUE(browser.Load("file://" + dir + "/bad.html")) << browser.Error();
    EXPECT_FALSE(browser.PageErrors().empty());
    bool fetched = false;
    for (const std::string& url : browser.Requests()) fetched |= url.rfind("http://", 0) == 0;
    EXPECT_TRUE(fetched);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kmr::test
