// A small writer of one JSON object (objects may nest), doubles with 17 significant digits so they
// read back exactly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kmr {

class JsonObject {
 public:
  void Text(std::string_view key, std::string_view value);
  void Number(std::string_view key, double value);
  void Integer(std::string_view key, long long value);
  void Unsigneds(std::string_view key, const std::uint32_t* values, int count);
  void Texts(std::string_view key, const std::vector<std::string>& values);
  void Null(std::string_view key);
  // `inner` as the value of `key`, indented one level deeper.
  void Object(std::string_view key, const JsonObject& inner);
  void Objects(std::string_view key, const std::vector<JsonObject>& items);  // an array of them
  std::string Finish() const { return body_.empty() ? "{}" : "{\n" + body_ + "\n}"; }

 private:
  void Key(std::string_view key);
  std::string body_;
};

std::string JsonString(std::string_view text);

}  // namespace kmr
