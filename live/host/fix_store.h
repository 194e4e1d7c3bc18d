// QuickFIX's file store with the logon's password kept out: every message is stored through
// RedactFixText, so Password (554) and NewPassword (925) are "***" on disk. The Logon is an
// admin message, which a resend never repeats, so nothing sent again depends on them.
#pragma once

#include <memory>

#include <quickfix/MessageStore.h>

namespace kmr {

class RedactingStoreFactory : public FIX::MessageStoreFactory {
 public:
  explicit RedactingStoreFactory(std::unique_ptr<FIX::MessageStoreFactory> inner)
      : inner_(std::move(inner)) {}
  FIX::MessageStore* create(const FIX::SessionID& id) override;
  void destroy(FIX::MessageStore* store) override;

 private:
  std::unique_ptr<FIX::MessageStoreFactory> inner_;
};

}  // namespace kmr
