#include "tester/source/price_cache.h"

#include <sys/stat.h>

#include "tester/source/source_reader.h"

namespace kmr {

std::unique_ptr<PriceCache> PriceCache::Build(const std::string& path, bool readAsk) {
  SourceReader reader;
  if (!reader.Open(path)) return nullptr;
  reader.SetReadAsk(readAsk);
  auto cache = std::make_unique<PriceCache>();
  cache->path_ = path;
  cache->readAsk_ = readAsk;
  // A price line takes more than 16 bytes: room for them all at once spares the copies of growing.
  if (struct stat file; stat(path.c_str(), &file) == 0 && file.st_size > 0)
    cache->entries_.reserve(static_cast<std::size_t>(file.st_size) / 16 + 1);
  for (;;) {
    PriceCacheEntry entry;
    try {
      SourceLine line;
      if (!reader.ReadLine(line)) break;
      entry.time = line.time;
      entry.price = line.price;
      entry.ask = line.ask;
    } catch (const SourceError& error) {
      cache->errors_.push_back({error.line(), reader.LineNumber(), error.message()});
      entry.error = static_cast<std::uint32_t>(cache->errors_.size());
      entry.price = reader.LastPrice();
    }
    cache->entries_.push_back(entry);
  }
  return cache;
}

const PriceCache* FindPriceCache(const PriceCaches& caches, const std::string& path, bool readAsk) {
  for (const auto& cache : caches.caches)
    if (cache->Path() == path && cache->ReadsAsk() == readAsk) return cache.get();
  return nullptr;
}

// The reader's side, here beside the cache it reads: each entry is what ReadLine gave for
// that line, so the reader's state after it is set as ReadLine set it.
bool SourceReader::ReadCachedLine(SourceLine& out) {
  if (cacheAt_ >= cache_->Size()) {
    Close();
    return false;
  }
  const PriceCacheEntry& entry = cache_->Entry(cacheAt_++);
  lastPrice_ = entry.price;
  if (entry.error != 0) {
    const PriceCacheError& error = cache_->Error(entry);
    lineNumber_ = error.lineNumber;
    throw SourceError(path_, error.line, error.message);
  }
  ++lineNumber_;
  lastTickTime_ = entry.time;
  out.time = entry.time;
  out.price = entry.price;
  if (readAsk_) out.ask = entry.ask;
  return true;
}

}  // namespace kmr
