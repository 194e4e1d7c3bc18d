#include "tests/conformance/engine_api.h"

#include <dlfcn.h>

namespace {

template <typename Fn>
bool Bind(void* library, const char* name, Fn& slot, std::string& error) {
  slot = reinterpret_cast<Fn>(dlsym(library, name));
  if (slot == nullptr) error += std::string(error.empty() ? "" : ", ") + name;
  return slot != nullptr;
}

}  // namespace

bool BindEngine(const char* path, EngineApi& api, std::string& error) {
  api.library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (api.library == nullptr) {
    const char* reason = dlerror();
    error = reason ? reason : "cannot load";
    return false;
  }
  std::string missing;
  void* l = api.library;
  Bind(l, "InitializeKMR", api.InitializeKMR, missing);
  Bind(l, "SetKMRPriceParameters", api.SetKMRPriceParameters, missing);
  Bind(l, "SetLogFilePath", api.SetLogFilePath, missing);
  Bind(l, "DeinitializeKMR", api.DeinitializeKMR, missing);
  Bind(l, "ProcessNewTick", api.ProcessNewTick, missing);
  Bind(l, "ProcessHistoryM1", api.ProcessHistoryM1, missing);
  Bind(l, "ProcessHistoryTick", api.ProcessHistoryTick, missing);
  Bind(l, "ProcessHistoryDataFinished", api.ProcessHistoryDataFinished, missing);
  Bind(l, "GetNextCommand", api.GetNextCommand, missing);
  Bind(l, "OrderFilled", api.OrderFilled, missing);
  Bind(l, "OpenDealClosed", api.OpenDealClosed, missing);
  Bind(l, "OrderSetTicket", api.OrderSetTicket, missing);
  Bind(l, "OrderClosed", api.OrderClosed, missing);
  Bind(l, "OrderRejected", api.OrderRejected, missing);
  Bind(l, "TriggerExternalSignal", api.TriggerExternalSignal, missing);
  if (!missing.empty()) {
    error = "missing exports: " + missing;
    return false;
  }
  return true;
}

int InitializeDefaults(const EngineApi& api, double tickSize) {
  const int noHedge = 1 << 24;
  return api.InitializeKMR(tickSize, 20, 8, 2.0, noHedge | 1600, noHedge | 800, noHedge | 400,
                           noHedge | 200, noHedge | 100, 0, 0, 0, 5, 40, 80, 120, 0, 0, 0, 0, 0);
}

std::u16string Utf16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}
