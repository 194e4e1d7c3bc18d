#include "tests/sweep/sweep_programs.h"

#include <fstream>

namespace kmr::test {

Outcome Sweep(std::vector<std::string> args) {
  std::vector<std::string> all = {"--defaults", "--library", KMR_ENGINE_LIBRARY};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(KMR_SWEEP_PROGRAM, {all, {}, {}});
}

std::vector<std::string> SampleTradingSettings() {
  return {"--tick-size", "0.0001", "--tick-value", "10", "--deal-size", "1",
          "--spread", "0.0002", "--trend", "h200,t100,x50,25,12", "--consider-first", "3",
          "--entry", "20,o40,t60", "--flags", "5"};
}

std::vector<std::string> SampleSettings(const std::string& till) {
  std::vector<std::string> settings = {"--history-till", till};
  for (std::string& setting : SampleTradingSettings()) settings.push_back(std::move(setting));
  return settings;
}

std::string SampleHead(const std::string& folder, int lines) {
  std::ifstream in(KMR_SAMPLE_DATA, std::ios::binary);
  const std::string path = folder + "/sample_head.txt";
  std::ofstream out(path, std::ios::binary);
  std::string line;
  for (int i = 0; i < lines && std::getline(in, line); ++i) out << line << "\n";
  return path;
}

Outcome ReplayCommand(const std::string& command) {
  const std::size_t at = command.find("kmr-replay ");
  std::string line = command;
  if (at != std::string::npos) line.replace(at, 10, KMR_REPLAY_PROGRAM);
  return RunProgram("/bin/sh", {{"-c", line + " --json"}, {}, {}});
}

std::vector<JsonValue> Rows(const std::string& path) {
  std::vector<JsonValue> rows;
  for (const std::string& line : Lines(Slurp(path))) {
    std::optional<JsonValue> value = ParseJson(line);
    EXPECT_TRUE(value.has_value()) << line;
    if (value) rows.push_back(std::move(*value));
  }
  return rows;
}

}  // namespace kmr::test
