// The price cache gives exactly what the reader gives: every line, error, line number and last
// price, bit for bit, over the fixture files and random lines, with the ask read or not.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tester/source/price_cache.h"
#include "tester/source/source_reader.h"
#include "tests/convert/run_program.h"

namespace kmr {
namespace {

struct Step {
  int kind = 0;  // 0 a line, 1 the end, 2 an error
  std::int32_t time = 0;
  std::uint64_t price = 0, ask = 0, lastPrice = 0;
  std::string error;
  long lineNumber = 0;
  std::int32_t lastTickTime = 0;
  bool open = false;
  bool operator==(const Step&) const = default;
};

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

Step Next(SourceReader& reader) {
  Step step;
  SourceLine line;
  line.ask = -1;  // left alone without the ask, by both
  try {
    step.kind = reader.ReadLine(line) ? 0 : 1;
    step.time = line.time;
    step.price = Bits(line.price);
    step.ask = Bits(line.ask);
  } catch (const SourceError& error) {
    step.kind = 2;
    step.error = error.what();
  }
  step.lineNumber = reader.LineNumber();
  step.lastPrice = Bits(reader.LastPrice());
  step.lastTickTime = reader.LastTickTime();
  step.open = reader.IsOpen();
  return step;
}

// Reads `path` with and without the cache, step by step; returns how many steps agreed.
long CompareWithReader(const std::string& path, bool readAsk) {
  PriceCaches caches;
  caches.caches.push_back(PriceCache::Build(path, readAsk));
  EXPECT_NE(caches.caches.back(), nullptr) << path;
  if (caches.caches.back() == nullptr) return 0;
  SourceReader plain, cached;
  cached.SetCaches(&caches);
  EXPECT_TRUE(plain.Open(path));
  EXPECT_TRUE(cached.Open(path));
  plain.SetReadAsk(readAsk);  // after opening, as the processing loop sets it
  cached.SetReadAsk(readAsk);
  long steps = 0;
  for (;; ++steps) {
    const Step a = Next(plain), b = Next(cached);
    EXPECT_EQ(a, b) << path << " step " << steps << ": " << a.error << " / " << b.error;
    if (!(a == b) || a.kind == 1) break;
  }
  // Read to the end, then again from the start: the same once more.
  EXPECT_TRUE(cached.Open(path));
  cached.SetReadAsk(readAsk);
  EXPECT_EQ(Next(cached).lineNumber, plain.Open(path) ? 1 : 0);
  return steps;
}

std::uint64_t g_state = 12345;
std::uint64_t Draw(std::uint64_t bound) {
  g_state = g_state * 6364136223846793005ull + 1442695040888963407ull;
  return (g_state >> 33) % bound;
}

// A line that is often valid, else broken in one of the ways a real file is.
std::string RandomLine() {
  char text[96];
  std::snprintf(text, sizeof text, "%04d%02d%02d %02d%02d%02d;%d.%04d",
                static_cast<int>(1995 + Draw(8)), static_cast<int>(1 + Draw(12)),
                static_cast<int>(1 + Draw(31)), static_cast<int>(Draw(24)),
                static_cast<int>(Draw(60)), static_cast<int>(Draw(60)), static_cast<int>(Draw(3)),
                static_cast<int>(Draw(10000)));
  std::string line = text;
  switch (Draw(14)) {
    case 0: line = line.substr(0, Draw(14)); break;                         // short
    case 1: line[Draw(15)] = static_cast<char>('A' + Draw(26)); break;       // bad digit
    case 2: line.replace(4, 2, "13"); break;                                // month 13
    case 3: line += ";" + std::to_string(Draw(3)) + ".5"; break;           // with an ask
    case 4: line += ";ask"; break;                                          // a bad ask
    case 5: line += "\r"; break;
    case 6: line = line.substr(0, 16) + "abc"; break;                      // a bad price
    case 7: line += ";"; break;
    case 8: line[Draw(line.size())] = static_cast<char>(0x80 + Draw(128)); break;
    case 9: line.replace(9, 2, "25"); break;                                // hour 25
    default: line += ";" + std::to_string(Draw(2)) + "." + std::to_string(Draw(9999)); break;
  }
  return line;
}

class PriceCacheTest : public test::FolderTest {};

TEST_F(PriceCacheTest, GivesWhatTheReaderGivesForTheFixtures) {
  std::vector<std::string> files = {KMR_SAMPLE_DATA};
  for (const char* folder : {"", "/dialogs", "/convert"})
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(KMR_TEST_DATA) + folder))
      if (entry.is_regular_file()) files.push_back(entry.path().string());
  long steps = 0;
  for (const std::string& file : files)
    for (bool ask : {false, true}) steps += CompareWithReader(file, ask);
  EXPECT_GT(steps, 2 * 62496);
}

TEST_F(PriceCacheTest, GivesWhatTheReaderGivesForRandomLines) {
  for (int file = 0; file < 40; ++file) {
    std::string text;
    const int lines = static_cast<int>(Draw(300));
    for (int i = 0; i < lines; ++i) text += RandomLine() + (Draw(20) == 0 ? "\r\n" : "\n");
    if (Draw(3) == 0 && !text.empty()) text.pop_back();  // no line feed at the end
    const std::string path = WriteFile("random" + std::to_string(file) + ".txt", text);
    for (bool ask : {false, true}) CompareWithReader(path, ask);
  }
  EXPECT_EQ(PriceCache::Build(Path("missing.txt"), false), nullptr);
  EXPECT_EQ(PriceCache::Build(dir_, false), nullptr);  // a folder
}

}  // namespace
}  // namespace kmr
