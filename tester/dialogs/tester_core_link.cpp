// The window's own tester core: engine binding, price file reader, simulated broker, processing
// loop and the stored settings record, kept behind TesterCoreLink so that the window does not
// depend on how the core is cut into pieces.
#include "tester/dialogs/tester_core_link.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "common/command.h"
#include "common/kmr_exports.h"

namespace kmr {

namespace {

// ---- engine binding --------------------------------------------------------------------------

struct Engine {
  void* module = nullptr;
  decltype(&::InitializeKMR) InitializeKMR = nullptr;
  decltype(&::SetKMRPriceParameters) SetKMRPriceParameters = nullptr;
  decltype(&::SetLogFilePath) SetLogFilePath = nullptr;
  decltype(&::DeinitializeKMR) DeinitializeKMR = nullptr;
  decltype(&::ProcessNewTick) ProcessNewTick = nullptr;
  decltype(&::ProcessHistoryM1) ProcessHistoryM1 = nullptr;
  decltype(&::ProcessHistoryTick) ProcessHistoryTick = nullptr;
  decltype(&::ProcessHistoryDataFinished) ProcessHistoryDataFinished = nullptr;
  decltype(&::GetNextCommand) GetNextCommand = nullptr;
  decltype(&::OrderFilled) OrderFilled = nullptr;
  decltype(&::OpenDealClosed) OpenDealClosed = nullptr;
  decltype(&::OrderSetTicket) OrderSetTicket = nullptr;
  decltype(&::OrderClosed) OrderClosed = nullptr;
  decltype(&::OrderRejected) OrderRejected = nullptr;
};

std::string OwnFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  path[n] = 0;
  return std::filesystem::path(path).parent_path().string();
}

template <typename F>
bool Look(void* module, const char* name, F& into) {
  into = reinterpret_cast<F>(dlsym(module, name));
  return into != nullptr;
}

bool BindEngine(Engine& e, const std::string& libraryPath) {
  if (!libraryPath.empty()) {
    e.module = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  } else {
    const std::string own = OwnFolder() + "/KMRLibrary.so";
    e.module = dlopen(own.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!e.module) e.module = dlopen("KMRLibrary.so", RTLD_NOW | RTLD_LOCAL);
  }
  if (!e.module) return false;
  bool all = true;
  all &= Look(e.module, "InitializeKMR", e.InitializeKMR);
  all &= Look(e.module, "SetKMRPriceParameters", e.SetKMRPriceParameters);
  all &= Look(e.module, "SetLogFilePath", e.SetLogFilePath);
  all &= Look(e.module, "DeinitializeKMR", e.DeinitializeKMR);
  all &= Look(e.module, "ProcessNewTick", e.ProcessNewTick);
  all &= Look(e.module, "ProcessHistoryM1", e.ProcessHistoryM1);
  all &= Look(e.module, "ProcessHistoryTick", e.ProcessHistoryTick);
  all &= Look(e.module, "ProcessHistoryDataFinished", e.ProcessHistoryDataFinished);
  all &= Look(e.module, "GetNextCommand", e.GetNextCommand);
  all &= Look(e.module, "OrderFilled", e.OrderFilled);
  all &= Look(e.module, "OpenDealClosed", e.OpenDealClosed);
  all &= Look(e.module, "OrderSetTicket", e.OrderSetTicket);
  all &= Look(e.module, "OrderClosed", e.OrderClosed);
  all &= Look(e.module, "OrderRejected", e.OrderRejected);
  return all;
}

// ---- local times -----------------------------------------------------------------------------

// Local calendar time to the 32-bit line time; false when out of range or not convertible.
bool LocalToTime(int year, int month, int day, int hour, int minute, int second,
                 std::int32_t& time) {
  if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 || hour > 23 ||
      minute < 0 || minute > 59 || second < 0 || second > 59)
    return false;
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  parts.tm_wday = -1;
  const std::time_t t = std::mktime(&parts);
  if (parts.tm_wday < 0 || t < INT32_MIN || t > INT32_MAX) return false;
  time = static_cast<std::int32_t>(t);
  return true;
}

std::string FormatLocal(std::int32_t time, const char* format) {
  const std::time_t t = time;
  std::tm parts{};
  if (!localtime_r(&t, &parts)) return {};
  char text[64];
  if (std::strftime(text, sizeof text, format, &parts) == 0) return {};
  return text;
}

// ---- price file ------------------------------------------------------------------------------

enum class SourceState { Closed, History, Trade };

struct Source {
  std::FILE* file = nullptr;
  SourceState state = SourceState::Closed;
  double lastPrice = 0;
  std::int32_t lastTickTime = 0;

  void Close() {
    if (file) std::fclose(file);
    file = nullptr;
    state = SourceState::Closed;
  }
  bool Open(const std::string& name) {
    Close();
    file = std::fopen(name.c_str(), "r");
    if (!file) return false;
    state = SourceState::History;
    return true;
  }
  // False at the end of the file (which closes it); throws for a bad line.
  bool Read(std::int32_t& time, double& price) {
    if (!file) return false;
    std::string line;
    int ch;
    while ((ch = std::fgetc(file)) != EOF && ch != '\n') line += static_cast<char>(ch);
    if (ch == EOF && line.empty()) {
      Close();
      return false;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() < 14) throw std::invalid_argument("Invalid argument.");
    auto c = [&](std::size_t i) { return i < line.size() ? line[i] : 0; };
    auto two = [&](std::size_t i) { return 10 * (c(i) - '0') + (c(i + 1) - '0'); };
    const int year = 1000 * (c(0) - '0') + 100 * (c(1) - '0') + two(2);
    const int month = two(4), day = two(6), hour = two(9), minute = two(11), second = two(13);
    const std::size_t semicolon = line.find(';');
    const std::string field =
        semicolon == std::string::npos
            ? line
            : line.substr(semicolon + 1, line.find(';', semicolon + 1) - (semicolon + 1));
    price = lastPrice = std::strtod(field.c_str(), nullptr);
    if (!LocalToTime(year, month, day, hour, minute, second, time))
      throw std::invalid_argument("Invalid date or time in line: " + line);
    lastTickTime = time;
    return true;
  }
};

// ---- simulated broker ------------------------------------------------------------------------

struct BrokerDeal {
  std::int32_t id, ticket;
  bool isLong;
  double openPrice, stopPrice, limitPrice, profit;
};

struct Broker {
  Engine* engine = nullptr;
  std::vector<BrokerDeal> deals;
  double dealSize = 0, commission = 0, tickSize = 0, tickValue = 0, stopDistance = 0,
         limitDistance = 0;
  double bid = 0, ask = 0;
  BrokerFigures figures;
  double netPosition = 0, peakEquity = 0;

  void TakeMoney(const TesterSettings& s) {
    dealSize = s.DealSize;
    commission = s.DealComm;
    tickSize = s.TickSize;
    tickValue = s.TickValue;
    stopDistance = s.StopDistance;
    limitDistance = s.LimitDistance;
  }
  double Profit(const BrokerDeal& d) const {
    const double difference = d.isLong ? bid - d.openPrice : d.openPrice - ask;
    return difference / tickSize * tickValue * dealSize - commission;
  }
  void Recount() {
    int longs = 0, shorts = 0;
    for (const BrokerDeal& d : deals) (d.isLong ? longs : shorts)++;
    netPosition = (longs - shorts) * dealSize;
    if (std::abs(netPosition) > std::abs(figures.maxPosition)) figures.maxPosition = netPosition;
  }
  void OnPrice(double newBid, double newAsk) {
    bid = newBid;
    ask = newAsk;
    figures.floatingProfit = 0;
    for (BrokerDeal& d : deals) figures.floatingProfit += d.profit = Profit(d);
    const double equity = figures.floatingProfit + figures.closedProfit;
    if (equity > peakEquity)
      peakEquity = equity;
    else if (peakEquity - equity > figures.maxDrawdown)
      figures.maxDrawdown = peakEquity - equity;
    if (stopDistance == 0 && limitDistance == 0) return;
    for (std::size_t i = deals.size(); i-- > 0;) {
      if (i >= deals.size()) continue;
      const BrokerDeal d = deals[i];
      const bool stopped = d.stopPrice != 0 && (d.isLong ? d.stopPrice >= bid : ask >= d.stopPrice);
      const bool limited =
          d.limitPrice != 0 && (d.isLong ? bid >= d.limitPrice : d.limitPrice >= ask);
      if (stopped || limited) CloseDeal(d.ticket);
    }
  }
  double OpenDeal(bool isLong, std::int32_t id) {
    BrokerDeal d{id, id, isLong, isLong ? ask : bid, 0, 0, 0};
    if (stopDistance != 0)
      d.stopPrice = isLong ? d.openPrice - stopDistance : d.openPrice + stopDistance;
    if (limitDistance != 0)
      d.limitPrice = isLong ? d.openPrice + limitDistance : d.openPrice - limitDistance;
    d.profit = Profit(d);
    deals.push_back(d);
    (isLong ? figures.longDeals : figures.shortDeals)++;
    if (engine) {
      engine->OrderSetTicket(id, id);
      engine->OrderFilled(id, dealSize, d.openPrice);
    }
    Recount();
    return d.openPrice;
  }
  double CloseDeal(std::int32_t ticket) {
    for (std::size_t i = 0; i < deals.size(); ++i) {
      if (deals[i].ticket != ticket) continue;
      const BrokerDeal d = deals[i];
      figures.closedProfit += d.profit;
      deals.erase(deals.begin() + static_cast<std::ptrdiff_t>(i));
      const double price = d.isLong ? bid : ask;
      if (engine) engine->OpenDealClosed(ticket, dealSize, price);
      Recount();
      return price;
    }
    return 0.0;
  }
  void ResetStatistics() {
    deals.clear();
    figures = {};
    netPosition = peakEquity = 0;
  }
};

// ---- stored record ---------------------------------------------------------------------------

std::filesystem::path StoreFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::filesystem::path base;
  if (config && *config)
    base = config;
  else if (const char* home = std::getenv("HOME"))
    base = std::filesystem::path(home) / ".config";
  else
    return {};
  return base / "Vantrel" / "KMRTester";
}

struct Layout {
  std::size_t floats, dca, smoothing2, charts, text;
  int tailInts;  // ints after DcaInterval: StdInterval, StdMinDeals
  int leading;   // Spread, StopDistance, LimitDistance present
  bool considerFirst, historyTill, flags, counted;
};
constexpr Layout kLayouts[7] = {
    {8, 68, 72, 80, 144, 0, 1, false, false, false, false},
    {8, 68, 76, 84, 148, 1, 1, false, false, false, false},
    {8, 68, 80, 88, 152, 2, 1, false, false, false, false},
    {16, 76, 88, 96, 164, 2, 2, false, true, false, true},
    {16, 76, 88, 96, 168, 2, 2, false, true, true, true},
    {24, 84, 96, 104, 176, 2, 3, false, true, true, true},
    {24, 84, 96, 104, 180, 2, 3, true, true, true, true},
};

template <typename T>
T Get(const std::vector<unsigned char>& b, std::size_t at) {
  T value{};
  if (at + sizeof(T) <= b.size()) std::memcpy(&value, b.data() + at, sizeof(T));
  return value;
}
template <typename T>
void Put(std::vector<unsigned char>& b, std::size_t at, T value) {
  std::memcpy(b.data() + at, &value, sizeof(T));
}

std::u16string GetText(const std::vector<unsigned char>& b, std::size_t at, std::size_t units) {
  std::u16string text(units, u'\0');
  std::memcpy(text.data(), b.data() + at, units * 2);
  return text;
}

std::string Utf16ToUtf8(const std::u16string& s) {
  return QString::fromStdU16String(s).toStdString();
}
std::u16string Utf8ToUtf16(const std::string& s) {
  return QString::fromStdString(s).toStdU16String();
}

// Reads one layout; false (nothing changed) when the value is too short for it.
bool ReadRecord(int version, const std::vector<unsigned char>& b, TesterSettings& s,
                StoredControls& stored) {
  const Layout& l = kLayouts[version];
  std::size_t tail = l.charts + 64;
  const std::size_t fixed = l.text + (l.counted ? 4 : 0);
  if (b.size() < fixed) return false;
  std::u16string log, source;
  if (l.counted) {
    const std::int32_t n = Get<std::int32_t>(b, l.text);
    std::size_t at = l.text + 4;
    if (n > 0) {
      if (at + 2 * std::size_t(n) > b.size()) return false;
      log = GetText(b, at, n);
      at += 2 * std::size_t(n);
    }
    if (at + 4 <= b.size()) {
      const std::int32_t m = Get<std::int32_t>(b, at);
      if (m > 0) {
        if (at + 4 + 2 * std::size_t(m) > b.size()) return false;
        source = GetText(b, at + 4, m);
      }
    }
  } else {
    log = GetText(b, l.text, (b.size() - l.text) / 2);
  }
  s.Spread = Get<double>(b, 0);
  if (l.leading > 1) s.StopDistance = Get<double>(b, 8);
  if (l.leading > 2) s.LimitDistance = Get<double>(b, 16);
  double* floats[7] = {&s.DealSize, &s.CadProfit,   &s.TickSize, &s.MaxNetPos,
                       &s.DealComm, &s.ReversalDev, &s.TickValue};
  for (int i = 0; i < 7; ++i) *floats[i] = Get<double>(b, l.floats + 8 * i);
  s.ProcessingDelay = Get<std::int32_t>(b, l.dca - 4);
  s.DcaInterval = Get<std::int32_t>(b, l.dca);
  if (l.tailInts > 0) s.StdInterval = Get<std::int32_t>(b, l.dca + 4);
  if (l.tailInts > 1) s.StdMinDeals = Get<std::int32_t>(b, l.dca + 8);
  s.Smoothing2 = Get<std::int32_t>(b, l.smoothing2);
  s.ProcessingDelay = Get<std::int32_t>(b, l.smoothing2 + 4);
  for (int i = 0; i < 8; ++i) {
    std::int32_t trend = Get<std::int32_t>(b, l.charts + 8 * i);
    std::int32_t entry = Get<std::int32_t>(b, l.charts + 8 * i + 4);
    auto word = [&](std::int32_t v) {
      if (version <= 2 && v < 0) return (0u - static_cast<std::uint32_t>(v)) | (1u << 24);
      return static_cast<std::uint32_t>(v);
    };
    s.TrendCharts[i] = word(trend);
    s.EntryCharts[i] = word(entry);
  }
  if (l.considerFirst) s.ConsiderFirst = Get<std::int32_t>(b, tail), tail += 4;
  if (l.historyTill) stored.historyTill = Get<std::int32_t>(b, tail), tail += 4;
  if (l.flags) s.Flags = Get<std::uint32_t>(b, tail);
  s.LogFilePath = log;
  if (!source.empty()) stored.sourcePath = Utf16ToUtf8(source);
  stored.found = true;
  return true;
}

std::vector<unsigned char> BuildRecord(const TesterSettings& s, std::int32_t historyTill,
                                       const std::u16string& source) {
  const std::size_t n = s.LogFilePath.size(), m = source.size();
  std::vector<unsigned char> b(188 + 2 * n + 2 * m, 0);
  const double floats[10] = {s.Spread,      s.StopDistance, s.LimitDistance, s.DealSize,
                             s.CadProfit,   s.TickSize,     s.MaxNetPos,     s.DealComm,
                             s.ReversalDev, s.TickValue};
  for (int i = 0; i < 10; ++i) Put(b, 8 * i, floats[i]);
  Put(b, 80, s.ProcessingDelay);
  Put(b, 84, s.DcaInterval);
  Put(b, 88, s.StdInterval);
  Put(b, 92, s.StdMinDeals);
  Put(b, 96, s.Smoothing2);
  Put(b, 100, s.ProcessingDelay);
  for (int i = 0; i < 8; ++i) {
    Put(b, 104 + 8 * i, s.TrendCharts[i]);
    Put(b, 108 + 8 * i, s.EntryCharts[i]);
  }
  Put(b, 168, s.ConsiderFirst);
  Put(b, 172, historyTill);
  Put(b, 176, s.Flags);
  Put(b, 180, static_cast<std::int32_t>(n));
  std::memcpy(b.data() + 184, s.LogFilePath.data(), 2 * n);
  Put(b, 184 + 2 * n, static_cast<std::int32_t>(m));
  std::memcpy(b.data() + 188 + 2 * n, source.data(), 2 * m);
  return b;
}

bool WriteAtomically(const std::filesystem::path& path, const std::vector<unsigned char>& b) {
  const std::string temporary = path.string() + ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < b.size()) {
    const ssize_t n = ::write(fd, b.data() + done, b.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool ok = done == b.size() && ::fsync(fd) == 0;
  ::close(fd);
  if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

std::uint64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

struct TesterCoreLink::Impl {
  TesterSettings& s;
  TesterWindow& window;
  std::unique_ptr<Engine> engine;
  std::unique_ptr<Broker> broker;
  Source source;
  std::int32_t historyTill = INT32_MAX;
  bool running = false, step = false, timer = false;
  std::uint64_t lastStepTime = 0;

  Impl(TesterSettings& settings, TesterWindow& w) : s(settings), window(w) {}

  std::int32_t PickerTime() const {
    int y, mo, d, h, mi, se;
    window.HistoryTill(y, mo, d, h, mi, se);
    std::int32_t time = 0;
    if (!LocalToTime(y, mo, d, h, mi, se, time))
      throw std::invalid_argument("Invalid date or time in \"History Data till:\".");
    return time;
  }

  void Save() {
    const std::filesystem::path folder = StoreFolder();
    std::error_code error;
    if (folder.empty()) return;
    std::filesystem::create_directories(folder, error);
    const std::int32_t till = PickerTime();
    WriteAtomically(folder / "KMRTesterSettings_V6",
                    BuildRecord(s, till, Utf8ToUtf16(window.SourceFileName())));
  }

  bool OpenSource() {
    if (source.Open(window.SourceFileName())) return true;
    window.ShowMessage("Source file cannot be open.");
    return false;
  }

  void StartTimed() {
    running = true;
    lastStepTime = NowMs();
    timer = true;
  }

  void Drain() {
    for (int i = 0; i < 10; ++i) {
      const std::uint64_t word = static_cast<std::uint64_t>(engine->GetNextCommand());
      const std::uint8_t code = CommandCodeOf(word);
      const std::int32_t operand = static_cast<std::int32_t>(CommandOperandOf(word));
      char text[128];
      if (code == kCommandOpenLong || code == kCommandOpenShort) {
        const double price = broker ? broker->OpenDeal(code == kCommandOpenLong, operand) : 0;
        window.ShowStatistics();
        if (price != 0) {
          std::snprintf(text, sizeof text, "Open new %s deal ID=%i Price=%.4f",
                        code == kCommandOpenLong ? "LONG" : "SHORT", operand, price);
          window.AddLogLine(text, true);
        }
      } else if (code == kCommandClose) {
        const double price = broker ? broker->CloseDeal(operand) : 0;
        window.ShowStatistics();
        if (price != 0) {
          std::snprintf(text, sizeof text, "Closed deal ID=%i Price=%.4f", operand, price);
          window.AddLogLine(text, true);
        }
      }
    }
  }

  // One trade line; true when it led to a drain.
  bool TradeLine(std::int32_t time, double price) {
    if (broker) broker->OnPrice(price, price + s.Spread);
    if (engine->ProcessNewTick(price, price + s.Spread, time, 0) == 0) return false;
    Drain();
    return true;
  }

  void StartHistory() {
    if (source.state == SourceState::Closed && !OpenSource()) return;
    if (source.state != SourceState::History) return;
    s.Spread = std::strtod(window.SpreadText().c_str(), nullptr);
    s.StopDistance = std::strtod(window.StopText().c_str(), nullptr);
    s.LimitDistance = std::strtod(window.LimitText().c_str(), nullptr);
    Save();
    historyTill = PickerTime();
    engine->InitializeKMR(s.TickSize, s.Smoothing1, s.Smoothing2, s.ReversalDev, s.TrendCharts[0],
                          s.TrendCharts[1], s.TrendCharts[2], s.TrendCharts[3], s.TrendCharts[4],
                          s.TrendCharts[5], s.TrendCharts[6], s.TrendCharts[7], s.ConsiderFirst,
                          s.EntryCharts[0], s.EntryCharts[1], s.EntryCharts[2], s.EntryCharts[3],
                          s.EntryCharts[4], s.EntryCharts[5], s.EntryCharts[6], s.EntryCharts[7]);
    engine->SetKMRPriceParameters(s.DealSize, s.TickValue, s.DealComm, s.CadProfit, s.DcaInterval,
                                  s.StdInterval, s.StdMinDeals, s.MaxNetPos, s.Flags);
    if (!s.LogFilePath.empty()) {
      // The engine may cut its level suffix off the string it is given; the tester keeps its
      // own setting whole.
      std::u16string copy = s.LogFilePath;
      engine->SetLogFilePath(copy.c_str());
    }
    if (broker) broker->ResetStatistics();
    if (s.ProcessingDelay != 0) return StartTimed();
    std::int32_t time;
    double price;
    while (source.Read(time, price)) {
      engine->ProcessHistoryTick(price, time, 0);
      if (time >= historyTill) break;
    }
    if (source.state != SourceState::Closed) source.state = SourceState::Trade;
    engine->ProcessHistoryDataFinished();
    window.AddLogLine("Processing HISTORY Data finished", false);
  }

  void StartTrade() {
    if (source.state != SourceState::Trade) {
      window.ShowMessage("No data to process.\nWas History Data processed before?");
      return;
    }
    s.Spread = std::strtod(window.SpreadText().c_str(), nullptr);
    if (s.ProcessingDelay != 0) return StartTimed();
    std::int32_t time;
    double price;
    while (source.Read(time, price))
      if (TradeLine(time, price) && step) break;
    window.ShowLastTick();
    window.ShowStatistics();
  }

  void TimerEvent() {
    if (!running) return;
    if (NowMs() - lastStepTime < static_cast<std::uint64_t>(s.ProcessingDelay)) return;
    window.ShowLastTick();
    lastStepTime = NowMs();
    if (source.state == SourceState::Closed) return;
    std::int32_t time;
    double price;
    if (!source.Read(time, price)) {
      window.AddLogLine("Processing TRADING Data finished", false);
      running = false;
      timer = false;
    } else if (source.state == SourceState::History) {
      engine->ProcessHistoryTick(price, time, 0);
      if (time >= historyTill) {
        source.state = SourceState::Trade;
        engine->ProcessHistoryDataFinished();
        window.AddLogLine("Processing HISTORY Data finished", false);
      }
    } else {
      TradeLine(time, price);
      window.ShowStatistics();
    }
  }

  std::string CheckFile() {
    if (!OpenSource()) return "File cannot be open";
    std::int32_t first = 0, last = 0, time;
    double low = 999999999.0, high = 0.0, price;
    long count = 0;
    while (source.Read(time, price)) {
      if (count++ == 0)
        first = last = time;
      else
        last = time;
      low = std::min(low, price);
      high = std::max(high, price);
    }
    source.Close();
    if (count == 0) low = 0;
    const std::string from = count ? FormatLocal(first, "%Y.%m.%d %H:%M:%S") : "";
    const std::string till = count ? FormatLocal(last, "%Y.%m.%d %H:%M:%S") : "";
    char text[256];
    std::snprintf(text, sizeof text,
                  "%li lines\r\nData range: %s   -   %s\r\nPrice range: %.5f   -   %.5f", count,
                  from.c_str(), till.c_str(), low, high);
    return text;
  }
};

TesterCoreLink::TesterCoreLink(TesterSettings& settings, TesterWindow& window)
    : impl_(std::make_unique<Impl>(settings, window)) {}

TesterCoreLink::~TesterCoreLink() {
  Close();
}

StoredControls TesterCoreLink::LoadSettings() {
  StoredControls stored;
  const std::filesystem::path folder = StoreFolder();
  if (folder.empty()) return stored;
  for (int version = 6; version >= 0; --version) {
    std::ifstream in(folder / ("KMRTesterSettings_V" + std::to_string(version)), std::ios::binary);
    if (!in) continue;
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    ReadRecord(version, bytes, impl_->s, stored);
    break;
  }
  return stored;
}

void TesterCoreLink::SaveSettings() {
  impl_->Save();
}

bool TesterCoreLink::Bind(const std::string& libraryPath) {
  auto engine = std::make_unique<Engine>();
  if (!BindEngine(*engine, libraryPath)) return false;
  impl_->engine = std::move(engine);
  impl_->broker = std::make_unique<Broker>();
  impl_->broker->engine = impl_->engine.get();
  impl_->broker->TakeMoney(impl_->s);
  return true;
}

void TesterCoreLink::ProcessHD() {
  impl_->window.AddLogLine("Processing HISTORY Data...", false);
  impl_->StartHistory();
}

void TesterCoreLink::ProcessTD() {
  impl_->window.AddLogLine("Processing TRADE Data...", false);
  impl_->running = true;
  impl_->step = false;
  impl_->StartTrade();
}

void TesterCoreLink::ProcessALL() {
  impl_->window.AddLogLine("Processing ALL Data...", false);
  impl_->StartHistory();
  if (impl_->s.ProcessingDelay == 0) impl_->StartTrade();
}

void TesterCoreLink::ProcessStep() {
  impl_->running = false;
  impl_->step = true;
  impl_->StartTrade();
}

void TesterCoreLink::Stop() {
  impl_->source.Close();
}
void TesterCoreLink::TimerEvent() {
  impl_->TimerEvent();
}
bool TesterCoreLink::TimerActive() const {
  return impl_->timer;
}
std::string TesterCoreLink::CheckFile() {
  return impl_->CheckFile();
}
bool TesterCoreLink::HasBroker() const {
  return impl_->broker != nullptr;
}
BrokerFigures TesterCoreLink::Figures() const {
  return impl_->broker ? impl_->broker->figures : BrokerFigures{};
}
void TesterCoreLink::ResetStatistics() {
  if (impl_->broker) impl_->broker->ResetStatistics();
}
void TesterCoreLink::UpdateBrokerMoney() {
  if (impl_->broker) impl_->broker->TakeMoney(impl_->s);
}
std::int32_t TesterCoreLink::LastTickTime() const {
  return impl_->source.lastTickTime;
}
double TesterCoreLink::LastPrice() const {
  return impl_->source.lastPrice;
}

void TesterCoreLink::Close() {
  if (!impl_) return;
  impl_->source.Close();
  impl_->broker.reset();
  if (impl_->engine) {
    impl_->engine->DeinitializeKMR();
    dlclose(impl_->engine->module);
    impl_->engine.reset();
  }
}

}  // namespace kmr
