// The price cache a sweep reads its file from: for any file, with the ask read or not, the
// cached reader gives what the reader gives, step by step and bit for bit (lines, errors, line
// numbers, the last price and time).
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tester/source/price_cache.h"
#include "tester/source/source_reader.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

int g_file = -1;
std::string g_path;

struct Step {
  int kind = 0;  // 0 a line, 1 the end, 2 an error
  std::int32_t time = 0, lastTickTime = 0;
  double price = 0, ask = 0, lastPrice = 0;
  std::string error;
  long lineNumber = 0;
  bool open = false;
};

bool Same(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

Step Next(kmr::SourceReader& reader) {
  Step step;
  kmr::SourceLine line;
  line.ask = -1;
  try {
    step.kind = reader.ReadLine(line) ? 0 : 1;
    step.time = line.time;
    step.price = line.price;
    step.ask = line.ask;
  } catch (const kmr::SourceError& error) {
    step.kind = 2;
    step.error = error.what();
  }
  step.lineNumber = reader.LineNumber();
  step.lastPrice = reader.LastPrice();
  step.lastTickTime = reader.LastTickTime();
  step.open = reader.IsOpen();
  return step;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Zurich", 1);
  tzset();
  g_file = memfd_create("kmr-fuzz-cache", 0);
  FUZZ_CHECK(g_file >= 0);
  g_path = "/proc/self/fd/" + std::to_string(g_file);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FUZZ_CHECK(ftruncate(g_file, 0) == 0);
  FUZZ_CHECK(pwrite(g_file, data, size, 0) == static_cast<ssize_t>(size));
  for (const bool readAsk : {false, true}) {
    kmr::PriceCaches caches;
    caches.caches.push_back(kmr::PriceCache::Build(g_path, readAsk));
    FUZZ_CHECK(caches.caches.back() != nullptr);
    kmr::SourceReader plain, cached;
    cached.SetCaches(&caches);
    FUZZ_CHECK(plain.Open(g_path) && cached.Open(g_path));
    plain.SetReadAsk(readAsk);
    cached.SetReadAsk(readAsk);
    for (std::size_t steps = 0; steps <= size + 1; ++steps) {
      const Step a = Next(plain), b = Next(cached);
      FUZZ_CHECK(a.kind == b.kind && a.time == b.time && Same(a.price, b.price) &&
                 Same(a.ask, b.ask) && a.error == b.error && a.lineNumber == b.lineNumber &&
                 Same(a.lastPrice, b.lastPrice) && a.lastTickTime == b.lastTickTime &&
                 a.open == b.open);
      if (a.kind == 1) break;
    }
  }
  return 0;
}
