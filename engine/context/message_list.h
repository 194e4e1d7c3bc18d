// The 30 most recent message lines the engine window shows, and the bounded text formatting
// every engine text goes through.
#pragma once

#include <cstddef>

namespace kmr {

struct EngineContext;
struct EngineWindow;

constexpr int kMessageLines = 30;
// Room for the longest line the engine writes (a 255-character text plus its time stamp).
constexpr int kMessageLineSize = 272;

// Lines are kept in a ring so that dropping the oldest copies nothing.
struct MessageList {
  char lines[kMessageLines][kMessageLineSize];
  int first;  // slot of the oldest line
  int count;  // 0..30

  // The i-th line, 0 being the oldest.
  const char* Line(int i) const { return lines[(first + i) % kMessageLines]; }
  void Clear() {
    first = 0;
    count = 0;
  }
};

// Formats into `buffer` of `size` characters: at most size - 1 characters are written and a
// terminator always follows. Returns the length written, or -1 when the text was cut.
int FormatBounded(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Appends the first `length` characters of `text` to the window's list, dropping the oldest
// line when 30 are held, then asks an open window to repaint.
void AddMessageLine(EngineWindow& window, const char* text, int length);
// Writes "%02d:%02d:%02d %s" with the local wall-clock time; nothing before the first
// InitializeKMR (no window record yet).
void LogMessage(EngineContext& context, const char* text, int length);
void LogMessage(EngineContext& context, const char* text);

}  // namespace kmr
