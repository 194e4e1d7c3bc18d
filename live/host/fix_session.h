// The QuickFIX initiator of kmr-live: the session settings, a file store and a redacting log,
// plain TCP or TLS.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include <quickfix/Application.h>

namespace kmr {

class SessionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class FixInitiator {
 public:
  virtual ~FixInitiator() = default;
  virtual void Start() = 0;  // connects in QuickFIX's own thread; reconnects by itself
  virtual void Stop() = 0;   // logs out and waits for it
};

// Reads `settingsFile` (${VAR} from the environment); throws SessionError naming the problem.
std::unique_ptr<FixInitiator> MakeInitiator(FIX::Application& application,
                                            const std::string& settingsFile, bool tls);

}  // namespace kmr
