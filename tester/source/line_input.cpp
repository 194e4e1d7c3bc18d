#include "tester/source/line_input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kmr {

namespace {

constexpr std::size_t kBlock = 1u << 20;
constexpr std::size_t kMaxLine = 64u << 20;

}  // namespace

LineInput::LineInput() = default;
LineInput::~LineInput() {
  Close();
}

bool LineInput::Open(const std::string& path, std::string& error) {
  Close();
  int fd = 0;
  if (path == "-") {
    name_ = "standard input";
  } else {
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      error = std::strerror(errno);
      return false;
    }
    ownFd_ = true;
    name_ = path;
  }
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    if (ownFd_) close(fd);
    ownFd_ = false;
    error = "it is a folder";
    return false;
  }
  totalBytes_ =
      fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  if (ownFd_) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  fd_ = fd;
  if (!buffer_) {
    capacity_ = kBlock;
    buffer_.reset(new char[capacity_]);
  }
  begin_ = end_ = rawBegin_ = rawEnd_ = 0;
  eof_ = false;
  lineNumber_ = 0;
  bytesRead_ = 0;
  encoding_ = Encoding::kUnknown;
  return true;
}

void LineInput::Close() {
  if (fd_ >= 0 && ownFd_) close(fd_);
  fd_ = -1;
  ownFd_ = false;
  eof_ = true;
  begin_ = end_ = 0;
}

std::size_t LineInput::ReadRaw(char* into, std::size_t room) {
  for (;;) {
    const ssize_t got = read(fd_, into, room);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      eof_ = true;
      throw std::runtime_error(name_ + ": read error: " + std::strerror(error));
    }
    bytesRead_ += static_cast<std::uint64_t>(got);
    return static_cast<std::size_t>(got);
  }
}

// UTF-16 code units to single bytes: ASCII stays, everything else becomes '?'.
std::size_t LineInput::Decode(char* into, std::size_t room) {
  const bool little = encoding_ == Encoding::kUtf16Le;
  std::size_t made = 0;
  while (made < room && rawEnd_ - rawBegin_ >= 2) {
    const auto a = static_cast<unsigned char>(raw_[rawBegin_]);
    const auto b = static_cast<unsigned char>(raw_[rawBegin_ + 1]);
    const unsigned unit = little ? (a | (b << 8)) : ((a << 8) | b);
    into[made++] = unit < 0x80 ? static_cast<char>(unit) : '?';
    rawBegin_ += 2;
  }
  return made;
}

bool LineInput::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == capacity_) {
    if (capacity_ >= kMaxLine) return false;
    std::unique_ptr<char[]> bigger(new char[capacity_ * 2]);
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }
  if (encoding_ == Encoding::kUnknown) {
    // The first block tells the encoding by its byte order mark, or by the zero bytes that
    // ASCII text in UTF-16 has.
    std::size_t got = ReadRaw(buffer_.get(), kBlock);
    while (got < 4) {
      const std::size_t more = ReadRaw(buffer_.get() + got, kBlock - got);
      if (more == 0) break;
      got += more;
    }
    if (got == 0) eof_ = true;
    const auto* b = reinterpret_cast<const unsigned char*>(buffer_.get());
    std::size_t skip = 0;
    encoding_ = Encoding::kUtf8;
    if (got >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
      skip = 3;
    } else if (got >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
      encoding_ = Encoding::kUtf16Le, skip = 2;
    } else if (got >= 2 && b[0] == 0xFE && b[1] == 0xFF) {
      encoding_ = Encoding::kUtf16Be, skip = 2;
    } else if (got >= 4 && b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0) {
      encoding_ = Encoding::kUtf16Le;
    } else if (got >= 4 && b[0] == 0 && b[1] != 0 && b[2] == 0 && b[3] != 0) {
      encoding_ = Encoding::kUtf16Be;
    }
    if (encoding_ == Encoding::kUtf8) {
      begin_ = skip;
      end_ = got;
      return true;
    }
    raw_.reset(new char[kBlock]);
    std::memcpy(raw_.get(), buffer_.get() + skip, got - skip);
    rawBegin_ = 0;
    rawEnd_ = got - skip;
    end_ = Decode(buffer_.get(), capacity_);
    return true;
  }
  if (encoding_ == Encoding::kUtf8) {
    const std::size_t got = ReadRaw(buffer_.get() + end_, capacity_ - end_);
    if (got == 0) eof_ = true;
    end_ += got;
    return true;
  }
  if (rawEnd_ - rawBegin_ < 2) {
    if (rawBegin_ > 0) {
      std::memmove(raw_.get(), raw_.get() + rawBegin_, rawEnd_ - rawBegin_);
      rawEnd_ -= rawBegin_;
      rawBegin_ = 0;
    }
    const std::size_t got = ReadRaw(raw_.get() + rawEnd_, kBlock - rawEnd_);
    if (got == 0) eof_ = true;
    rawEnd_ += got;
  }
  end_ += Decode(buffer_.get() + end_, capacity_ - end_);
  return true;
}

LineInput::Result LineInput::Next(std::string_view& line) {
  if (fd_ < 0) return Result::kEnd;
  std::size_t searched = begin_;
  for (;;) {
    char* const base = buffer_.get();
    if (void* found = std::memchr(base + searched, '\n', end_ - searched)) {
      const std::size_t newline = static_cast<std::size_t>(static_cast<char*>(found) - base);
      std::size_t stop = newline;
      if (stop > begin_ && base[stop - 1] == '\r') --stop;
      line = std::string_view(base + begin_, stop - begin_);
      begin_ = newline + 1;
      ++lineNumber_;
      return Result::kLine;
    }
    if (eof_) {
      if (begin_ == end_) return Result::kEnd;
      std::size_t stop = end_;
      if (base[stop - 1] == '\r') --stop;
      line = std::string_view(base + begin_, stop - begin_);
      begin_ = end_;
      ++lineNumber_;
      return Result::kLine;
    }
    searched = end_ - begin_;
    if (!Fill()) {
      // Too long to hold: skip it up to its line end.
      ++lineNumber_;
      begin_ = end_ = 0;
      while (!eof_) {
        Fill();
        if (void* found = std::memchr(buffer_.get(), '\n', end_)) {
          begin_ = static_cast<std::size_t>(static_cast<char*>(found) - buffer_.get()) + 1;
          break;
        }
        begin_ = end_ = 0;
      }
      return Result::kTooLong;
    }
    searched += begin_;
  }
}

}  // namespace kmr
