// An engine library that trades on a fixed script, so that the window's command handling, log
// lines and statistics can be checked whatever the real strategy does. Every 50 live ticks it
// opens a long deal (tick 1), a short deal (tick 11) and closes both (tick 26).
#include <deque>

#include "common/command.h"
#include "common/kmr_exports.h"

namespace {
int ticks = 0;
unsigned nextId = 1;
unsigned longTicket = 0, shortTicket = 0;
std::deque<long long> queue;
}  // namespace

int InitializeKMR(double, int, int, double, int, int, int, int, int, int, int, int, int, int, int,
                  int, int, int, int, int, int) {
  ticks = 0;
  nextId = 1;
  queue.clear();
  return 1;
}
int SetKMRPriceParameters(double, double, double, double, int, int, int, double, int) {
  return 1;
}
int SetLogFilePath(const char16_t*) {
  return 1;
}
void DeinitializeKMR() {}
int ProcessNewTick(double, double, int, unsigned char) {
  switch (ticks++ % 50) {
    case 0:
      longTicket = nextId;
      queue.push_back(kmr::EncodeCommand(kmr::kCommandOpenLong, nextId++));
      return 1;
    case 10:
      shortTicket = nextId;
      queue.push_back(kmr::EncodeCommand(kmr::kCommandOpenShort, nextId++));
      return 1;
    case 25:
      queue.push_back(kmr::EncodeCommand(kmr::kCommandClose, longTicket));
      queue.push_back(kmr::EncodeCommand(kmr::kCommandClose, shortTicket));
      return 1;
    default:
      return 0;
  }
}
int ProcessHistoryM1(double, double, double, double, int, unsigned char) {
  return 0;
}
int ProcessHistoryTick(double, int, unsigned char) {
  return 0;
}
int ProcessHistoryDataFinished() {
  return 0;
}
long long GetNextCommand() {
  if (queue.empty()) return 0;
  const long long word = queue.front();
  queue.pop_front();
  return word;
}
int OrderFilled(unsigned, double, double) {
  return 0;
}
int OpenDealClosed(unsigned, double, double) {
  return 0;
}
int OrderSetTicket(unsigned, unsigned) {
  return 0;
}
int OrderClosed(int) {
  return 0;
}
int OrderRejected(int) {
  return 0;
}
void TriggerExternalSignal(int, int, unsigned char) {}
