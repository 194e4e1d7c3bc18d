// Runs a program of the build as its own process, with its output caught, and the files of a
// test in a private temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace kmr::test {

struct Outcome {
  int status = -1;  // the exit status; -1 when the program did not exit by itself
  std::string out, err;
  bool timedOut = false;  // killed at its deadline
};

struct RunSpec {
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> env;  // set over this process's
  std::string input;                                     // its standard input
  int seconds = 0;  // when above 0, killed after this long
};

// `program` without a slash is looked up on PATH.
Outcome RunProgram(const std::string& program, const RunSpec& spec);

std::string Slurp(const std::string& path);
bool Has(const std::string& text, const std::string& part);
std::vector<std::string> Lines(const std::string& text);

class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string WriteFile(const std::string& name, const std::string& content);
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  std::string dir_;
};

}  // namespace kmr::test
