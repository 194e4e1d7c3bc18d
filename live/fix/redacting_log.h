// A QuickFIX log that never writes a password: the values of Password (554) and NewPassword
// (925) become "***" in every message and event before the wrapped log sees them.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <quickfix/Log.h>

namespace kmr {

// `text` with the value of every 554= and 925= field replaced by "***". A field starts at the
// beginning of the text or after a SOH (or '|', the separator of messages written for people)
// and ends at the next one or at the end.
std::string RedactFixText(std::string_view text);

// Passes everything to `inner` after RedactFixText.
class RedactingLog : public FIX::Log {
 public:
  explicit RedactingLog(FIX::Log* inner, FIX::LogFactory* owner) : inner_(inner), owner_(owner) {}
  ~RedactingLog() override;

  void clear() override { inner_->clear(); }
  void backup() override { inner_->backup(); }
  void onIncoming(const std::string& text) override { inner_->onIncoming(RedactFixText(text)); }
  void onOutgoing(const std::string& text) override { inner_->onOutgoing(RedactFixText(text)); }
  void onEvent(const std::string& text) override { inner_->onEvent(RedactFixText(text)); }

 private:
  FIX::Log* inner_;
  FIX::LogFactory* owner_;  // destroys inner_
};

// Wraps the logs of another factory (a FileLogFactory, a ScreenLogFactory) in RedactingLog.
class RedactingLogFactory : public FIX::LogFactory {
 public:
  explicit RedactingLogFactory(std::unique_ptr<FIX::LogFactory> inner) : inner_(std::move(inner)) {}

  FIX::Log* create() override;
  FIX::Log* create(const FIX::SessionID& id) override;
  void destroy(FIX::Log* log) override;

 private:
  std::unique_ptr<FIX::LogFactory> inner_;
};

}  // namespace kmr
