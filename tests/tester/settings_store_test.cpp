#include "tester/settings/settings_store.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "common/chart_spec.h"
#include "tester/settings/local_time.h"
#include "tests/tester/test_support.h"

namespace kmr::test {
namespace {

// A stored value built byte by byte at the offsets of its layout.
class Value {
 public:
  explicit Value(std::size_t size) : bytes(size, 0) {}
  void F64(std::size_t at, double v) { std::memcpy(&bytes.at(at + 7) - 7, &v, 8); }
  void I32(std::size_t at, std::int32_t v) { std::memcpy(&bytes.at(at + 3) - 3, &v, 4); }
  void Text(std::size_t at, const std::u16string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      bytes.at(at + 2 * i) = static_cast<std::uint8_t>(text[i]);
      bytes.at(at + 2 * i + 1) = static_cast<std::uint8_t>(text[i] >> 8);
    }
  }
  std::vector<std::uint8_t> bytes;
};

struct Offsets {
  int layout;
  std::size_t floats, delay1, dca, std, minDeals, smoothing2, delay2, charts;
  int considerFirst, historyTill, flags;  // -1 = not in the layout
  std::size_t text;
};
constexpr std::size_t kNo = 0;
const Offsets kOffsets[] = {
    {0, 8, 64, 68, kNo, kNo, 72, 76, 80, -1, -1, -1, 144},
    {1, 8, 64, 68, 72, kNo, 76, 80, 84, -1, -1, -1, 148},
    {2, 8, 64, 68, 72, 76, 80, 84, 88, -1, -1, -1, 152},
    {3, 16, 72, 76, 80, 84, 88, 92, 96, -1, 160, -1, 164},
    {4, 16, 72, 76, 80, 84, 88, 92, 96, -1, 160, 164, 168},
    {5, 24, 80, 84, 88, 92, 96, 100, 104, -1, 168, 172, 176},
    {6, 24, 80, 84, 88, 92, 96, 100, 104, 168, 172, 176, 180},
};

const std::u16string kLog = u"/tmp/kmr journal.log \\2";
const std::u16string kSource = u"/data/prices \u00e4.txt";

Value Build(const Offsets& o) {
  const bool counted = o.layout >= 3;
  Value v(o.text + 2 * kLog.size() + (counted ? 8 + 2 * kSource.size() : 0));
  v.F64(0, 0.5);
  if (o.layout >= 3) v.F64(8, 0.75);
  if (o.layout >= 5) v.F64(16, 1.25);
  const double floats[7] = {0.3, 250, 0.0001, 7, 2.5, 1.5, 10};
  for (int i = 0; i < 7; ++i) v.F64(o.floats + 8 * i, floats[i]);
  v.I32(o.delay1, 11);
  v.I32(o.dca, 120);
  if (o.std != kNo) v.I32(o.std, 60);
  if (o.minDeals != kNo) v.I32(o.minDeals, 3);
  v.I32(o.smoothing2, 9);
  v.I32(o.delay2, 33);
  for (int i = 0; i < 8; ++i) {
    v.I32(o.charts + 8 * i, 1000 + i);
    v.I32(o.charts + 8 * i + 4, 50 + i);
  }
  if (o.considerFirst >= 0) v.I32(o.considerFirst, 4);
  if (o.historyTill >= 0) v.I32(o.historyTill, 900000000);
  if (o.flags >= 0) v.I32(o.flags, 5);
  if (counted) {
    v.I32(o.text, static_cast<std::int32_t>(kLog.size()));
    v.Text(o.text + 4, kLog);
    v.I32(o.text + 4 + 2 * kLog.size(), static_cast<std::int32_t>(kSource.size()));
    v.Text(o.text + 8 + 2 * kLog.size(), kSource);
  } else {
    v.Text(o.text, kLog);
  }
  return v;
}

class SettingsStoreTest : public TesterTest {};

TEST_F(SettingsStoreTest, ReadsEveryLayoutAtItsOffsets) {
  for (const Offsets& o : kOffsets) {
    SCOPED_TRACE("layout " + std::to_string(o.layout));
    std::filesystem::remove_all(SettingsFolder());
    WriteBytes(SettingsFile(o.layout), Build(o).bytes);
    SettingsRecord record;
    const LoadResult loaded = LoadSettings(record);
    ASSERT_TRUE(loaded.loaded) << loaded.note;
    EXPECT_EQ(loaded.layout, o.layout);
    const TesterSettings& s = record.settings;
    const TesterSettings defaults;
    EXPECT_EQ(s.Spread, 0.5);
    EXPECT_EQ(s.StopDistance, o.layout >= 3 ? 0.75 : 0.0);
    EXPECT_EQ(s.LimitDistance, o.layout >= 5 ? 1.25 : 0.0);
    EXPECT_EQ(s.DealSize, 0.3);
    EXPECT_EQ(s.CadProfit, 250);
    EXPECT_EQ(s.TickSize, 0.0001);
    EXPECT_EQ(s.MaxNetPos, 7);
    EXPECT_EQ(s.DealComm, 2.5);
    EXPECT_EQ(s.ReversalDev, 1.5);
    EXPECT_EQ(s.TickValue, 10);
    EXPECT_EQ(s.ProcessingDelay, 33);  // the later copy
    EXPECT_EQ(s.DcaInterval, 120);
    EXPECT_EQ(s.StdInterval, o.std != kNo ? 60 : defaults.StdInterval);
    EXPECT_EQ(s.StdMinDeals, o.minDeals != kNo ? 3 : defaults.StdMinDeals);
    EXPECT_EQ(s.Smoothing1, 20);
    EXPECT_EQ(s.Smoothing2, 9);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(s.TrendCharts[i], 1000u + i);
      EXPECT_EQ(s.EntryCharts[i], 50u + i);
    }
    EXPECT_EQ(s.ConsiderFirst, o.considerFirst >= 0 ? 4 : 5);
    EXPECT_EQ(record.HistoryTill, o.historyTill >= 0 ? 900000000 : 0);
    EXPECT_EQ(s.Flags, o.flags >= 0 ? 5u : 0u);
    EXPECT_EQ(s.LogFilePath, kLog);
    EXPECT_EQ(record.SourcePath, o.layout >= 3 ? kSource : u"");
  }
}

TEST_F(SettingsStoreTest, OldLayoutsTurnNegativeChartWordsIntoFlagForm) {
  Value v = Build(kOffsets[2]);
  v.I32(88 + 2 * 8, -400);  // trend chart 3
  v.I32(88 + 8 + 4, -40);   // entry chart 2
  WriteBytes(SettingsFile(2), v.bytes);
  SettingsRecord record;
  ASSERT_TRUE(LoadSettings(record).loaded);
  EXPECT_EQ(record.settings.TrendCharts[2], 400u | kTrendNoHedge);
  EXPECT_EQ(record.settings.EntryCharts[1], 40u | (1u << 24));

  // From layout 3 on the words are taken as they are.
  Value v3 = Build(kOffsets[3]);
  v3.I32(96 + 2 * 8, -400);
  WriteBytes(SettingsFile(3), v3.bytes);
  std::filesystem::remove(SettingsFile(2));
  SettingsRecord newer;
  ASSERT_TRUE(LoadSettings(newer).loaded);
  EXPECT_EQ(newer.settings.TrendCharts[2], static_cast<std::uint32_t>(-400));
}

TEST_F(SettingsStoreTest, OldTextPartIsTheRestOfTheValueRoundedDown) {
  Value v = Build(kOffsets[1]);
  v.bytes.push_back('x');  // an odd byte at the end is no code unit
  WriteBytes(SettingsFile(1), v.bytes);
  SettingsRecord record;
  ASSERT_TRUE(LoadSettings(record).loaded);
  EXPECT_EQ(record.settings.LogFilePath, kLog);

  v.bytes.resize(148);  // nothing after the charts: no log path
  WriteBytes(SettingsFile(1), v.bytes);
  SettingsRecord bare;
  bare.settings.LogFilePath = u"old";
  ASSERT_TRUE(LoadSettings(bare).loaded);
  EXPECT_EQ(bare.settings.LogFilePath, u"");
}

TEST_F(SettingsStoreTest, Layout4LeavesLimitDistanceAndConsiderFirst) {
  WriteBytes(SettingsFile(4), Build(kOffsets[4]).bytes);
  SettingsRecord record;
  ASSERT_TRUE(LoadSettings(record).loaded);
  EXPECT_EQ(record.settings.LimitDistance, 0.0);
  EXPECT_EQ(record.settings.ConsiderFirst, 5);
  EXPECT_EQ(record.settings.Flags, 5u);
}

TEST_F(SettingsStoreTest, NewestLayoutWins) {
  WriteBytes(SettingsFile(2), Build(kOffsets[2]).bytes);
  Value v5 = Build(kOffsets[5]);
  v5.F64(0, 9.0);
  WriteBytes(SettingsFile(5), v5.bytes);
  SettingsRecord record;
  const LoadResult loaded = LoadSettings(record);
  EXPECT_EQ(loaded.layout, 5);
  EXPECT_EQ(record.settings.Spread, 9.0);
}

TEST_F(SettingsStoreTest, DamagedValuesAreIgnoredWhole) {
  struct Case {
    const char* what;
    int layout;
    std::vector<std::uint8_t> bytes;
  };
  std::vector<Case> cases;
  for (const Offsets& o : kOffsets) {
    std::vector<std::uint8_t> cut(o.text + (o.layout >= 3 ? 8 : 0) - 1, 0x11);
    cases.push_back({"one byte short of the fixed part", o.layout, cut});
  }
  Value longLog = Build(kOffsets[6]);
  longLog.I32(180, 1000);
  cases.push_back({"log length past the end", 6, longLog.bytes});
  Value longSource = Build(kOffsets[6]);
  longSource.I32(184 + 2 * kLog.size(), static_cast<std::int32_t>(kSource.size() + 1));
  cases.push_back({"source length past the end", 6, longSource.bytes});
  Value negative = Build(kOffsets[3]);
  negative.I32(164, -3);
  cases.push_back({"negative log length", 3, negative.bytes});
  Value huge = Build(kOffsets[5]);
  huge.I32(176, 0x7FFFFFFF);
  cases.push_back({"length that overflows the offset", 5, huge.bytes});

  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + ", layout " + std::to_string(c.layout));
    std::filesystem::remove_all(SettingsFolder());
    WriteBytes(SettingsFile(c.layout), c.bytes);
    SettingsRecord record;
    const LoadResult loaded = LoadSettings(record);
    EXPECT_EQ(loaded.layout, c.layout);
    EXPECT_FALSE(loaded.loaded);
    EXPECT_FALSE(loaded.note.empty());
    const TesterSettings defaults;
    EXPECT_EQ(record.settings.Spread, defaults.Spread);
    EXPECT_EQ(record.settings.DealSize, defaults.DealSize);
    EXPECT_EQ(record.settings.TrendCharts[0], defaults.TrendCharts[0]);
    EXPECT_EQ(record.settings.LogFilePath, u"");
    EXPECT_EQ(record.HistoryTill, 0);
    EXPECT_EQ(record.SourcePath, u"");
  }
}

TEST_F(SettingsStoreTest, NothingStoredKeepsTheDefaults) {
  SettingsRecord record;
  const LoadResult loaded = LoadSettings(record);
  EXPECT_EQ(loaded.layout, -1);
  EXPECT_FALSE(loaded.loaded);
  EXPECT_EQ(record.settings.DealSize, 0.2);
  EXPECT_EQ(record.settings.EntryCharts[2], 120u);
}

TEST_F(SettingsStoreTest, Layout6IsWrittenByteExactAndReadBack) {
  SettingsRecord record;
  TesterSettings& s = record.settings;
  s.Spread = 0.5;
  s.StopDistance = 0.75;
  s.LimitDistance = 1.25;
  s.DealSize = 0.3;
  s.CadProfit = 250;
  s.TickSize = 0.0001;
  s.MaxNetPos = 7;
  s.DealComm = 2.5;
  s.ReversalDev = 1.5;
  s.TickValue = 10;
  s.ProcessingDelay = 33;
  s.DcaInterval = 120;
  s.StdInterval = 60;
  s.StdMinDeals = 3;
  s.Smoothing2 = 9;
  for (int i = 0; i < 8; ++i) s.TrendCharts[i] = 1000 + i, s.EntryCharts[i] = 50 + i;
  s.ConsiderFirst = 4;
  s.Flags = 5;
  s.LogFilePath = kLog;
  record.HistoryTill = 900000000;
  record.SourcePath = kSource;

  Value expected = Build(kOffsets[6]);
  expected.I32(80, 33);  // both delay copies hold the delay
  const SaveResult saved = SaveSettings(record);
  ASSERT_TRUE(saved.saved) << saved.error;
  const std::vector<std::uint8_t> stored = ReadBytes(SettingsFile(6));
  EXPECT_EQ(stored.size(), 188 + 2 * kLog.size() + 2 * kSource.size());
  EXPECT_EQ(stored, expected.bytes);

  s.Smoothing1 = 77;  // never stored
  SettingsRecord loaded;
  ASSERT_TRUE(LoadSettings(loaded).loaded);
  EXPECT_EQ(loaded.settings.Smoothing1, 20);
  EXPECT_EQ(EncodeSettingsV6(loaded), stored);
}

TEST_F(SettingsStoreTest, NoLogPathPutsTheSourceLengthAt184) {
  SettingsRecord record;
  record.SourcePath = u"p.txt";
  ASSERT_TRUE(SaveSettings(record).saved);
  const std::vector<std::uint8_t> stored = ReadBytes(SettingsFile(6));
  ASSERT_EQ(stored.size(), 188u + 10u);
  EXPECT_EQ(stored[180], 0);
  EXPECT_EQ(stored[184], 5);
  EXPECT_EQ(stored[188], 'p');
}

TEST_F(SettingsStoreTest, SavingLeavesOlderValuesAndNoTemporaryFiles) {
  WriteBytes(SettingsFile(2), Build(kOffsets[2]).bytes);
  ASSERT_TRUE(SaveSettings(SettingsRecord{}).saved);
  ASSERT_TRUE(SaveSettings(SettingsRecord{}).saved);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(SettingsFolder()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"KMRTesterSettings_V2", "KMRTesterSettings_V6"}));
}

TEST_F(SettingsStoreTest, FolderFallsBackToHomeConfig) {
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(SettingsFolder(), dir_ + "/.config/Vantrel/KMRTester");
  ASSERT_TRUE(SaveSettings(SettingsRecord{}).saved);
  EXPECT_TRUE(std::filesystem::exists(dir_ + "/.config/Vantrel/KMRTester/KMRTesterSettings_V6"));
}

TEST_F(SettingsStoreTest, UncreatableFolderReportsTheFailure) {
  // A plain file where a folder should be: no folder can be made there (even for root).
  const std::string blocker = WriteFile("blocker", "x");
  setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  const SaveResult saved = SaveSettings(SettingsRecord{});
  EXPECT_FALSE(saved.saved);
  EXPECT_FALSE(saved.error.empty());
  SettingsRecord record;
  EXPECT_EQ(LoadSettings(record).layout, -1);
}

TEST(HistoryTillTest, FieldsAreRangeChecked) {
  const std::int32_t valid = HistoryTillFromFields({2023, 8, 23, 12, 34, 56});
  EXPECT_EQ(valid, LocalTime(2023, 8, 23, 12, 34, 56));
  const LocalDateTime bad[] = {{1969, 12, 31, 23, 0, 0}, {2023, 0, 1, 0, 0, 0},
                               {2023, 13, 1, 0, 0, 0},   {2023, 1, 0, 0, 0, 0},
                               {2023, 1, 32, 0, 0, 0},   {2023, 1, 1, 24, 0, 0},
                               {2023, 1, 1, 0, 60, 0},   {2023, 1, 1, 0, 0, 60},
                               {2038, 1, 19, 4, 14, 8},  {2100, 1, 1, 0, 0, 0}};
  for (const LocalDateTime& fields : bad)
    EXPECT_THROW(HistoryTillFromFields(fields), SettingsError)
        << fields.year << "-" << fields.month << "-" << fields.day << " " << fields.hour << ":"
        << fields.minute << ":" << fields.second;
  // The last second that fits: 2038-01-19 03:14:07 UTC is 04:14:07 in Zurich.
  EXPECT_EQ(HistoryTillFromFields({2038, 1, 19, 4, 14, 7}), 0x7FFFFFFF);
}

}  // namespace
}  // namespace kmr::test
