#include "live/fix/redacting_log.h"

namespace kmr {

namespace {

bool IsSeparator(char c) { return c == '\x01' || c == '|'; }

bool IsSecretTag(std::string_view field) {
  return field.substr(0, 4) == "554=" || field.substr(0, 4) == "925=";
}

}  // namespace

std::string RedactFixText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = start;
    while (end < text.size() && !IsSeparator(text[end])) ++end;
    const std::string_view field = text.substr(start, end - start);
    if (IsSecretTag(field)) {
      out.append(field.substr(0, 4));
      out.append("***");
    } else {
      out.append(field);
    }
    if (end == text.size()) break;
    out.push_back(text[end]);
    start = end + 1;
  }
  return out;
}

RedactingLog::~RedactingLog() { owner_->destroy(inner_); }

FIX::Log* RedactingLogFactory::create() { return new RedactingLog(inner_->create(), inner_.get()); }

FIX::Log* RedactingLogFactory::create(const FIX::SessionID& id) {
  return new RedactingLog(inner_->create(id), inner_.get());
}

void RedactingLogFactory::destroy(FIX::Log* log) { delete log; }

}  // namespace kmr
