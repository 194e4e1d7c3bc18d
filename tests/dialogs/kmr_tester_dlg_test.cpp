#include "tester/dialogs/kmr_tester_dlg.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTimeEdit>
#include <QTimer>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "tester/dialogs/about_dlg.h"
#include "tester/dialogs/dialog_services.h"
#include "tester/dialogs/dlg_kmr_settings.h"
#include "tester/settings/text_convert.h"

namespace kmr {
namespace {

namespace fs = std::filesystem;

const std::string kData = KMR_TEST_DATA_DIR;
const std::string kSample = kData + "/usdchf_2000.txt";  // 19960401 000000 .. 19960528 153000

struct Box {
  BoxKind kind;
  QString text;
};

fs::path StoreFolder() {
  return fs::path(std::getenv("XDG_CONFIG_HOME")) / "Vantrel/KMRTester";
}

std::vector<unsigned char> ReadStored() {
  std::ifstream in(StoreFolder() / "KMRTesterSettings_V6", std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs `answer` on the next modal dialog of type T as soon as it is shown.
template <typename T>
void WhenShown(std::function<void(T&)> answer) {
  auto* poll = new QTimer;
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, answer] {
    if (auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      answer(*dlg);
    }
  });
  poll->start();
}

class TesterDlgTest : public testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(StoreFolder());
    SetMessageBoxFunction([this](QWidget*, BoxKind kind, const QString& text) {
      boxes.push_back({kind, text});
    });
  }
  void TearDown() override {
    dlg.reset();
    SetMessageBoxFunction({});
    SetOpenFileFunction({});
    SetFolderFunction({});
    SetOpenWithDesktopFunction({});
  }

  // A window with the engine bound; the sample is a currency pair priced in steps of 0.0001.
  // The trading tests use the scripted engine, whose deals are known in advance.
  void Start(bool currencySettings = true, const char* library = KMR_SCRIPTED_LIBRARY_PATH) {
    if (currencySettings) StoreCurrencySettings();
    dlg = std::make_unique<CKMRTesterDlg>();
    ASSERT_TRUE(dlg->Initialize(library));
  }
  void StoreCurrencySettings() {
    CKMRTesterDlg setup;
    setup.Controls().historyDate->setDate(QDate(1996, 4, 15));
    setup.Controls().historyTime->setTime(QTime(0, 0, 0));
    setup.Controls().sourceFile->setText(QString::fromStdString(kSample));
    ASSERT_TRUE(setup.Initialize(KMR_LIBRARY_PATH));
    WhenShown<CDlgKMRSettings>([](CDlgKMRSettings& s) {
      s.findChild<QLineEdit*>("1019")->setText("0.0001");
      s.findChild<QLineEdit*>("1020")->setText("10");
      s.findChild<QLineEdit*>("1017")->setText("1");
      s.findChild<QPushButton*>("1")->click();
    });
    setup.Controls().settings->click();
    setup.CloseDialog();
  }

  QStringList Log() const {
    QStringList lines;
    for (int i = 0; i < dlg->Controls().log->count(); ++i)
      lines << dlg->Controls().log->item(i)->text();
    return lines;
  }
  // The log, oldest line first, without the time stamps.
  QStringList LogTexts() const {
    QStringList texts;
    static const QRegularExpression stamp(R"(^(\[\d{8} \d\d:\d\d:\d\d\]|\d{8} \d\d:\d\d:\d\d) )");
    for (const QString& line : Log()) texts.prepend(QString(line).remove(stamp));
    return texts;
  }
  QStringList DealLines() const {
    static const QRegularExpression deal(
        R"(^\d{8} \d\d:\d\d:\d\d (Open new (LONG|SHORT) deal ID=\d+|Closed deal ID=\d+) Price=\d+\.\d{4}$)");
    QStringList deals;
    for (const QString& line : Log())
      if (deal.match(line).hasMatch()) deals << line;
    return deals;
  }

  std::vector<Box> boxes;
  std::unique_ptr<CKMRTesterDlg> dlg;
};

TEST_F(TesterDlgTest, HasEveryControlInItsOrderWithItsState) {
  Start(false);
  CKMRTesterDlg& w = *dlg;
  EXPECT_EQ(w.windowTitle(), "KMR Tester");
  w.show();
  QApplication::processEvents();
  const int order[] = {1000, 1004, 1005, 1016, 1007, 1018, 1013, 1021, 1010, 1};
  int previous = -1;
  for (int id : order) {
    auto* control = w.findChild<QWidget*>(QString::number(id));
    ASSERT_NE(control, nullptr) << id;
    const int y = control->mapTo(&w, QPoint(0, 0)).y();
    EXPECT_GT(y, previous) << id;
    previous = y;
  }
  for (int id :
       {1002, 1003, 1006, 1008, 1009, 1015, 1017, 1019, 1024, 1025, 1023, 1020, 1022, 1014, 1011})
    EXPECT_NE(w.findChild<QWidget*>(QString::number(id)), nullptr) << id;
  const TesterDlgControls& c = w.Controls();
  EXPECT_FALSE(c.speed->isEnabled());
  EXPECT_FALSE(c.speedLabel->isEnabled());
  EXPECT_FALSE(c.processStep->isEnabled());
  EXPECT_FALSE(c.stop->isEnabled());
  EXPECT_EQ(c.speed->minimum(), 0);
  EXPECT_EQ(c.speed->maximum(), 100);
  EXPECT_EQ(c.speed->value(), 0);
  EXPECT_TRUE(c.close->isDefault());
  EXPECT_EQ(c.processHD->text(), "Process HD");
  EXPECT_EQ(c.about->text(), "&About KMRTester...");
  // Without a stored record every edit is empty.
  EXPECT_EQ(c.spread->text(), "");
  EXPECT_EQ(c.profitLoss->text(), "");

  // The log grows with the window.
  const int logHeight = c.log->height();
  w.resize(w.width() + 100, w.height() + 200);
  QApplication::processEvents();
  EXPECT_GE(c.log->height(), logHeight + 150);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(TesterDlgTest, AboutBoxShowsTheVersion) {
  Start(false);
  QString text;
  WhenShown<CAboutDlg>([&text](CAboutDlg& about) {
    EXPECT_EQ(about.windowTitle(), "About KMRTester");
    for (QLabel* label : about.findChildren<QLabel*>())
      if (!label->text().isEmpty()) text = label->text();
    about.findChild<QPushButton*>("1")->click();
  });
  dlg->Controls().about->trigger();
  EXPECT_EQ(text, "KMRTester, Version 1.0");
}

TEST_F(TesterDlgTest, FailsToStartWithALibraryLackingAnExport) {
  CKMRTesterDlg w;
  EXPECT_FALSE(w.Initialize(KMR_BROKEN_LIBRARY_PATH));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "KMR Tester initialization failed.");
  EXPECT_FALSE(w.Core().HasBroker());
}

TEST_F(TesterDlgTest, ProcessAllReplaysTheFileAndShowsTheResults) {
  Start();
  const TesterDlgControls& c = dlg->Controls();
  EXPECT_EQ(c.sourceFile->text().toStdString(), kSample);
  EXPECT_EQ(c.profitLoss->text(), "0.0");
  EXPECT_EQ(c.spread->text(), "0.0000");
  c.spread->setText("0.0003");
  c.processALL->click();
  EXPECT_TRUE(boxes.empty());
  const QStringList texts = LogTexts();
  ASSERT_GE(texts.size(), 2);
  EXPECT_EQ(texts[0], "Processing ALL Data...");
  EXPECT_EQ(texts[1], "Processing HISTORY Data finished");
  // Status lines carry the wall clock in brackets.
  EXPECT_TRUE(Log().last().startsWith('['));
  EXPECT_EQ(c.lastTick->text(), "19960528 15:30:00   1.2733");
  EXPECT_TRUE(
      QRegularExpression(R"(^-?\d+\.\d\d \(-?\d+\.\d\d\)$)").match(c.profitLoss->text()).hasMatch())
      << c.profitLoss->text().toStdString();
  EXPECT_TRUE(QRegularExpression(R"(^\d+ / \d+$)").match(c.deals->text()).hasMatch());
  // 2000 lines, of them 481 history lines (till 19960415 000000): 1519 trade lines, so 31
  // cycles of the script start and 30 of them close their two deals.
  EXPECT_EQ(c.deals->text(), "31 / 31");
  EXPECT_EQ(c.maxPosition->text(), "1.00");
  const QStringList deals = DealLines();
  ASSERT_EQ(deals.size(), 31 * 2 + 30 * 2);
  EXPECT_TRUE(
      deals.last().endsWith(" Open new LONG deal ID=1 Price=" + deals.last().section('=', 2)));
  EXPECT_TRUE(deals[deals.size() - 2].contains("Open new SHORT deal ID=2 Price="));
  EXPECT_TRUE(deals[deals.size() - 3].contains("Closed deal ID=1 Price="));
  // A deal line carries the time of the price line that caused it: the first trade line.
  EXPECT_TRUE(deals.last().startsWith("19960415 00:30:00 ")) << deals.last().toStdString();
  const QString first = deals.last();
  const QString stamp = first.left(8) + ' ' + first.mid(9, 8).remove(':') + ';';
  std::ifstream in(kSample);
  std::string line;
  bool found = false;
  while (std::getline(in, line)) found |= QString::fromStdString(line).startsWith(stamp);
  EXPECT_TRUE(found) << first.toStdString();
  // The spread was read when history started and is stored.
  EXPECT_EQ(dlg->Settings().Spread, 0.0003);

  // The file is used up: trade processing has nothing left.
  c.processTD->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Information);
  EXPECT_EQ(boxes[0].text, "No data to process.\nWas History Data processed before?");
}

TEST_F(TesterDlgTest, HistoryThenTradeGivesTheSameRunAsAll) {
  Start();
  const TesterDlgControls& c = dlg->Controls();
  c.processALL->click();
  const QString allProfit = c.profitLoss->text(), allDeals = c.deals->text();
  const QStringList allDealLines = DealLines();
  c.clearLog->click();
  EXPECT_EQ(c.log->count(), 0);
  EXPECT_EQ(c.profitLoss->text(), allProfit);  // clearing the log touches nothing else

  c.processHD->click();
  c.processHD->click();  // the history part is done: only the log line
  c.processTD->click();
  EXPECT_EQ(LogTexts().mid(0, 4),
            QStringList({"Processing HISTORY Data...", "Processing HISTORY Data finished",
                         "Processing HISTORY Data...", "Processing TRADE Data..."}));
  EXPECT_EQ(c.profitLoss->text(), allProfit);
  EXPECT_EQ(c.deals->text(), allDeals);
  EXPECT_EQ(DealLines(), allDealLines);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(TesterDlgTest, StepStopsAfterTheFirstLineWithCommands) {
  Start();
  const TesterDlgControls& c = dlg->Controls();
  c.processHD->click();
  // The step button is disabled in the window; its handler is reached through the core.
  dlg->Core().ProcessStep();
  dlg->ShowLastTick(dlg->Core().LastTickTime(), dlg->Core().LastPrice());
  const QStringList first = DealLines();
  ASSERT_FALSE(first.isEmpty());
  // Every deal line of the step has the time of the line it stopped at.
  for (const QString& line : first) EXPECT_EQ(line.left(17), c.lastTick->text().left(17));
  EXPECT_NE(c.lastTick->text().left(17), "19960528 15:30:00");
  dlg->Core().ProcessStep();
  EXPECT_GT(DealLines().size(), first.size());
}

TEST_F(TesterDlgTest, ResetClearsTheStatistics) {
  Start();
  const TesterDlgControls& c = dlg->Controls();
  c.processALL->click();
  c.reset->click();
  EXPECT_EQ(c.profitLoss->text(), "0.0");
  EXPECT_EQ(c.maxDrawdown->text(), "0.0");
  EXPECT_EQ(c.maxPosition->text(), "0.0");
  EXPECT_EQ(c.deals->text(), "0 / 0");
  ASSERT_TRUE(dlg->Core().HasBroker());
  EXPECT_EQ(dlg->Core().Broker()->LongDeals(), 0);
}

TEST_F(TesterDlgTest, CheckFileSummarisesTheFile) {
  Start();
  SetOpenFileFunction([](QWidget*, const QString&) { return QString::fromStdString(kSample); });
  const TesterDlgControls& c = dlg->Controls();
  c.sourceFile->clear();
  c.browse->click();
  EXPECT_EQ(c.sourceFile->text().toStdString(), kSample);
  c.checkFile->click();
  const QString summary = c.fileInfo->toPlainText();
  EXPECT_TRUE(
      summary.startsWith("2000 lines\nData range: 1996.04.01 00:00:00   -   "
                         "1996.05.28 15:30:00\nPrice range: "))
      << summary.toStdString();

  c.sourceFile->setText("/nonexistent/prices.txt");
  c.checkFile->click();
  EXPECT_EQ(c.fileInfo->toPlainText(), "File cannot be open");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Source file cannot be open.");
}

TEST_F(TesterDlgTest, ErrorsEndOnlyTheirHandler) {
  Start();
  const TesterDlgControls& c = dlg->Controls();
  c.sourceFile->setText(QString::fromStdString(kData + "/bad_line.txt"));
  c.processHD->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Critical);
  // The next press goes on after the bad line.
  c.processHD->click();
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(LogTexts().last(), "Processing HISTORY Data finished");

  // A history-till date before 1970 cannot be saved: the run does not start.
  boxes.clear();
  c.sourceFile->setText(QString::fromStdString(kSample));
  c.historyDate->setDate(QDate(1969, 12, 31));
  c.log->clear();
  c.processHD->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Critical);
  EXPECT_EQ(LogTexts(), QStringList{"Processing HISTORY Data..."});
  EXPECT_TRUE(c.close->isEnabled());
}

// The check box beside Spread: deals fill at the ask of each line's third field.
TEST_F(TesterDlgTest, BidAskFromFileFillsAtTheFilesAsk) {
  Start();
  const TesterDlgControls& c = dlg->Controls();
  dlg->show();
  QApplication::processEvents();
  // Beside Spread: on its row, right of its edit, unchecked at the start.
  const QRect spread(c.spread->mapTo(dlg.get(), QPoint(0, 0)), c.spread->size());
  const QRect box(c.askFromFile->mapTo(dlg.get(), QPoint(0, 0)), c.askFromFile->size());
  EXPECT_EQ(dlg->findChild<QCheckBox*>("1100"), c.askFromFile);
  EXPECT_GT(box.left(), spread.right());
  EXPECT_LT(box.left(), c.stopDistance->mapTo(dlg.get(), QPoint(0, 0)).x());
  EXPECT_TRUE(box.intersects(QRect(0, spread.top(), dlg->width(), spread.height())));
  EXPECT_FALSE(c.askFromFile->isChecked());
  EXPECT_EQ(c.askFromFile->text(), "Bid/ask from file");

  // The sample with an ask 7 points above each price: "19960415 003000;1.2288;1.2295".
  const std::string path = (StoreFolder().parent_path() / "quotes.txt").string();
  {
    std::ifstream in(kSample);
    std::ofstream out(path);
    for (std::string line; std::getline(in, line);) {
      const int points = std::stoi(line.substr(16, 1)) * 10000 + std::stoi(line.substr(18, 4));
      char ask[16];
      std::snprintf(ask, sizeof ask, "%d.%04d", (points + 7) / 10000, (points + 7) % 10000);
      out << line << ';' << ask << '\n';
    }
  }
  auto firstLong = [&] {
    const QStringList deals = DealLines();
    return deals.isEmpty() ? QString() : deals.last();  // the oldest line comes last
  };
  c.sourceFile->setText(QString::fromStdString(path));
  c.spread->setText("0.0002");
  c.processALL->click();
  EXPECT_TRUE(firstLong().endsWith("Open new LONG deal ID=1 Price=1.2290"))
      << firstLong().toStdString();
  c.log->clear();
  c.askFromFile->setChecked(true);
  c.processALL->click();
  EXPECT_TRUE(boxes.empty());
  EXPECT_TRUE(firstLong().startsWith("19960415 00:30:00 ")) << firstLong().toStdString();
  EXPECT_TRUE(firstLong().endsWith("Open new LONG deal ID=1 Price=1.2295"))
      << firstLong().toStdString();

  // Checked, the sample without asks cannot be replayed: its first line is an error.
  c.sourceFile->setText(QString::fromStdString(kSample));
  c.processALL->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Critical);
  EXPECT_TRUE(boxes[0].text.startsWith(QString::fromStdString(kSample + ":1: no valid ask")))
      << boxes[0].text.toStdString();
  // "Check File" checks the file as it would be read: with the asks.
  c.checkFile->click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].text.startsWith(QString::fromStdString(kSample + ":1: no valid ask")));
  c.askFromFile->setChecked(false);
  c.checkFile->click();
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(c.fileInfo->toPlainText().startsWith("2000 lines\n"));
}

TEST_F(TesterDlgTest, SettingsOkTakesSavesAndCancelLeavesEverything) {
  Start(false);
  const TesterDlgControls& c = dlg->Controls();
  c.spread->setText("0.5");
  c.sourceFile->setText("/data/prices.txt");
  WhenShown<CDlgKMRSettings>([](CDlgKMRSettings& s) {
    s.findChild<QLineEdit*>("1017")->setText("3");
    s.findChild<QLineEdit*>("1026")->setText("xt400");
    s.findChild<QPushButton*>("2")->click();
  });
  c.settings->click();
  EXPECT_EQ(dlg->Settings().DealSize, TesterSettings{}.DealSize);
  EXPECT_EQ(dlg->Settings().Spread, 0.0);
  EXPECT_TRUE(ReadStored().empty());

  WhenShown<CDlgKMRSettings>([](CDlgKMRSettings& s) {
    s.findChild<QLineEdit*>("1017")->setText("3");
    s.findChild<QLineEdit*>("1026")->setText("xt400");
    s.findChild<QPushButton*>("1")->click();
  });
  c.settings->click();
  EXPECT_EQ(dlg->Settings().DealSize, 3.0);
  EXPECT_EQ(dlg->Settings().TrendCharts[0], 400u | (7u << 24));
  EXPECT_EQ(dlg->Settings().Spread, 0.5);
  const std::vector<unsigned char> stored = ReadStored();
  ASSERT_EQ(stored.size(), 188u + 2 * 16);
  double dealSize;
  std::memcpy(&dealSize, stored.data() + 24, 8);
  EXPECT_EQ(dealSize, 3.0);
  EXPECT_TRUE(boxes.empty());

  // A restart shows what was stored.
  dlg->CloseDialog();
  dlg = std::make_unique<CKMRTesterDlg>();
  ASSERT_TRUE(dlg->Initialize(KMR_LIBRARY_PATH));
  EXPECT_EQ(dlg->Controls().spread->text(), "0.5000");
  EXPECT_EQ(dlg->Controls().stopDistance->text(), "0.0000");
  EXPECT_EQ(dlg->Controls().profitLoss->text(), "0.0");
  EXPECT_EQ(dlg->Controls().sourceFile->text(), "/data/prices.txt");
  EXPECT_EQ(dlg->Settings().DealSize, 3.0);
}

// The text of a member of report.json ("key": value).
std::string JsonField(const std::string& json, const std::string& key) {
  const std::string marker = "\"" + key + "\": ";
  const std::size_t at = json.find(marker);
  if (at == std::string::npos) return {};
  const std::size_t begin = at + marker.size();
  return json.substr(begin, json.find_first_of(",\n", begin) - begin);
}

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(TesterDlgTest, ReportMenuSavesAndShowsTheRun) {
  Start();
  const TesterDlgControls& c = dlg->Controls();
  EXPECT_EQ(c.reportMenu->title(), "&Report");
  EXPECT_FALSE(c.saveReport->isEnabled());  // nothing run yet
  EXPECT_FALSE(c.showReport->isEnabled());
  c.processHD->click();
  EXPECT_FALSE(c.saveReport->isEnabled());  // history alone is no run to report
  c.processTD->click();
  ASSERT_TRUE(c.saveReport->isEnabled());
  ASSERT_TRUE(c.showReport->isEnabled());

  const fs::path folder = fs::path(std::getenv("HOME")) / "reports" / "run 1";
  QString asked;
  SetFolderFunction([&](QWidget*, const QString& current) {
    asked = current;
    return QString::fromStdString(folder.string());
  });
  c.saveReport->trigger();
  EXPECT_TRUE(boxes.empty()) << boxes[0].text.toStdString();
  for (const char* name : {"report.json", "trades.csv", "equity.csv", "report.html"})
    EXPECT_TRUE(fs::is_regular_file(folder / name)) << name;
  // The report's figures are the window's.
  const std::string json = Slurp(folder / "report.json");
  EXPECT_EQ(Format("%.2f", std::strtod(JsonField(json, "maxDrawdown").c_str(), nullptr)),
            c.maxDrawdown->text().toStdString());
  const QStringList deals = c.deals->text().split(" / ");
  EXPECT_EQ(JsonField(json, "longTrades"), deals[0].toStdString());
  EXPECT_EQ(JsonField(json, "shortTrades"), deals[1].toStdString());
  EXPECT_EQ(JsonField(json, "historyLines"), "481");
  EXPECT_NE(JsonField(json, "command").find("--spread 0 "), std::string::npos);
  EXPECT_TRUE(Log().first().endsWith("Report saved in " + QString::fromStdString(folder.string())));
  // The chooser starts where the last report went.
  c.saveReport->trigger();
  EXPECT_EQ(asked.toStdString(), folder.string());

  QString opened;
  SetOpenWithDesktopFunction([&](const QString& path) {
    opened = path;
    return true;
  });
  c.showReport->trigger();
  EXPECT_TRUE(opened.endsWith("/report.html")) << opened.toStdString();
  EXPECT_EQ(Slurp(opened.toStdString()).substr(0, 15), "<!DOCTYPE html>");
  EXPECT_TRUE(boxes.empty());

  // A folder that cannot be written says which file failed and changes nothing else.
  SetFolderFunction([&](QWidget*, const QString&) {
    return QString::fromStdString((folder / "report.json").string());
  });
  c.saveReport->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].kind, BoxKind::Critical);
  EXPECT_TRUE(boxes[0].text.contains("report.json")) << boxes[0].text.toStdString();

  c.reset->click();
  EXPECT_FALSE(c.saveReport->isEnabled());
}

TEST_F(TesterDlgTest, RealEngineRunsTheSample) {
  Start(true, KMR_LIBRARY_PATH);
  dlg->Controls().processALL->click();
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(dlg->Controls().lastTick->text(), "19960528 15:30:00   1.2733");
}

TEST_F(TesterDlgTest, EscAndCloseReleaseTheEngine) {
  Start(true, KMR_LIBRARY_PATH);
  dlg->show();
  dlg->Controls().processHD->click();
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(dlg.get(), &esc);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_FALSE(dlg->Core().HasBroker());
  // Closing twice is harmless.
  dlg->CloseDialog();
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace kmr
