// A price file read once: every outcome of SourceReader::ReadLine over the whole file, in
// order, so that many runs take its lines without reading and checking the file again. A
// sweep builds it before it forks its workers, which then share its pages.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kmr {

class SourceReader;

struct PriceCacheEntry {
  std::int32_t time = 0;     // the line's time (unused for an error)
  std::uint32_t error = 0;   // 0: a line; else 1 + its place in the error list
  double price = 0;          // the line's price; for an error the reader's last price after it
  double ask = 0;            // the third field (with the ask read only)
};

struct PriceCacheError {
  long line = 0;         // the line the error names
  long lineNumber = 0;   // the reader's line number after it
  std::string message;   // SourceError::message()
};

class PriceCache {
 public:
  // Reads `path` to its end through a SourceReader with SetReadAsk(`readAsk`). Null when the
  // file cannot be opened.
  static std::unique_ptr<PriceCache> Build(const std::string& path, bool readAsk);

  const std::string& Path() const { return path_; }
  bool ReadsAsk() const { return readAsk_; }
  std::size_t Size() const { return entries_.size(); }
  const PriceCacheEntry& Entry(std::size_t i) const { return entries_[i]; }
  const PriceCacheError& Error(const PriceCacheEntry& e) const { return errors_[e.error - 1]; }

 private:
  std::string path_;
  bool readAsk_ = false;
  std::vector<PriceCacheEntry> entries_;
  std::vector<PriceCacheError> errors_;
};

// The caches a run may take its price file from, each for one file name and ask setting.
struct PriceCaches {
  std::vector<std::unique_ptr<PriceCache>> caches;
};

// The cache of `path` read with the ask or without; null when there is none.
const PriceCache* FindPriceCache(const PriceCaches& caches, const std::string& path, bool readAsk);

}  // namespace kmr
