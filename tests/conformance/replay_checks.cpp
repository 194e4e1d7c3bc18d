#include "tests/conformance/replay_checks.h"

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/conformance/checks.h"

namespace {

constexpr double kTickSize = 0.0001;
constexpr double kSpread = 0.0002;
constexpr double kDealSize = 0.2;
constexpr std::size_t kHistoryLines = 20000;

struct PriceLine {
  std::int32_t time;
  double price;
};

// Days since 1970-01-01 of a proleptic Gregorian date; the file's times are taken as UTC so
// that the run does not depend on the machine's time zone.
std::int64_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return static_cast<std::int64_t>(era) * 146097 + doe - 719468;
}

std::vector<PriceLine> ReadPrices(const std::string& path) {
  std::vector<PriceLine> lines;
  std::FILE* f = std::fopen(path.c_str(), "r");
  CHECK(f != nullptr, "the price file opens");
  if (f == nullptr) return lines;
  char text[128];
  while (std::fgets(text, sizeof text, f)) {
    int y, mo, d, h, mi, s;
    double price;
    if (std::sscanf(text, "%4d%2d%2d %2d%2d%2d;%lf", &y, &mo, &d, &h, &mi, &s, &price) != 7)
      continue;
    const std::int64_t t = DaysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    lines.push_back({static_cast<std::int32_t>(t), price});
  }
  std::fclose(f);
  return lines;
}

struct HostDeal {
  std::uint32_t id;
  bool isLong;
  std::uint32_t ticket = 0;  // 0 until the broker gave one
  double filled = 0;
  bool closeSent = false;
};

// The broker and book of a host that carries every command out at once.
class Host {
 public:
  Host(const EngineApi& api, const std::string& journalPath, std::FILE* commandLog)
      : api_(api), journalPath_(journalPath), commandLog_(commandLog) {}

  void Tick(double bid, double ask, std::int32_t time) {
    bid_ = bid;
    ask_ = ask;
    const int result = api_.ProcessNewTick(bid, ask, time, 0);
    CHECK(result == 0 || result == 1, "ProcessNewTick returns 0 or 1");
    if (result != 0) {
      ++activeTicks_;
      Serve();
    } else {
      // A tick that returns 0 leaves no command waiting.
      std::vector<std::uint64_t> waiting = Drain();
      CHECK(waiting.empty(), "no command waits after a tick that returned 0");
      CarryOut(waiting);
    }
  }

  void ExternalSignal(int chart, bool up) {
    api_.TriggerExternalSignal(0, chart, up ? 1 : 0);
    Serve();
  }

  void Finish() { ReadJournal(); }

  long opens() const { return opens_; }
  long closes() const { return closes_; }
  long commands() const { return commandCount_; }
  long activeTicks() const { return activeTicks_; }
  std::uint64_t hash() const { return hash_; }

 private:
  std::vector<std::uint64_t> Drain() {
    std::vector<std::uint64_t> words;
    while (true) {
      const long long word = api_.GetNextCommand();
      if (word == 0) break;
      words.push_back(static_cast<std::uint64_t>(word));
      CHECK(words.size() <= 255, "the queue holds at most 255 commands");
      if (words.size() > 255) break;
    }
    return words;
  }

  void Serve() { CarryOut(Drain()); }

  void Record(std::uint64_t word) {
    ++commandCount_;
    for (int i = 0; i < 8; ++i) {
      hash_ ^= (word >> (8 * i)) & 0xFF;
      hash_ *= 1099511628211ull;
    }
    std::fprintf(commandLog_, "%010" PRIx64 "\n", word);
  }

  // All commands of one call are taken first: the engine has already moved its net position
  // for every open it queued, so the model does the same before any report comes back.
  void CarryOut(const std::vector<std::uint64_t>& words) {
    std::vector<std::uint32_t> newIds;
    std::vector<std::uint32_t> closeTickets;
    for (std::uint64_t word : words) {
      Record(word);
      CHECK((word >> 40) == 0, "bits 40..63 of a command are zero");
      const unsigned code = static_cast<unsigned>(word >> 32) & 0xFF;
      const auto operand = static_cast<std::uint32_t>(word);
      if (code == 0x11 || code == 0x22) {
        CHECK(book_.count(operand) == 0, "an open names a new deal id");
        CHECK(operand >= 1 && operand <= 32766, "deal ids lie in 1..32766");
        book_[operand] = HostDeal{operand, code == 0x11};
        net_ += code == 0x11 ? kDealSize : -kDealSize;
        newIds.push_back(operand);
        ++opens_;
      } else if (code == 0xCC) {
        HostDeal* deal = ByTicket(operand);
        CHECK(deal != nullptr, "a close names a ticket the book holds");
        if (deal == nullptr) continue;
        CHECK(!deal->closeSent, "no second close for one ticket");
        deal->closeSent = true;
        closeTickets.push_back(operand);
        ++closes_;
      } else {
        CHECK(false, "a command carries a known code");
      }
    }
    for (std::uint32_t id : newIds) Fill(id);
    for (std::uint32_t ticket : closeTickets) CloseAtBroker(ticket);
  }

  HostDeal* ByTicket(std::uint32_t ticket) {
    for (auto& [id, deal] : book_)
      if (deal.ticket == ticket) return &deal;
    return nullptr;
  }

  // Most opens fill at once; now and then one fills in two parts, is rejected before any fill
  // or after a partial one.
  void Fill(std::uint32_t id) {
    HostDeal& deal = book_[id];
    const double price = deal.isLong ? ask_ : bid_;
    ++fillCounter_;
    if (fillCounter_ % 23 == 0) {
      Forget(id, 0);
      api_.OrderRejected(static_cast<int>(id));
      return;
    }
    deal.ticket = nextTicket_++;
    api_.OrderSetTicket(id, deal.ticket);
    if (fillCounter_ % 97 == 0) {
      FillPart(deal, kDealSize / 2, price);
      --filledCount_;  // a rejected deal no longer counts as filled
      Forget(id, kDealSize / 2);
      api_.OrderRejected(static_cast<int>(id));
      return;
    }
    if (fillCounter_ % 11 == 0) {
      FillPart(deal, kDealSize / 2, price);
      FillPart(deal, kDealSize / 2, price + (deal.isLong ? 1 : -1) * kTickSize);
    } else {
      FillPart(deal, kDealSize, price);
    }
  }

  // The model takes the state after the report first, so that the journal's deal line can be
  // compared with it right away.
  void FillPart(HostDeal& deal, double volume, double price) {
    if (deal.filled == 0) ++filledCount_;
    deal.filled += volume;
    Report(api_.OrderFilled(deal.ticket, volume, price));
    ReadJournal();
  }

  void Forget(std::uint32_t id, double filled) {
    const HostDeal deal = book_[id];
    net_ -= deal.isLong ? filled : -filled;
    book_.erase(id);
  }

  void CloseAtBroker(std::uint32_t ticket) {
    HostDeal* deal = ByTicket(ticket);
    if (deal == nullptr) return;
    const double volume = deal->filled;
    const std::uint32_t id = deal->id;
    net_ -= deal->isLong ? volume : -volume;
    if (volume > 0) --filledCount_;
    Report(api_.OpenDealClosed(ticket, volume, deal->isLong ? bid_ : ask_));
    book_.erase(id);
    ReadJournal();
  }

  void Report(int result) { CHECK(result == 0, "a host report returns 0"); }

  // Reads what the journal gained and checks every deal line against the host's book.
  void ReadJournal() {
    if (journal_ == nullptr) journal_ = std::fopen(journalPath_.c_str(), "rb");
    if (journal_ == nullptr) return;
    char buffer[8192];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, journal_)) > 0) pending_.append(buffer, n);
    std::clearerr(journal_);
    std::size_t start = 0;
    std::size_t end;
    while ((end = pending_.find("\r\n", start)) != std::string::npos) {
      CheckLine(pending_.substr(start, end - start));
      start = end + 2;
    }
    pending_.erase(0, start);
  }

  void CheckLine(const std::string& line) {
    const std::size_t at = line.find(" ## ");
    if (at == std::string::npos) return;
    char what[16], kind[16], side[8];
    int id, filled;
    double price, volume, net, floating, closed;
    const int fields =
        std::sscanf(line.c_str() + at, " ## %15s %15s %d %7s %lf %lf %d %lf %lf %lf", what, kind,
                    &id, side, &price, &volume, &filled, &net, &floating, &closed);
    CHECK(fields == 10, "a deal line has its ten fields");
    if (fields != 10) return;
    CHECK(std::fabs(net - net_) < 5e-5, "netPosition is what the book implies");
    CHECK(filled == filledCount_, "filledDealCount follows the fills");
    CHECK(std::isfinite(floating) && std::isfinite(closed) && std::isfinite(price),
          "profits are finite");
    if (std::fabs(net - net_) >= 5e-5) std::printf("  line: %s (book %.4f)\n", line.c_str(), net_);
  }

  const EngineApi& api_;
  std::string journalPath_;
  std::FILE* commandLog_;
  std::FILE* journal_ = nullptr;
  std::string pending_;
  std::map<std::uint32_t, HostDeal> book_;
  double bid_ = 0, ask_ = 0, net_ = 0;
  std::uint32_t nextTicket_ = 70001;
  long fillCounter_ = 0, opens_ = 0, closes_ = 0, commandCount_ = 0, activeTicks_ = 0;
  int filledCount_ = 0;
  std::uint64_t hash_ = 14695981039346656037ull;
};

}  // namespace

void RunReplayChecks(const EngineApi& api, const std::string& priceFile,
                     const std::string& outputDir) {
  const std::vector<PriceLine> prices = ReadPrices(priceFile);
  CHECK(prices.size() > kHistoryLines, "the price file has history and live lines");
  const std::string journalPath = outputDir + "/journal.log";
  std::FILE* commandLog = std::fopen((outputDir + "/commands.txt").c_str(), "w");
  CHECK(commandLog != nullptr, "the command stream file opens");
  if (commandLog == nullptr || prices.size() <= kHistoryLines) return;

  // Chart sizes scaled to this instrument's moves, with letters that exercise hedging, trend
  // opens, close-only charts and an entry chart that closes only its own deals.
  const int noHedge = 1 << 24, closeOnly = 1 << 25, openTrade = 1 << 26;
  const int openOrCloseOwn = 1 << 24, openOnly = 1 << 25;
  api.InitializeKMR(kTickSize, 20, 8, 2.0, 200, noHedge | openTrade | 100, noHedge | closeOnly | 50,
                    noHedge | 25, noHedge | 12, 0, 0, 0, 3, 20, openOrCloseOwn | 40, openOnly | 60,
                    0, 0, 0, 0, 0);
  api.SetKMRPriceParameters(kDealSize, 1, 1.5, 100, 100, 50, 0, 5, 0x5);
  api.SetLogFilePath(Utf16(journalPath + " \\3").c_str());

  for (std::size_t i = 0; i < kHistoryLines; ++i)
    CHECK(api.ProcessHistoryTick(prices[i].price, prices[i].time, 0) == 1, "history tick");
  api.ProcessHistoryDataFinished();

  Host host(api, journalPath, commandLog);
  for (std::size_t i = kHistoryLines; i < prices.size(); ++i) {
    host.Tick(prices[i].price, prices[i].price + kSpread, prices[i].time);
    if (i % 997 == 0) host.ExternalSignal(1 + static_cast<int>(i % 3), (i / 997) % 2 == 0);
  }
  host.Finish();
  api.DeinitializeKMR();
  std::fprintf(commandLog, "count %ld hash %016" PRIx64 "\n", host.commands(), host.hash());
  std::fclose(commandLog);

  std::printf("replay: %zu live ticks, %ld commands (%ld opens, %ld closes), hash %016" PRIx64 "\n",
              prices.size() - kHistoryLines, host.commands(), host.opens(), host.closes(),
              host.hash());
  if (host.activeTicks() == 0) {
    std::printf("replay: no tick reported chart activity; the deal count is not checked\n");
  } else {
    CHECK(host.opens() >= 20 && host.closes() >= 10, "a real number of deals happens");
  }
}
