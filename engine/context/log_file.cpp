#include "engine/context/log_file.h"

#include <string>

#include "engine/context/engine_context.h"
#include "engine/platform/platform.h"
#include "engine/trading/trading_state.h"

namespace kmr {

namespace {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD rather than a broken byte sequence.
std::string ToUtf8(const char16_t* text, std::size_t length) {
  std::string out;
  out.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

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
  const std::string name = ToUtf8(path, length);

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
