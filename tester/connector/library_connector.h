// CKMRLibraryConnector: loads KMRLibrary.so at run time and binds fourteen of its exports.
#pragma once

#include <string>

#include "tester/connector/engine_api.h"

namespace kmr {

inline constexpr const char* kLibraryFileName = "KMRLibrary.so";

class CKMRLibraryConnector {
 public:
  CKMRLibraryConnector() = default;
  ~CKMRLibraryConnector();
  CKMRLibraryConnector(const CKMRLibraryConnector&) = delete;
  CKMRLibraryConnector& operator=(const CKMRLibraryConnector&) = delete;

  // Loads the library and looks up the fourteen names in their order. With an empty path the
  // program's own folder is tried first, then the standard search. Fails when the library cannot
  // be loaded or any name is missing (LastError() says which).
  bool BindLibrary(const std::string& path = {});

  // DeinitializeKMR (when bound), then dlclose. Safe to call more than once.
  void ReleaseLibrary();

  bool IsBound() const { return bound_; }
  const EngineApi& Api() const { return api_; }
  const std::string& LastError() const { return error_; }

 private:
  void* module_ = nullptr;
  EngineApi api_;
  bool bound_ = false;
  std::string error_;
};

}  // namespace kmr
