// A stand-in for the engine behind the connector's table: it records every call and hands out
// scripted commands.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "tester/connector/engine_api.h"

namespace kmr::test {

struct FakeEngine {
  std::vector<std::string> calls;  // e.g. "OrderFilled(3,0.2,1.1)"
  std::deque<long long> queue;     // what GetNextCommand hands out
  // Commands pushed when the trade tick with this index (0-based) arrives.
  std::map<int, std::vector<long long>> pushOnTick;
  int ticks = 0;
  int getNextCalls = 0;
  std::vector<double> historyPrices;
  std::vector<int> historyTimes;
  std::u16string logPath;
  int initArgs[19] = {};  // the 19 integers of InitializeKMR
  double initDoubles[2] = {};

  // Calls of one kind only, e.g. Calls("Order").
  std::vector<std::string> Calls(const std::string& prefix) const;
};

// Resets the fake and returns the table pointing at it.
EngineApi FakeApi();
FakeEngine& Fake();

}  // namespace kmr::test
