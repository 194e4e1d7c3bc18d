// Lines of a text file or of standard input, read in large blocks: UTF-8 (a byte order mark is
// dropped) or UTF-16 with its byte order mark, whose characters outside ASCII become '?'.
// A line ends at a line feed or at the end of the input; a carriage return before either is
// dropped. Memory stays bounded: a line longer than the limit is skipped and reported.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kmr {

class LineInput {
 public:
  LineInput();
  ~LineInput();
  LineInput(const LineInput&) = delete;
  LineInput& operator=(const LineInput&) = delete;

  // Opens `path`, or standard input for "-". False with the reason in `error` when it cannot.
  bool Open(const std::string& path, std::string& error);
  void Close();

  enum class Result { kLine, kTooLong, kEnd };
  // The next line; kTooLong counts the line but gives no text. A read error throws
  // std::runtime_error naming the file. The text stays valid until the next call.
  Result Next(std::string_view& line);

  long LineNumber() const { return lineNumber_; }  // of the line read last, 1-based
  std::uint64_t BytesRead() const { return bytesRead_; }
  std::uint64_t TotalBytes() const { return totalBytes_; }  // 0 when unknown (a pipe)
  const std::string& Name() const { return name_; }

 private:
  enum class Encoding { kUnknown, kUtf8, kUtf16Le, kUtf16Be };
  bool Fill();
  std::size_t ReadRaw(char* into, std::size_t room);
  std::size_t Decode(char* into, std::size_t room);

  int fd_ = -1;
  bool ownFd_ = false;
  std::string name_;
  Encoding encoding_ = Encoding::kUnknown;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0, begin_ = 0, end_ = 0;
  std::unique_ptr<char[]> raw_;  // undecoded UTF-16 bytes
  std::size_t rawBegin_ = 0, rawEnd_ = 0;
  bool eof_ = true;
  long lineNumber_ = 0;
  std::uint64_t bytesRead_ = 0, totalBytes_ = 0;
};

}  // namespace kmr
