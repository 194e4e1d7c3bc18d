// Checks the engine library as a host sees it: loads it with dlopen, binds the fifteen exports
// and drives them. Usage: conformance_host LIBRARY [PRICEFILE OUTPUTDIR]
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "tests/conformance/checks.h"
#include "tests/conformance/engine_api.h"
#include "tests/conformance/interface_checks.h"
#include "tests/conformance/replay_checks.h"

int g_checks = 0;
int g_failures = 0;

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4) {
    std::fprintf(stderr, "usage: %s LIBRARY [PRICEFILE OUTPUTDIR]\n", argv[0]);
    return 2;
  }
  setenv("KMR_NO_WINDOW", "1", 0);
  EngineApi api;
  std::string error;
  if (!BindEngine(argv[1], api, error)) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
    return 3;
  }
  std::printf("bound the fifteen exports of %s\n", argv[1]);

  char scratch[] = "/tmp/kmr-conformance-XXXXXX";
  if (mkdtemp(scratch) == nullptr) return 2;
  RunInterfaceChecks(api, scratch);
  std::printf("interface: guards, results and log file opening checked\n");
  if (argc == 4) {
    RunReplayChecks(api, argv[2], argv[3]);
    std::printf("replay of %s checked\n", argv[2]);
  }
  std::string cleanup = std::string("rm -rf '") + scratch + "'";
  if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", scratch);

  std::printf("%d passed, %d failed\n", g_checks - g_failures, g_failures);
  return g_failures == 0 ? 0 : 1;
}
