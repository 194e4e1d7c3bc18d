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
// The fast path reads a line in place only this far from the end of the buffer.
constexpr std::size_t kCommonRoom = 48;

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
  cache_ = nullptr;
  cacheChosen_ = false;
  cacheAt_ = 0;
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
  std::memcpy(&date_, "19700101", sizeof date_);
  dateNaive_ = 0;
  times_ = LineTimeConverter();  // the zone may have changed since the last file
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

bool SourceReader::SetDate(std::uint64_t date) {
  unsigned char c[8];
  std::memcpy(c, &date, sizeof c);
  int digit[8];
  for (int i = 0; i < 8; ++i) {
    digit[i] = c[i] - '0';
    if (c[i] < '0' || c[i] > '9') return false;
  }
  LocalDateTime f;
  f.year = 1000 * digit[0] + 100 * digit[1] + 10 * digit[2] + digit[3];
  f.month = 10 * digit[4] + digit[5];
  f.day = 10 * digit[6] + digit[7];
  if (f.year < 1970 || f.month < 1 || f.month > 12 || f.day < 1 || f.day > 31) return false;
  date_ = date;
  dateNaive_ = NaiveSeconds(f);
  return true;
}

// Inlined into ReadLine, its one caller: the call costs a line a tenth of its time.
// "YYYYMMDD?HHMMSS;" with digits and a valid date and time, then a price of at most 15 digits
// (a '-' and a '.' allowed) ending the line or its field: read in place, without finding the line
// first. False, with nothing read, for anything else, which the plain path then reads. Inlined
// into ReadLine, its one caller: the call alone took about a tenth of a line's time.
[[gnu::always_inline]] inline bool SourceReader::ReadCommonLine(SourceLine& out) {
  const char* const base = buffer_.get();
  const char* const p = base + begin_;
  const char* const end = base + end_;
  std::uint64_t date;
  std::memcpy(&date, p, sizeof date);
  if (date != date_ && !SetDate(date)) return false;
  if (p[8] == '\n' || p[8] == ';' || p[15] != ';') return false;
  auto digit = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(p[i]) - '0'); };
  const unsigned h1 = digit(9), h2 = digit(10), m1 = digit(11), m2 = digit(12), s1 = digit(13),
                 s2 = digit(14);
  if (h1 > 9 || h2 > 9 || m1 > 9 || m2 > 9 || s1 > 9 || s2 > 9) return false;
  const unsigned hour = 10 * h1 + h2, minute = 10 * m1 + m2, second = 10 * s1 + s2;
  if (hour > 23 || minute > 59 || second > 59) return false;

  const char* q = p + 16;
  const bool negative = *q == '-';
  q += negative;
  std::uint64_t mantissa = 0;
  int digits = 0, decimals = 0;
  for (unsigned d; q < end && (d = static_cast<unsigned char>(*q) - '0') <= 9; ++q, ++digits)
    mantissa = mantissa * 10 + d;
  if (q < end && *q == '.') {
    ++q;
    for (unsigned d; q < end && (d = static_cast<unsigned char>(*q) - '0') <= 9;
         ++q, ++digits, ++decimals)
      mantissa = mantissa * 10 + d;
  }
  if (digits == 0 || digits > 15 || q >= end) return false;
  const char* lineEnd = q;  // one past the line's last character
  const char* next;         // the following line's first byte
  if (*q == '\n') {
    next = q + 1;
  } else if (*q == '\r' && q + 1 < end && q[1] == '\n') {
    next = q + 2;
  } else if (*q == ';') {
    const void* found = std::memchr(q, '\n', static_cast<std::size_t>(end - q));
    if (found == nullptr) return false;
    lineEnd = static_cast<const char*>(found);
    next = lineEnd + 1;
    if (lineEnd[-1] == '\r') --lineEnd;
  } else {
    return false;  // an exponent, a hexadecimal number, anything strtod reads further
  }
  std::int32_t time;
  if (!times_.ConvertNaive(dateNaive_ + hour * 3600 + minute * 60 + second, time)) return false;
  if (readAsk_) {
    const std::optional<std::string_view> field =
        AskField(std::string_view(p, static_cast<std::size_t>(lineEnd - p)));
    const std::optional<double> ask = field ? ParseDecimal(*field) : std::nullopt;
    if (!ask) return false;
    out.ask = *ask;
  }
  // Both the digits and the power of ten are exact doubles: the quotient is strtod's value. The
  // prices of a file keep to a narrow range, so most quotients were worked out before.
  const std::uint64_t key = mantissa | std::uint64_t(decimals) << 50 | std::uint64_t(negative) << 55;
  PriceMemo& memo = prices_[mantissa % kPriceMemo];
  if (memo.key != key) {
    const double value = static_cast<double>(mantissa) / kPowersOfTen[decimals];
    memo.key = key;
    memo.value = negative ? -value : value;
  }
  lastPrice_ = memo.value;
  lastTickTime_ = time;
  out.time = time;
  out.price = lastPrice_;
  begin_ = static_cast<std::size_t>(next - base);
  ++lineNumber_;
  return true;
}

bool SourceReader::ReadLine(SourceLine& out) {
  if (!plainOnly_ && end_ - begin_ >= kCommonRoom && ReadCommonLine(out)) return true;
  return ReadPlainLine(out);
}

bool SourceReader::ReadPlainLine(SourceLine& out) {
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
