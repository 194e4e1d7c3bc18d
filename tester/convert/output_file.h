// The converter's output: written whole or not at all. A file is written to a temporary file
// beside it, synced and renamed over it at Commit; dropped without Commit, the temporary file
// goes and an older file of that name stays as it was. "-" writes to standard output.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

namespace kmr {

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void Open(const std::string& path);  // throws OutputError
  // Room for at least `size` bytes at the end of the buffer, flushing it when needed.
  char* Reserve(std::size_t size);
  void Advance(std::size_t size) { used_ += size; }
  void Commit();  // throws OutputError; the file is in place after it
  const std::string& Name() const { return path_; }

 private:
  void Flush();
  std::string path_, temporary_;
  int fd_ = -1;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

}  // namespace kmr
