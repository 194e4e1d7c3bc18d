// A screenshot run: sets the source, runs "Process ALL", saves pictures of the main window, the
// settings dialog and the engine's window, then closes the tester.
#pragma once

namespace kmr {

class CKMRTesterDlg;
struct TesterOptions;

void RunScreenshots(CKMRTesterDlg& dlg, const TesterOptions& options);

}  // namespace kmr
