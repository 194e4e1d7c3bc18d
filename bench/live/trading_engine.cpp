// An engine for the latency benchmark: every tick asks for one order, opening a deal when none
// is open and closing it otherwise, so that each quote is answered by an order.
#include "common/command.h"
#include "common/kmr_exports.h"

namespace {
unsigned gNextId = 1;
unsigned gOpen = 0;     // the open deal's id, 0 when none
unsigned gTicket = 0;   // its ticket
bool gPending = false;  // a command waits for GetNextCommand
}  // namespace

KMR_EXPORT int InitializeKMR(double, int, int, double, int, int, int, int, int, int, int, int,
                             int, int, int, int, int, int, int, int, int) { return 1; }
KMR_EXPORT int SetKMRPriceParameters(double, double, double, double, int, int, int, double, int) { return 1; }
KMR_EXPORT int SetLogFilePath(const char16_t*) { return 1; }
KMR_EXPORT void DeinitializeKMR() {}
KMR_EXPORT int ProcessNewTick(double, double, int, unsigned char) {
  gPending = true;
  return 1;
}
KMR_EXPORT int ProcessHistoryM1(double, double, double, double, int, unsigned char) { return 0; }
KMR_EXPORT int ProcessHistoryTick(double, int, unsigned char) { return 0; }
KMR_EXPORT int ProcessHistoryDataFinished() { return 1; }
KMR_EXPORT long long GetNextCommand() {
  if (!gPending) return 0;
  gPending = false;
  if (gOpen == 0) {
    gOpen = gNextId++;
    return static_cast<long long>(kmr::EncodeCommand(kmr::kCommandOpenLong, gOpen));
  }
  const unsigned ticket = gTicket;
  gOpen = gTicket = 0;
  return static_cast<long long>(kmr::EncodeCommand(kmr::kCommandClose, ticket));
}
KMR_EXPORT int OrderFilled(unsigned, double, double) { return 0; }
KMR_EXPORT int OpenDealClosed(unsigned, double, double) { return 0; }
KMR_EXPORT int OrderSetTicket(unsigned id, unsigned ticket) {
  if (id == gOpen) gTicket = ticket;
  return 0;
}
KMR_EXPORT int OrderClosed(int) { return 0; }
KMR_EXPORT int OrderRejected(int id) {
  if (static_cast<unsigned>(id) == gOpen) gOpen = gTicket = 0;
  return 0;
}
KMR_EXPORT void TriggerExternalSignal(int, int, unsigned char) {}
