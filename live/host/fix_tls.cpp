#define HAVE_SSL 1
#include <quickfix/SSLSocketInitiator.h>

#include "live/host/fix_tls.h"

namespace kmr {

std::unique_ptr<FIX::Initiator> MakeTlsInitiator(FIX::Application& application,
                                                 FIX::MessageStoreFactory& store,
                                                 const FIX::SessionSettings& settings,
                                                 FIX::LogFactory& log) {
  return std::make_unique<FIX::SSLSocketInitiator>(application, store, settings, log);
}

}  // namespace kmr
