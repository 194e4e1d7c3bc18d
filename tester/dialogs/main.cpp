#include "tester/dialogs/kmr_tester_app.h"

int main(int argc, char** argv) {
  kmr::CKMRTesterApp app(argc, argv);
  kmr::TesterOptions options;
  if (!kmr::ParseTesterOptions(app.arguments(), options)) return 2;
  return app.Run(options);
}
