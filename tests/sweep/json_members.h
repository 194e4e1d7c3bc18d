// Reading the members of the sweep's and the walk-forward's JSON in tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tester/sweep/json_line.h"

namespace kmr::test {

// The member's text, or "<missing NAME>".
inline std::string Member(const JsonValue& object, const std::string& name) {
  const JsonValue* value = object.Find(name);
  return value != nullptr ? value->text : "<missing " + name + ">";
}

// The member (a failure, and an empty value, when it is missing).
inline const JsonValue& Object(const JsonValue& object, const std::string& name) {
  static const JsonValue kNone;
  const JsonValue* value = object.Find(name);
  EXPECT_NE(value, nullptr) << name;
  return value != nullptr ? *value : kNone;
}

}  // namespace kmr::test
