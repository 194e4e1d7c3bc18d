// QuickFIX's SSL initiator. Its header declares the class only under HAVE_SSL, which is set in
// this one translation unit alone: the installed library is built with SSL, and no other header
// changes with it.
#pragma once

#include <memory>

#include <quickfix/Application.h>
#include <quickfix/Initiator.h>
#include <quickfix/Log.h>
#include <quickfix/MessageStore.h>
#include <quickfix/SessionSettings.h>

namespace kmr {

std::unique_ptr<FIX::Initiator> MakeTlsInitiator(FIX::Application& application,
                                                 FIX::MessageStoreFactory& store,
                                                 const FIX::SessionSettings& settings,
                                                 FIX::LogFactory& log);

}  // namespace kmr
