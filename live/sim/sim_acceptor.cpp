// The SSL classes of the installed library are declared only with HAVE_SSL; it is defined for
// this file alone, as it changes no other class.
#define HAVE_SSL 1
#include "live/sim/sim_acceptor.h"

#include <quickfix/ThreadedSSLSocketAcceptor.h>
#include <quickfix/SocketAcceptor.h>

namespace kmr {

std::unique_ptr<FIX::Acceptor> MakeSimAcceptor(bool tls, FIX::Application& application,
                                               FIX::MessageStoreFactory& store,
                                               const FIX::SessionSettings& settings,
                                               FIX::LogFactory* log) {
  // One thread per connection under TLS: a handshake that never completes (a client that is
  // not speaking TLS) then holds up no other connection.
  if (tls) {
    if (log != nullptr)
      return std::make_unique<FIX::ThreadedSSLSocketAcceptor>(application, store, settings, *log);
    return std::make_unique<FIX::ThreadedSSLSocketAcceptor>(application, store, settings);
  }
  if (log != nullptr)
    return std::make_unique<FIX::SocketAcceptor>(application, store, settings, *log);
  return std::make_unique<FIX::SocketAcceptor>(application, store, settings);
}

}  // namespace kmr
