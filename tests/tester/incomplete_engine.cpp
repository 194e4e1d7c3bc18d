// Thirteen of the fourteen names the tester binds: OrderRejected is missing.
#include "common/kmr_exports.h"

int InitializeKMR(double, int, int, double, int, int, int, int, int, int, int, int, int, int, int,
                  int, int, int, int, int, int) {
  return 0;
}
int SetKMRPriceParameters(double, double, double, double, int, int, int, double, int) {
  return 0;
}
int SetLogFilePath(const char16_t*) {
  return 0;
}
void DeinitializeKMR() {}
int ProcessNewTick(double, double, int, unsigned char) {
  return 0;
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
  return 0;
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
