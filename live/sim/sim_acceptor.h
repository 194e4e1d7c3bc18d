// The acceptor kmr-broker-sim listens with: plain TCP, or TLS through QuickFIX's SSL acceptor.
#pragma once

#include <memory>

#include <quickfix/Acceptor.h>
#include <quickfix/Application.h>
#include <quickfix/Log.h>
#include <quickfix/MessageStore.h>
#include <quickfix/SessionSettings.h>

namespace kmr {

// `log` may be null (no message log).
std::unique_ptr<FIX::Acceptor> MakeSimAcceptor(bool tls, FIX::Application& application,
                                               FIX::MessageStoreFactory& store,
                                               const FIX::SessionSettings& settings,
                                               FIX::LogFactory* log);

}  // namespace kmr
