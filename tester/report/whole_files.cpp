#include "tester/report/whole_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace kmr {

namespace {

std::string Failure(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool WriteAll(int fd, const std::string& bytes) {
  const char* at = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t written = write(fd, at, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = EIO;
      return false;
    }
    at += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::string WriteWholeFiles(const std::string& folder, const std::vector<WholeFile>& files) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return folder + ": cannot create the folder: " + error.message();
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) return Failure(folder, errno);
  if (!S_ISDIR(info.st_mode)) return folder + ": not a folder";
  const std::string prefix = folder.back() == '/' ? folder : folder + "/";
  // A target that is a folder (or anything but a file) would fail only at the rename.
  for (const WholeFile& file : files) {
    const std::string target = prefix + file.name;
    if (lstat(target.c_str(), &info) == 0 && !S_ISREG(info.st_mode))
      return target + ": cannot be written: it is not a regular file";
  }

  std::vector<std::string> temps;
  auto removeTemps = [&temps] {
    for (const std::string& temp : temps) unlink(temp.c_str());
  };
  for (const WholeFile& file : files) {
    const std::string target = prefix + file.name;
    std::string temp = prefix + "." + file.name + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
      const int code = errno;
      removeTemps();
      return Failure(target + ": cannot be written", code);
    }
    temps.push_back(temp);
    const bool written = WriteAll(fd, file.bytes) && fsync(fd) == 0;
    const int code = errno;
    fchmod(fd, 0644);
    if (close(fd) != 0 || !written) {
      removeTemps();
      return Failure(target + ": cannot be written", written ? errno : code);
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string target = prefix + files[i].name;
    if (rename(temps[i].c_str(), target.c_str()) != 0) {
      const int code = errno;
      temps.erase(temps.begin(), temps.begin() + static_cast<std::ptrdiff_t>(i));
      removeTemps();
      return Failure(target + ": cannot be written", code);
    }
  }
  if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return {};
}

}  // namespace kmr
