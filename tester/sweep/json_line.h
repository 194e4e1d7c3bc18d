// A reader of one JSON value, as the results file holds one per line: objects, arrays, strings
// (escapes decoded), and numbers and literals kept as their text, so that a value read back is
// written out again with the same bytes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kmr {

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  std::string text;  // a string's decoded text; a number's or literal's own text
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  const JsonValue* Find(std::string_view key) const;  // the first member named `key`
};

// The value `text` holds, with nothing but white space around it; nullopt when it is not
// well-formed JSON or nests deeper than 64 levels.
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace kmr
