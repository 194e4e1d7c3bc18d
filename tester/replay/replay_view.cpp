#include "tester/replay/replay_view.h"

#include "tester/processing/display_format.h"
#include "tester/settings/text_convert.h"

namespace kmr {

// The edits carry the values with all their digits, so they read back to the same doubles.
ReplayView::ReplayView(std::string sourceFile, const TesterSettings& settings,
                       LocalDateTime historyTill, bool quotesFromFile)
    : sourceFile_(std::move(sourceFile)),
      spread_(Format("%.17g", settings.Spread)),
      stop_(Format("%.17g", settings.StopDistance)),
      limit_(Format("%.17g", settings.LimitDistance)),
      historyTill_(historyTill),
      quotesFromFile_(quotesFromFile) {}

void ReplayView::AddLogLine(std::string_view text, bool withTickTime, std::int32_t tickTime) {
  log.push_back(FormatLogLine(text, withTickTime, tickTime));
}

}  // namespace kmr
