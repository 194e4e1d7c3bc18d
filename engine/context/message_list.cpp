#include "engine/context/message_list.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/platform/platform.h"
#include "engine/window/window.h"

namespace kmr {

int FormatBounded(char* buffer, std::size_t size, const char* format, ...) {
  if (size == 0) return -1;
  va_list arguments;
  va_start(arguments, format);
  int wanted = std::vsnprintf(buffer, size, format, arguments);
  va_end(arguments);
  if (wanted < 0) {
    buffer[0] = '\0';
    return -1;
  }
  return static_cast<std::size_t>(wanted) < size ? wanted : -1;
}

void AddMessageLine(EngineWindow& window, const char* text, int length) {
  MessageList& list = window.messages;
  if (list.count >= kMessageLines) {
    list.first = (list.first + 1) % kMessageLines;
    list.count = kMessageLines - 1;
  }
  char* line = list.lines[(list.first + list.count) % kMessageLines];
  const std::size_t wanted = length > 0 ? static_cast<std::size_t>(length) : 0;
  const std::size_t copied = strnlen(text, std::min<std::size_t>(wanted, kMessageLineSize - 1));
  std::memcpy(line, text, copied);
  line[copied] = '\0';
  ++list.count;
  if (window.windowHandle != 0) RequestRepaint(window);
}

void LogMessage(EngineContext& context, const char* text, int length) {
  if (context.window == nullptr) return;
  if (length < 0) length = 0;
  const TimeOfDay now = LocalTimeOfDay();
  char line[kMessageLineSize + 12];
  const std::size_t bound =
      std::min<std::size_t>(static_cast<std::size_t>(length) + 11, sizeof line);
  // "HH:MM:SS text" cut to bound - 1 characters, as "%02d:%02d:%02d %s" gives it: the clock's
  // fields are 0..60, always two digits.
  const int fields[3] = {now.hour, now.minute, now.second};
  for (int f = 0; f < 3; ++f) {
    line[3 * f] = static_cast<char>('0' + fields[f] / 10);
    line[3 * f + 1] = static_cast<char>('0' + fields[f] % 10);
    line[3 * f + 2] = f < 2 ? ':' : ' ';
  }
  const std::size_t prefix = 9;  // bound is at least 11
  const std::size_t copied = strnlen(text, bound - 1 - prefix);
  std::memcpy(line + prefix, text, copied);
  line[prefix + copied] = '\0';
  AddMessageLine(*context.window, line, static_cast<int>(prefix + copied));
}

void LogMessage(EngineContext& context, const char* text) {
  LogMessage(context, text, static_cast<int>(std::strlen(text)));
}

}  // namespace kmr
