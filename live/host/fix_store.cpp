#include "live/host/fix_store.h"

#include <cstdio>

#include "live/fix/redacting_log.h"

namespace kmr {

namespace {

// A stored message is read back when the peer asks for a resend, and QuickFIX checks it then:
// the redacted text gets its BodyLength (9) and CheckSum (10) anew.
std::string Redacted(const std::string& message) {
  std::string text = RedactFixText(message);
  if (text == message) return text;
  const std::size_t lengthField = text.find("\x01" "9=");
  const std::size_t bodyStart = lengthField == std::string::npos ? lengthField : text.find('\x01', lengthField + 1);
  const std::size_t sumField = text.rfind("\x01" "10=");
  if (bodyStart == std::string::npos || sumField == std::string::npos || sumField < bodyStart)
    return text;
  const std::string body = text.substr(bodyStart + 1, sumField + 1 - (bodyStart + 1));
  std::string out = text.substr(0, lengthField + 1) + "9=" + std::to_string(body.size()) + "\x01" + body;
  unsigned sum = 0;
  for (const char c : out) sum += static_cast<unsigned char>(c);
  char tail[16];
  std::snprintf(tail, sizeof tail, "10=%03u\x01", sum % 256);
  return out + tail;
}

class RedactingStore : public FIX::MessageStore {
 public:
  RedactingStore(FIX::MessageStore* inner, FIX::MessageStoreFactory& owner)
      : inner_(inner), owner_(owner) {}
  ~RedactingStore() override { owner_.destroy(inner_); }

  bool set(int seq, const std::string& message) override {
    return inner_->set(seq, Redacted(message));
  }
  void get(int begin, int end, std::vector<std::string>& out) const override {
    inner_->get(begin, end, out);
  }
  int getNextSenderMsgSeqNum() const override { return inner_->getNextSenderMsgSeqNum(); }
  int getNextTargetMsgSeqNum() const override { return inner_->getNextTargetMsgSeqNum(); }
  void setNextSenderMsgSeqNum(int n) override { inner_->setNextSenderMsgSeqNum(n); }
  void setNextTargetMsgSeqNum(int n) override { inner_->setNextTargetMsgSeqNum(n); }
  void incrNextSenderMsgSeqNum() override { inner_->incrNextSenderMsgSeqNum(); }
  void incrNextTargetMsgSeqNum() override { inner_->incrNextTargetMsgSeqNum(); }
  FIX::UtcTimeStamp getCreationTime() const override { return inner_->getCreationTime(); }
  void reset() override { inner_->reset(); }
  void refresh() override { inner_->refresh(); }

 private:
  FIX::MessageStore* inner_;
  FIX::MessageStoreFactory& owner_;
};

}  // namespace

FIX::MessageStore* RedactingStoreFactory::create(const FIX::SessionID& id) {
  return new RedactingStore(inner_->create(id), *inner_);
}

void RedactingStoreFactory::destroy(FIX::MessageStore* store) {
  delete store;
}

}  // namespace kmr
