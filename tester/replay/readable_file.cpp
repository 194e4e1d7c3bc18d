#include "tester/replay/readable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kmr {

std::string UnreadableFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return path + ": cannot open: " + std::strerror(errno);
  struct stat info;
  const bool isFolder = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  close(fd);
  return isFolder ? path + ": cannot open: it is a folder" : std::string();
}

}  // namespace kmr
