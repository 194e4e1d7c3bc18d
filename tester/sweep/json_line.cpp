#include "tester/sweep/json_line.h"

namespace kmr {

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool Document(JsonValue& out) {
    Space();
    if (!Value(out, 0)) return false;
    Space();
    return at_ == text_.size();
  }

 private:
  void Space() {
    while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' ||
                                  text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool Take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) return false;
    at_ += word.size();
    return true;
  }

  bool Value(JsonValue& out, int depth) {
    if (depth > kMaxDepth || at_ >= text_.size()) return false;
    const char c = text_[at_];
    if (c == '{') return Object(out, depth);
    if (c == '[') return Array(out, depth);
    if (c == '"') {
      out.kind = JsonValue::Kind::kString;
      return String(out.text);
    }
    if (c == 't' || c == 'f' || c == 'n') {
      const std::size_t start = at_;
      if (!Word("true") && !Word("false") && !Word("null")) return false;
      out.kind = c == 'n' ? JsonValue::Kind::kNull : JsonValue::Kind::kBool;
      out.text = std::string(text_.substr(start, at_ - start));
      return true;
    }
    return Number(out);
  }

  bool Digits() {
    const std::size_t start = at_;
    while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
    return at_ > start;
  }

  bool Number(JsonValue& out) {
    const std::size_t start = at_;
    Take('-');
    if (Take('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Take('e') || Take('E')) {
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    out.kind = JsonValue::Kind::kNumber;
    out.text = std::string(text_.substr(start, at_ - start));
    return true;
  }

  static int Hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  bool Hex4(unsigned& code) {
    if (at_ + 4 > text_.size()) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = Hex(text_[at_++]);
      if (digit < 0) return false;
      code = code * 16 + static_cast<unsigned>(digit);
    }
    return true;
  }

  static void Utf8(unsigned code, std::string& out) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool String(std::string& out) {
    if (!Take('"')) return false;
    out.clear();
    while (at_ < text_.size()) {
      const char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= text_.size()) return false;
      const char e = text_[at_++];
      switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code = 0;
          if (!Hex4(code)) return false;
          if (code >= 0xD800 && code < 0xDC00) {
            unsigned low = 0;
            if (!Word("\\u") || !Hex4(low) || low < 0xDC00 || low >= 0xE000) return false;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          } else if (code >= 0xDC00 && code < 0xE000) {
            return false;
          }
          Utf8(code, out);
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  bool Array(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::kArray;
    Take('[');
    Space();
    if (Take(']')) return true;
    for (;;) {
      Space();
      JsonValue item;
      if (!Value(item, depth + 1)) return false;
      out.items.push_back(std::move(item));
      Space();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Object(JsonValue& out, int depth) {
    out.kind = JsonValue::Kind::kObject;
    Take('{');
    Space();
    if (Take('}')) return true;
    for (;;) {
      Space();
      std::string key;
      if (!String(key)) return false;
      Space();
      if (!Take(':')) return false;
      Space();
      JsonValue value;
      if (!Value(value, depth + 1)) return false;
      out.members.emplace_back(std::move(key), std::move(value));
      Space();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const {
  for (const auto& [name, value] : members)
    if (name == key) return &value;
  return nullptr;
}

std::optional<JsonValue> ParseJson(std::string_view text) {
  JsonValue value;
  Parser parser(text);
  if (!parser.Document(value)) return std::nullopt;
  return value;
}

}  // namespace kmr
