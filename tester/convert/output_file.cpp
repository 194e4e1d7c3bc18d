#include "tester/convert/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kmr {

namespace {

constexpr std::size_t kBuffer = 1u << 20;

std::string Folder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

OutputFile::~OutputFile() {
  if (!temporary_.empty()) {
    close(fd_);
    unlink(temporary_.c_str());
  }
}

void OutputFile::Open(const std::string& path) {
  path_ = path;
  buffer_.reset(new char[kBuffer]);
  used_ = 0;
  if (path == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
    throw OutputError(path + ": cannot write: it is a folder");
  // A new name beside the file; created with the usual permissions (0666 less the umask).
  for (unsigned attempt = 0;; ++attempt) {
    const std::string name =
        path + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporary_ = name;
      return;
    }
    if (errno != EEXIST || attempt == 1000)
      throw OutputError(path + ": cannot write in " + Folder(path) + ": " + std::strerror(errno));
  }
}

void OutputFile::Flush() {
  std::size_t done = 0;
  while (done < used_) {
    const ssize_t wrote = write(fd_, buffer_.get() + done, used_ - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) throw OutputError(path_ + ": write error: " + std::strerror(errno));
    done += static_cast<std::size_t>(wrote);
  }
  used_ = 0;
}

char* OutputFile::Reserve(std::size_t size) {
  if (kBuffer - used_ < size) Flush();
  return buffer_.get() + used_;
}

void OutputFile::Commit() {
  Flush();
  if (temporary_.empty()) return;
  if (fsync(fd_) != 0) throw OutputError(path_ + ": cannot sync: " + std::strerror(errno));
  if (close(fd_) != 0) {
    fd_ = -1;
    throw OutputError(path_ + ": write error: " + std::strerror(errno));
  }
  fd_ = -1;
  if (rename(temporary_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    unlink(temporary_.c_str());
    temporary_.clear();
    throw OutputError(path_ + ": cannot put the file in place: " + std::strerror(error));
  }
  temporary_.clear();
  // The rename itself is made durable by syncing the folder.
  const int folder = open(Folder(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
}

}  // namespace kmr
