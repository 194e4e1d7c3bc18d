#include "tests/tester/fake_engine.h"

#include <cstdio>

namespace kmr::test {

namespace {

FakeEngine fake;

std::string Num(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

int Initialize(double tickSize, int s1, int s2, double reversal, int t1, int t2, int t3, int t4,
               int t5, int t6, int t7, int t8, int consider, int e1, int e2, int e3, int e4, int e5,
               int e6, int e7, int e8) {
  const int ints[19] = {s1,       s2, t1, t2, t3, t4, t5, t6, t7, t8,
                        consider, e1, e2, e3, e4, e5, e6, e7, e8};
  for (int i = 0; i < 19; ++i) fake.initArgs[i] = ints[i];
  fake.initDoubles[0] = tickSize;
  fake.initDoubles[1] = reversal;
  fake.calls.push_back("InitializeKMR");
  return 1;
}
int SetPrice(double size, double value, double comm, double cad, int dca, int std, int minDeals,
             double maxPos, int flags) {
  fake.calls.push_back("SetKMRPriceParameters(" + Num(size) + "," + Num(value) + "," + Num(comm) +
                       "," + Num(cad) + "," + std::to_string(dca) + "," + std::to_string(std) +
                       "," + std::to_string(minDeals) + "," + Num(maxPos) + "," +
                       std::to_string(flags) + ")");
  return 1;
}
int SetLog(const char16_t* path) {
  fake.logPath = path;
  fake.calls.push_back("SetLogFilePath");
  return 1;
}
void Deinit() {
  fake.calls.push_back("DeinitializeKMR");
}
int NewTick(double bid, double ask, int time, unsigned char flag) {
  fake.calls.push_back("ProcessNewTick(" + Num(bid) + "," + Num(ask) + "," + std::to_string(time) +
                       "," + std::to_string(flag) + ")");
  if (auto found = fake.pushOnTick.find(fake.ticks); found != fake.pushOnTick.end())
    for (long long word : found->second) fake.queue.push_back(word);
  ++fake.ticks;
  return fake.queue.empty() ? 0 : 1;
}
int HistoryM1(double open, double high, double low, double close, int time, unsigned char flag) {
  fake.calls.push_back("ProcessHistoryM1(" + Num(open) + "," + Num(high) + "," + Num(low) + "," +
                       Num(close) + "," + std::to_string(time) + "," + std::to_string(flag) + ")");
  return 0;
}
int HistoryTick(double price, int time, unsigned char flag) {
  fake.historyPrices.push_back(price);
  fake.historyTimes.push_back(time);
  fake.calls.push_back("ProcessHistoryTick(" + std::to_string(flag) + ")");
  return 0;
}
int HistoryFinished() {
  fake.calls.push_back("ProcessHistoryDataFinished");
  return 0;
}
long long NextCommand() {
  ++fake.getNextCalls;
  if (fake.queue.empty()) return 0;
  const long long word = fake.queue.front();
  fake.queue.pop_front();
  return word;
}
int Filled(unsigned ticket, double volume, double price) {
  fake.calls.push_back("OrderFilled(" + std::to_string(ticket) + "," + Num(volume) + "," +
                       Num(price) + ")");
  return 0;
}
int DealClosed(unsigned ticket, double volume, double price) {
  fake.calls.push_back("OpenDealClosed(" + std::to_string(ticket) + "," + Num(volume) + "," +
                       Num(price) + ")");
  return 0;
}
int SetTicket(unsigned id, unsigned ticket) {
  fake.calls.push_back("OrderSetTicket(" + std::to_string(id) + "," + std::to_string(ticket) + ")");
  return 0;
}
int Closed(int) {
  fake.calls.push_back("OrderClosed");
  return 0;
}
int Rejected(int) {
  fake.calls.push_back("OrderRejected");
  return 0;
}

}  // namespace

std::vector<std::string> FakeEngine::Calls(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& call : calls)
    if (call.rfind(prefix, 0) == 0) out.push_back(call);
  return out;
}

FakeEngine& Fake() {
  return fake;
}

EngineApi FakeApi() {
  fake = FakeEngine{};
  EngineApi api;
  api.InitializeKMR = Initialize;
  api.SetKMRPriceParameters = SetPrice;
  api.SetLogFilePath = SetLog;
  api.DeinitializeKMR = Deinit;
  api.ProcessNewTick = NewTick;
  api.ProcessHistoryM1 = HistoryM1;
  api.ProcessHistoryTick = HistoryTick;
  api.ProcessHistoryDataFinished = HistoryFinished;
  api.GetNextCommand = NextCommand;
  api.OrderFilled = Filled;
  api.OpenDealClosed = DealClosed;
  api.OrderSetTicket = SetTicket;
  api.OrderClosed = Closed;
  api.OrderRejected = Rejected;
  return api;
}

}  // namespace kmr::test
