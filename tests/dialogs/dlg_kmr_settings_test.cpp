#include "tester/dialogs/dlg_kmr_settings.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "common/chart_spec.h"
#include "tester/dialogs/dialog_services.h"

namespace kmr {
namespace {

constexpr int kTrendIds[8] = {1026, 1027, 1028, 1029, 1030, 1039, 1040, 1041};
constexpr int kEntryIds[8] = {1031, 1032, 1033, 1035, 1036, 1042, 1043, 1044};

QLineEdit* Edit(const QDialog& dlg, int id) {
  auto* edit = dlg.findChild<QLineEdit*>(QString::number(id));
  EXPECT_NE(edit, nullptr) << id;
  return edit;
}

void ExpectSameFields(const TesterSettings& a, const TesterSettings& b) {
  EXPECT_EQ(a.DealSize, b.DealSize);
  EXPECT_EQ(a.CadProfit, b.CadProfit);
  EXPECT_EQ(a.TickSize, b.TickSize);
  EXPECT_EQ(a.TickValue, b.TickValue);
  EXPECT_EQ(a.DcaInterval, b.DcaInterval);
  EXPECT_EQ(a.StdInterval, b.StdInterval);
  EXPECT_EQ(a.StdMinDeals, b.StdMinDeals);
  EXPECT_EQ(a.MaxNetPos, b.MaxNetPos);
  EXPECT_EQ(a.DealComm, b.DealComm);
  EXPECT_EQ(a.Smoothing1, b.Smoothing1);
  EXPECT_EQ(a.Smoothing2, b.Smoothing2);
  EXPECT_EQ(a.ReversalDev, b.ReversalDev);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(a.TrendCharts[i], b.TrendCharts[i]) << i;
    EXPECT_EQ(a.EntryCharts[i], b.EntryCharts[i]) << i;
  }
  EXPECT_EQ(a.ConsiderFirst, b.ConsiderFirst);
  EXPECT_EQ(a.Flags, b.Flags);
  EXPECT_EQ(a.LogFilePath, b.LogFilePath);
}

TEST(DlgKMRSettings, ShowsTheDefaultsAndOkGivesThemBack) {
  const TesterSettings defaults;
  CDlgKMRSettings dlg(defaults);
  EXPECT_EQ(dlg.windowTitle(), "KMR Settings");
  const char* trend[8] = {"h1600", "h800", "h400", "h200", "h100", "h0", "h0", "h0"};
  const char* entry[8] = {"40", "80", "120", "0", "0", "0", "0", "0"};
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(Edit(dlg, kTrendIds[i])->text(), trend[i]);
    EXPECT_EQ(Edit(dlg, kEntryIds[i])->text(), entry[i]);
  }
  const std::pair<int, const char*> fields[] = {
      {1017, "0.2000"},   {1034, "5.0000"}, {1019, "0.2500"}, {1020, "1.0000"}, {1021, "1.5000"},
      {1018, "100.0000"}, {1045, "50"},     {1022, "100"},    {1023, "20"},     {1024, "8"},
      {1025, "2.0000"},   {1050, "5"},      {1037, ""}};
  for (const auto& [id, text] : fields) EXPECT_EQ(Edit(dlg, id)->text(), text) << id;
  for (int id : {1046, 1047, 1048, 1049})
    EXPECT_FALSE(dlg.findChild<QCheckBox*>(QString::number(id))->isChecked());

  dlg.findChild<QPushButton*>("1")->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  ExpectSameFields(dlg.Settings(), defaults);
}

TEST(DlgKMRSettings, ChartTextsInEitherCaseGiveTheirWords) {
  struct Case {
    int id;
    const char* text;
    std::uint32_t word;
  };
  const Case cases[] = {
      {1026, "H1600", 1600},
      {1027, "1600", 1600 | kTrendNoHedge},
      {1028, "xt400", 400 | kTrendNoHedge | kTrendCloseOnly | kTrendOpenTrade},
      {1029, "-50", 50 | kTrendNoHedge},
      {1030, "xt", kTrendNoHedge | kTrendCloseOnly | kTrendOpenTrade},
      {1039, "", 0},
      {1040, "hC16777217", 1 | kTrendColourHistory},
      {1041, "h0", 0},
      {1031, "O40", 40 | kEntryOpenOrCloseOwn},
      {1032, "40", 40},
      {1033, "tdx7", 7 | kEntryOpenOnly | kEntryDisplayOnly | kEntryCloseOnly},
      {1035, "D", kEntryDisplayOnly},
  };
  CDlgKMRSettings dlg{TesterSettings{}};
  for (const Case& c : cases) Edit(dlg, c.id)->setText(c.text);
  dlg.accept();
  const TesterSettings& s = dlg.Settings();
  for (const Case& c : cases) {
    const int trendIndex = std::find(std::begin(kTrendIds), std::end(kTrendIds), c.id) - kTrendIds;
    const int entryIndex = std::find(std::begin(kEntryIds), std::end(kEntryIds), c.id) - kEntryIds;
    const std::uint32_t word =
        trendIndex < 8 ? s.TrendCharts[trendIndex] : s.EntryCharts[entryIndex];
    EXPECT_EQ(word, c.word) << c.text;
  }

  // Opened again, the words show in lower case in the fixed letter order.
  CDlgKMRSettings again(s);
  EXPECT_EQ(Edit(again, 1026)->text(), "h1600");
  EXPECT_EQ(Edit(again, 1027)->text(), "1600");
  EXPECT_EQ(Edit(again, 1028)->text(), "xt400");
  EXPECT_EQ(Edit(again, 1040)->text(), "hc1");
  EXPECT_EQ(Edit(again, 1031)->text(), "o40");
  EXPECT_EQ(Edit(again, 1033)->text(), "tdx7");
}

TEST(DlgKMRSettings, StdIntervalTakesEverySeparator) {
  for (const char* text : {"50/3", "50:3", "50|3", "50\\3"}) {
    CDlgKMRSettings dlg{TesterSettings{}};
    Edit(dlg, 1045)->setText(text);
    dlg.accept();
    EXPECT_EQ(dlg.Settings().StdInterval, 50) << text;
    EXPECT_EQ(dlg.Settings().StdMinDeals, 3) << text;
    CDlgKMRSettings shown(dlg.Settings());
    EXPECT_EQ(Edit(shown, 1045)->text(), "50/3");
  }
  TesterSettings withMinDeals;
  withMinDeals.StdMinDeals = 4;
  CDlgKMRSettings dlg(withMinDeals);
  Edit(dlg, 1045)->setText("60");
  dlg.accept();
  EXPECT_EQ(dlg.Settings().StdInterval, 60);
  EXPECT_EQ(dlg.Settings().StdMinDeals, 0);
}

TEST(DlgKMRSettings, NumbersAreReadLikeTheirControlsAndFlagsFromTheBoxes) {
  CDlgKMRSettings dlg{TesterSettings{}};
  Edit(dlg, 1017)->setText("1.5abc");
  Edit(dlg, 1034)->setText("abc");
  Edit(dlg, 1025)->setText("7");  // no range check
  Edit(dlg, 1022)->setText(" 12 ");
  Edit(dlg, 1023)->setText("12abc");
  Edit(dlg, 1024)->setText("-3");
  Edit(dlg, 1050)->setText("99999999999");
  dlg.findChild<QCheckBox*>("1046")->setChecked(true);
  dlg.findChild<QCheckBox*>("1049")->setChecked(true);
  dlg.accept();
  const TesterSettings& s = dlg.Settings();
  EXPECT_EQ(s.DealSize, 1.5);
  EXPECT_EQ(s.MaxNetPos, 0.0);
  EXPECT_EQ(s.ReversalDev, 7.0);
  EXPECT_EQ(s.DcaInterval, 12);
  EXPECT_EQ(s.Smoothing1, 0);
  EXPECT_EQ(s.Smoothing2, -3);
  EXPECT_EQ(s.ConsiderFirst, 0);
  EXPECT_EQ(s.Flags, 0b1001u);
}

TEST(DlgKMRSettings, LogPathIsCutTo255UnitsOrNone) {
  TesterSettings withPath;
  withPath.LogFilePath = u"/tmp/old.log";
  {
    CDlgKMRSettings dlg(withPath);
    EXPECT_EQ(Edit(dlg, 1037)->text(), "/tmp/old.log");
    Edit(dlg, 1037)->setText(QString(300, QChar('a')));
    dlg.accept();
    EXPECT_EQ(dlg.Settings().LogFilePath, std::u16string(255, u'a'));
  }
  {
    CDlgKMRSettings dlg(withPath);
    // A character outside the basic plane is never split at the cut.
    Edit(dlg, 1037)->setText(QString(254, QChar('a')) + QString::fromUtf8("\xF0\x9F\x98\x80"));
    dlg.accept();
    EXPECT_EQ(dlg.Settings().LogFilePath, std::u16string(254, u'a'));
  }
  {
    CDlgKMRSettings dlg(withPath);
    Edit(dlg, 1037)->clear();
    dlg.accept();
    EXPECT_TRUE(dlg.Settings().LogFilePath.empty());
  }
}

TEST(DlgKMRSettings, BrowsePutsTheChosenPathAndCancelKeepsTheCopy) {
  TesterSettings start;
  CDlgKMRSettings dlg(start);
  SetSaveFileFunction([](QWidget*, const QString&) { return QString("/tmp/kmr journal.log"); });
  dlg.findChild<QPushButton*>("1038")->click();
  SetSaveFileFunction({});
  EXPECT_EQ(Edit(dlg, 1037)->text(), "/tmp/kmr journal.log");
  Edit(dlg, 1017)->setText("9");
  dlg.findChild<QPushButton*>("2")->click();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  ExpectSameFields(dlg.Settings(), start);
}

}  // namespace
}  // namespace kmr
