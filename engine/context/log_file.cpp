#include "engine/context/log_file.h"

#include <string>

#include "common/utf16.h"
#include "engine/context/engine_context.h"
#include "engine/platform/platform.h"
#include "engine/trading/trading_state.h"

namespace kmr {

void SetLogFilePath(EngineContext& context, const char16_t* path) {
  context.logLevel = 0;
  if (path == nullptr) return;
  std::size_t length = 0;
  while (path[length] != 0) ++length;

  // " \<digit>" at the end chooses the journal level. It is cut off our copy only: hosts that
  // keep their string and pass it again get the same level every time.
  if (length > 6 && path[length - 3] == u' ' && path[length - 2] == u'\\') {
    context.logLevel = static_cast<std::uint8_t>((path[length - 1] & 0xFF) - 0x30);
    length -= 3;
  }
  const std::string name = Utf16ToUtf8(std::u16string_view(path, length));

  // A second call replaces the first file instead of leaking its descriptor.
  CloseEngineLogFile(context);
  context.logFile = OpenLogFile(name.c_str());
  if (context.logFile < 0) return;  // no file: the engine works on without one
  context.logOpen = 1;
  if (context.trading) context.trading->journalEnabled = 1;
}

void CloseEngineLogFile(EngineContext& context) {
  if (context.logOpen) CloseLogFile(context.logFile);
  context.logFile = -1;
  context.logOpen = 0;
}

}  // namespace kmr
