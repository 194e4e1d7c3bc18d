#include "tester/connector/library_connector.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

namespace kmr {

namespace {

std::string OwnFolder() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return {};
  std::string exe(path, static_cast<std::size_t>(length));
  const std::size_t slash = exe.rfind('/');
  return slash == std::string::npos ? std::string() : exe.substr(0, slash);
}

template <typename Fn>
bool Bind(void* module, const char* name, Fn& slot, std::string& missing) {
  slot = reinterpret_cast<Fn>(dlsym(module, name));
  if (slot == nullptr) {
    if (!missing.empty()) missing += ", ";
    missing += name;
  }
  return slot != nullptr;
}

#if defined(__SANITIZE_ADDRESS__)
// The leak checker runs at exit; what the engine's own dependencies (X11, Cairo) keep until
// then cannot be named once they were unloaded, so sanitized builds keep them loaded.
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
#else
constexpr int kOpenFlags = RTLD_NOW | RTLD_LOCAL;
#endif

}  // namespace

CKMRLibraryConnector::~CKMRLibraryConnector() {
  ReleaseLibrary();
}

bool CKMRLibraryConnector::BindLibrary(const std::string& path) {
  ReleaseLibrary();
  error_.clear();
  if (!path.empty()) {
    module_ = dlopen(path.c_str(), kOpenFlags);
  } else {
    // The program's own folder first, so a tester next to its engine uses that one.
    const std::string folder = OwnFolder();
    if (!folder.empty()) module_ = dlopen((folder + "/" + kLibraryFileName).c_str(), kOpenFlags);
    if (module_ == nullptr) module_ = dlopen(kLibraryFileName, kOpenFlags);
  }
  if (module_ == nullptr) {
    const char* why = dlerror();
    error_ = std::string("cannot load ") + (path.empty() ? kLibraryFileName : path.c_str()) +
             (why != nullptr ? std::string(": ") + why : std::string());
    return false;
  }
  // Every name is looked up, found or not, in the order of the interface table.
  std::string missing;
  bool all = true;
  all &= Bind(module_, "InitializeKMR", api_.InitializeKMR, missing);
  all &= Bind(module_, "SetKMRPriceParameters", api_.SetKMRPriceParameters, missing);
  all &= Bind(module_, "SetLogFilePath", api_.SetLogFilePath, missing);
  all &= Bind(module_, "DeinitializeKMR", api_.DeinitializeKMR, missing);
  all &= Bind(module_, "ProcessNewTick", api_.ProcessNewTick, missing);
  all &= Bind(module_, "ProcessHistoryM1", api_.ProcessHistoryM1, missing);
  all &= Bind(module_, "ProcessHistoryTick", api_.ProcessHistoryTick, missing);
  all &= Bind(module_, "ProcessHistoryDataFinished", api_.ProcessHistoryDataFinished, missing);
  all &= Bind(module_, "GetNextCommand", api_.GetNextCommand, missing);
  all &= Bind(module_, "OrderFilled", api_.OrderFilled, missing);
  all &= Bind(module_, "OpenDealClosed", api_.OpenDealClosed, missing);
  all &= Bind(module_, "OrderSetTicket", api_.OrderSetTicket, missing);
  all &= Bind(module_, "OrderClosed", api_.OrderClosed, missing);
  all &= Bind(module_, "OrderRejected", api_.OrderRejected, missing);
  if (!all) {
    error_ = "the engine library lacks " + missing;
    return false;
  }
  bound_ = true;
  return true;
}

void CKMRLibraryConnector::ReleaseLibrary() {
  if (bound_ && api_.DeinitializeKMR != nullptr) api_.DeinitializeKMR();
  bound_ = false;
  api_ = EngineApi{};
  if (module_ != nullptr) {
    dlclose(module_);
    module_ = nullptr;
  }
}

}  // namespace kmr
