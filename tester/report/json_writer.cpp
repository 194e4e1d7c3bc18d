#include "tester/report/json_writer.h"

#include <cmath>

#include "tester/settings/text_convert.h"

namespace kmr {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (u < 0x20) {
      out += Format("\\u%04x", u);
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void JsonObject::Key(std::string_view key) {
  if (!body_.empty()) body_ += ",\n";
  body_ += "  " + JsonString(key) + ": ";
}

void JsonObject::Text(std::string_view key, std::string_view value) {
  Key(key);
  body_ += JsonString(value);
}

void JsonObject::Number(std::string_view key, double value) {
  Key(key);
  body_ += std::isfinite(value) ? Format("%.17g", value) : std::string("null");
}

void JsonObject::Integer(std::string_view key, long long value) {
  Key(key);
  body_ += std::to_string(value);
}

void JsonObject::Unsigneds(std::string_view key, const std::uint32_t* values, int count) {
  Key(key);
  body_ += '[';
  for (int i = 0; i < count; ++i) body_ += (i ? ", " : "") + std::to_string(values[i]);
  body_ += ']';
}

void JsonObject::Texts(std::string_view key, const std::vector<std::string>& values) {
  Key(key);
  if (values.empty()) {
    body_ += "[]";
    return;
  }
  body_ += "[\n";
  for (std::size_t i = 0; i < values.size(); ++i)
    body_ += (i ? ",\n    " : "    ") + JsonString(values[i]);
  body_ += "\n  ]";
}

void JsonObject::Null(std::string_view key) {
  Key(key);
  body_ += "null";
}

void JsonObject::Object(std::string_view key, const JsonObject& inner) {
  Key(key);
  // Strings hold no raw line breaks, so every break in the text is one between members.
  for (char c : inner.Finish()) {
    body_ += c;
    if (c == '\n') body_ += "  ";
  }
}

void JsonObject::Objects(std::string_view key, const std::vector<JsonObject>& items) {
  Key(key);
  if (items.empty()) {
    body_ += "[]";
    return;
  }
  body_ += "[\n";
  for (std::size_t i = 0; i < items.size(); ++i) {
    body_ += i ? ",\n    " : "    ";
    for (char c : items[i].Finish()) {
      body_ += c;
      if (c == '\n') body_ += "    ";
    }
  }
  body_ += "\n  ]";
}

}  // namespace kmr
