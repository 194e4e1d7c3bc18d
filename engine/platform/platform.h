// The engine's thin seam to the operating system: debugger output, the local clock and the
// log file. Everything else in the engine is plain computation.
#pragma once

#include <cstddef>

namespace kmr {

// One line to standard error, prefixed "KMR: ".
void DebugOutput(const char* text);

struct TimeOfDay {
  int hour;
  int minute;
  int second;
};
// The machine's local wall-clock time now.
TimeOfDay LocalTimeOfDay();

// Creates or empties the file for writing (others may read it); returns -1 when it fails.
int OpenLogFile(const char* utf8Path);
// Writes all of `data`; errors are ignored.
void WriteLogFile(int file, const char* data, std::size_t size);
void CloseLogFile(int file);

}  // namespace kmr
