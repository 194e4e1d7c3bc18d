#include "tester/source/source_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tester/settings/text_convert.h"
#include "tester/source/price_cache.h"

namespace kmr {

namespace {

constexpr std::size_t kInitialBuffer = 1u << 20;
// A line may grow the buffer up to this size; a longer one is skipped and reported.
constexpr std::size_t kMaxLine = 64u << 20;

std::string Shown(std::string_view line) {
  std::string text(line.substr(0, 15));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return text;
}

// The line, up to 60 characters, for an error that is not about its time stamp.
std::string ShownLine(std::string_view line) {
  std::string text(line.substr(0, 60));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return line.size() > 60 ? text + "..." : text;
}

}  // namespace

SourceError::SourceError(const std::string& file, long line, const std::string& message)
    : std::runtime_error(file + ":" + std::to_string(line) + ": " + message),
      file_(file),
      line_(line),
      message_(message) {}

SourceReader::SourceReader() = default;
SourceReader::~SourceReader() {
  Close();
}

bool SourceReader::Open(const std::string& path) {
  Close();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    close(fd);
    return false;
  }
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  if (!buffer_) {
    capacity_ = kInitialBuffer;
    buffer_.reset(new char[capacity_]);
  }
  fd_ = fd;
  path_ = path;
  begin_ = end_ = 0;
  eof_ = false;
  lineNumber_ = 0;
  cache_ = nullptr;
  cacheChosen_ = false;
  cacheAt_ = 0;
  return true;
}

void SourceReader::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  begin_ = end_ = 0;
  eof_ = true;
}

bool SourceReader::Fill() {
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
  for (;;) {
    const ssize_t got = read(fd_, buffer_.get() + end_, capacity_ - end_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      eof_ = true;
      throw SourceError(path_, lineNumber_ + 1, std::string("read error: ") + std::strerror(error));
    }
    if (got == 0) eof_ = true;
    end_ += static_cast<std::size_t>(got);
    return true;
  }
}

bool SourceReader::NextRawLine(std::string_view& line) {
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
      return true;
    }
    if (eof_) {
      if (begin_ == end_) return false;
      // The last line without a line feed. A carriage return that ends the file ends the line
      // as one before a line feed does, so a line reads the same whether or not the file's last
      // line feed is there.
      std::size_t stop = end_;
      if (base[stop - 1] == '\r') --stop;
      line = std::string_view(base + begin_, stop - begin_);
      begin_ = end_;
      ++lineNumber_;
      return true;
    }
    searched = end_ - begin_;  // offsets after Fill moves the unread rest to the front
    if (!Fill()) {
      // Too long to hold: drop it up to its line end and report it.
      ++lineNumber_;
      const long number = lineNumber_;
      begin_ = end_ = 0;
      while (!eof_) {
        Fill();
        if (void* found = std::memchr(buffer_.get(), '\n', end_)) {
          begin_ = static_cast<std::size_t>(static_cast<char*>(found) - buffer_.get()) + 1;
          break;
        }
        begin_ = end_ = 0;
      }
      throw SourceError(path_, number, "line too long");
    }
    searched += begin_;
  }
}

bool SourceReader::ReadLine(SourceLine& out) {
  if (fd_ < 0) return false;
  if (caches_ != nullptr) {
    if (!cacheChosen_) cache_ = FindPriceCache(*caches_, path_, readAsk_), cacheChosen_ = true;
    if (cache_ != nullptr) return ReadCachedLine(out);
  }
  std::string_view line;
  if (!NextRawLine(line)) {
    Close();
    return false;
  }
  if (line.size() < 14)
    throw SourceError(path_, lineNumber_,
                      "invalid line \"" + Shown(line) + "\": shorter than 14 characters");
  const LocalDateTime fields = LineFields(line);
  lastPrice_ = ParsePrice(PriceField(line));
  const std::optional<std::int32_t> time = times_.Convert(fields);
  if (!time) throw SourceError(path_, lineNumber_, "invalid date or time \"" + Shown(line) + "\"");
  if (readAsk_) {
    const std::optional<std::string_view> field = AskField(line);
    const std::optional<double> ask = field ? ParseDecimal(*field) : std::nullopt;
    if (!ask)
      throw SourceError(path_, lineNumber_,
                        "no valid ask in \"" + ShownLine(line) +
                            "\": bid/ask quotes need lines \"YYYYMMDD HHMMSS;bid;ask\"");
    out.ask = *ask;
  }
  lastTickTime_ = *time;
  out.time = *time;
  out.price = lastPrice_;
  return true;
}

std::string CheckFile(SourceReader& reader, const std::string& path, bool& opened) {
  opened = reader.Open(path);
  if (!opened) return "File cannot be open";
  long count = 0;
  std::int32_t start = 0, finish = 0;
  double lowest = 0.0, highest = 0.0;
  try {
    SourceLine line;
    while (reader.ReadLine(line)) {
      if (count == 0) {
        start = line.time;
        lowest = highest = line.price;
      }
      if (line.price < lowest) lowest = line.price;
      if (line.price > highest) highest = line.price;
      finish = line.time;
      ++count;
    }
  } catch (...) {
    reader.Close();
    throw;
  }
  reader.Close();
  if (count == 0) return "0 lines";
  const char* kFormat = "%Y.%m.%d %H:%M:%S";
  return Format("%li lines\r\nData range: %s   -   %s\r\nPrice range: %.5f   -   %.5f", count,
                FormatLocalTime(start, kFormat).c_str(), FormatLocalTime(finish, kFormat).c_str(),
                lowest, highest);
}

}  // namespace kmr
