// The SSL classes of the installed library are declared only with HAVE_SSL, defined for this
// file alone.
#define HAVE_SSL 1
#include <quickfix/SSLSocketInitiator.h>

#include "sim_peer.h"

namespace kmr::test {

std::unique_ptr<FIX::Initiator> MakeTlsInitiator(FIX::Application& application,
                                                 FIX::MessageStoreFactory& store,
                                                 const FIX::SessionSettings& settings) {
  return std::make_unique<FIX::SSLSocketInitiator>(application, store, settings);
}

}  // namespace kmr::test
