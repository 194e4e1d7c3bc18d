// Any sequence of prices, times, opens and closes through the real broker and the recorder: the
// report's figures stay the broker's own, and no file of the report holds NaN or infinity.
#include <cctype>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tester/broker/broker.h"
#include "tester/report/json_writer.h"
#include "tester/report/run_recorder.h"
#include "tester/report/run_report.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::uint8_t Byte() {
    if (size == 0) return 0;
    --size;
    return *data++;
  }
  bool Empty() const { return size == 0; }
};

// No NaN or infinity printed as a number ("nan", "-nan", "inf"); the context goes to stderr.
bool Clean(const std::string& text, bool isPage = false) {
  for (const char* word : {"nan", "inf"}) {
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) {
      // On the page only a word of its own counts, not part of "information".
      const auto letter = [&](std::size_t i) {
        return i < text.size() && std::isalpha(static_cast<unsigned char>(text[i]));
      };
      if (isPage && ((at > 0 && letter(at - 1)) || letter(at + 3))) continue;
      std::fprintf(stderr, "'%s' in: %s\n", word, text.substr(at < 60 ? 0 : at - 60, 120).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool zone = [] {
    setenv("TZ", "Europe/Zurich", 1);
    tzset();
    return true;
  }();
  (void)zone;
  Input in{data, size};
  kmr::TesterSettings money;
  money.DealSize = 1 + in.Byte() % 4;
  money.TickSize = 0.0001 * (1 + in.Byte() % 3);
  money.TickValue = in.Byte() % 20;
  money.DealComm = in.Byte() % 5;
  money.StopDistance = (in.Byte() % 4) * 0.0010;
  money.LimitDistance = (in.Byte() % 4) * 0.0010;
  const double spread = (in.Byte() % 4) * 0.0001;
  const double account = (in.Byte() % 4) * 500.0;  // 0 too: an account of nothing

  kmr::CKMRBroker broker(nullptr, money);
  kmr::RunRecorder recorder;
  recorder.Attach(&broker);
  std::int32_t time = 946684800 + in.Byte() * 3600;
  double price = 1.1;
  std::int32_t nextId = 1;
  while (!in.Empty()) {
    const std::uint8_t op = in.Byte();
    // Times mostly go forward, sometimes jump days or step back; prices wander.
    time += (op & 0x80) ? 86400 * (1 + in.Byte() % 3) : (op & 0x40) ? -1800 : 1800;
    price += (static_cast<int>(in.Byte()) - 128) * 0.0001;
    recorder.BeginTradeLine(time);
    broker.OnPrice(price, price + spread);
    switch (op % 4) {
      case 0:
        broker.OpenDeal(true, nextId++);
        break;
      case 1:
        broker.OpenDeal(false, nextId++);
        break;
      case 2:
        broker.CloseDeal(1 + in.Byte() % nextId);
        break;
      default:
        break;
    }
    recorder.EndTradeLine();
  }

  const kmr::RunRecording recording = recorder.Recording();
  const kmr::RunStatistics s = kmr::ComputeStatistics(recording, account);
  FUZZ_CHECK(s.netProfit == broker.ClosedProfit());
  FUZZ_CHECK(s.maxDrawdown == broker.MaxDrawdown());
  FUZZ_CHECK(s.trades == broker.LongDeals() + broker.ShortDeals());
  FUZZ_CHECK(s.openTrades == broker.OpenDeals());
  long lines = 0;
  for (const kmr::CurveBucket& b : recording.curve) lines += b.lines;
  FUZZ_CHECK(lines == recording.tradeLines);
  FUZZ_CHECK(recording.curve.size() <= kmr::kCurveBuckets);
  for (const kmr::EquityPoint& p : recording.equity) FUZZ_CHECK(p.drawdown <= s.maxDrawdown);

  kmr::JsonObject json;
  kmr::AddStatisticsJson(json, s);
  FUZZ_CHECK(Clean(json.Finish()));
  kmr::RunReport report{"/prices.txt", "kmr-replay", {}, recording, s, {}, {}};
  FUZZ_CHECK(Clean(kmr::RunReportJson(report)));
  FUZZ_CHECK(Clean(kmr::TradesCsv(recording)));
  FUZZ_CHECK(Clean(kmr::EquityCsv(recording)));
  const std::string html = kmr::RunReportHtml(report);
  FUZZ_CHECK(Clean(html, true));
  recorder.Attach(nullptr);
  return 0;
}
