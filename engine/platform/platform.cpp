#include "engine/platform/platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

namespace kmr {

void DebugOutput(const char* text) {
  std::fprintf(stderr, "KMR: %s\n", text);
}

TimeOfDay LocalTimeOfDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return {0, 0, 0};
  return {local.tm_hour, local.tm_min, local.tm_sec};
}

int OpenLogFile(const char* utf8Path) {
  // Non-blocking only for the open itself: a FIFO without a reader would otherwise block the
  // caller, engine lock held, for ever. It fails instead, and the journal runs without a file.
  const int file = ::open(utf8Path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
  if (file >= 0) {
    const int flags = ::fcntl(file, F_GETFL);
    if (flags >= 0) ::fcntl(file, F_SETFL, flags & ~O_NONBLOCK);
  }
  return file;
}

void WriteLogFile(int file, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t written = ::write(file, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // the journal goes on without its file
    data += written;
    size -= static_cast<std::size_t>(written);
  }
}

void CloseLogFile(int file) {
  if (file >= 0) ::close(file);
}

}  // namespace kmr
