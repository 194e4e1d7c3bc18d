#include "tester/connector/engine_api.h"

namespace kmr {

void ConfigureEngine(const EngineApi& api, const TesterSettings& s) {
  const std::uint32_t* t = s.TrendCharts;
  const std::uint32_t* e = s.EntryCharts;
  auto word = [](std::uint32_t spec) { return static_cast<int>(spec); };
  api.InitializeKMR(s.TickSize, s.Smoothing1, s.Smoothing2, s.ReversalDev, word(t[0]), word(t[1]),
                    word(t[2]), word(t[3]), word(t[4]), word(t[5]), word(t[6]), word(t[7]),
                    s.ConsiderFirst, word(e[0]), word(e[1]), word(e[2]), word(e[3]), word(e[4]),
                    word(e[5]), word(e[6]), word(e[7]));
  api.SetKMRPriceParameters(s.DealSize, s.TickValue, s.DealComm, s.CadProfit, s.DcaInterval,
                            s.StdInterval, s.StdMinDeals, s.MaxNetPos, static_cast<int>(s.Flags));
  if (!s.LogFilePath.empty()) api.SetLogFilePath(s.LogFilePath.c_str());
}

}  // namespace kmr
