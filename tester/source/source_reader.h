// The reader of the tester's price file: one price per line, local date and time in the first 15
// characters, the price after the first ';'. Streams the file with large buffered reads.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tester/source/line_time.h"

namespace kmr {

// An invalid line: what() reads "FILE:LINE: message".
class SourceError : public std::runtime_error {
 public:
  SourceError(const std::string& file, long line, const std::string& message);
  const std::string& file() const { return file_; }
  long line() const { return line_; }
  const std::string& message() const { return message_; }

 private:
  std::string file_;
  long line_;
  std::string message_;
};

struct SourceLine {
  std::int32_t time = 0;  // seconds since 1970 UTC
  double price = 0.0;
  double ask = 0;  // the third field, read only with SetReadAsk(true)
};

class PriceCache;
struct PriceCaches;

class SourceReader {
 public:
  SourceReader();
  ~SourceReader();
  SourceReader(const SourceReader&) = delete;
  SourceReader& operator=(const SourceReader&) = delete;

  // Closes the file if open, then opens `path`. False when it cannot be opened.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // The next line: true with its time and price; false at the end of the file, which closes it.
  // An invalid line throws SourceError; the reader stays usable and the next call reads the
  // following line. The last price is updated before the date is checked.
  bool ReadLine(SourceLine& out);

  // Bid/ask lines "YYYYMMDD HHMMSS;bid;ask": the third field must then be a number, else the
  // line is invalid. Off by default: a third field is then ignored.
  void SetReadAsk(bool read) { readAsk_ = read; }
  bool ReadsAsk() const { return readAsk_; }

  // Lines from `caches` instead of the file when one holds this file name with the reader's ask
  // setting: the same lines, errors, line numbers and last price without reading the file
  // again. The file is still opened (and must open) as without them. Null: none.
  void SetCaches(const PriceCaches* caches) { caches_ = caches; }

  const std::string& FileName() const { return path_; }
  long LineNumber() const { return lineNumber_; }  // of the line read last, 1-based
  double LastPrice() const { return lastPrice_; }
  std::int32_t LastTickTime() const { return lastTickTime_; }

 private:
  bool NextRawLine(std::string_view& line);
  bool Fill();
  bool ReadCachedLine(SourceLine& out);  // in price_cache.cpp

  int fd_ = -1;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::size_t begin_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte read from the file
  bool eof_ = false;
  long lineNumber_ = 0;
  double lastPrice_ = 0.0;
  std::int32_t lastTickTime_ = 0;
  bool readAsk_ = false;
  LineTimeConverter times_;
  const PriceCaches* caches_ = nullptr;
  const PriceCache* cache_ = nullptr;  // chosen at the first line after Open
  bool cacheChosen_ = false;
  std::size_t cacheAt_ = 0;
};

// "Check File": the summary of a whole file, "%li lines\r\nData range: %s   -   %s\r\n
// Price range: %.5f   -   %.5f". The reader is opened on `path` and closed at the end, also
// when a line is invalid (the SourceError is then passed on). An empty file gives "0 lines".
// Throws nothing else; a file that cannot be opened gives "File cannot be open" and false in
// `opened`.
std::string CheckFile(SourceReader& reader, const std::string& path, bool& opened);

}  // namespace kmr
