// SetLogFilePath's level suffix and path conversion, on paths built from the input as UTF-16.
// Every path lies inside a private temporary folder: the input never supplies a '/', so ".."
// and friends name at most that folder itself.
#include <dirent.h>
#include <iconv.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/log_file.h"
#include "engine/trading/trading_state.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

std::string g_folder;
kmr::EngineContext* g_context = nullptr;

// UTF-8 of the units as the engine should produce it: unpaired surrogates become U+FFFD,
// everything else goes through iconv.
std::string ExpectedUtf8(const std::u16string& units) {
  std::u16string clean;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char16_t c = units[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      clean += c;
      clean += units[++i];
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      clean += u'\uFFFD';
    } else {
      clean += c;
    }
  }
  iconv_t cd = iconv_open("UTF-8", "UTF-16LE");
  FUZZ_CHECK(cd != reinterpret_cast<iconv_t>(-1));
  std::string in(reinterpret_cast<const char*>(clean.data()), clean.size() * 2);
  std::string out(clean.size() * 4 + 4, '\0');
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char* outPtr = out.data();
  std::size_t outLeft = out.size();
  FUZZ_CHECK(iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1));
  iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

void EmptyFolder() {
  DIR* dir = opendir(g_folder.c_str());
  if (dir == nullptr) return;
  while (dirent* entry = readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("KMR_NO_WINDOW", "1", 1);
  char name[] = "/tmp/kmr-fuzz-log-XXXXXX";
  FUZZ_CHECK(mkdtemp(name) != nullptr);
  g_folder = name;
  g_context = kmr::CreateEngineContext(nullptr);
  const kmr::StrategyParameters parameters{0.25, 20, 8, 2.0, {1600}, 0, {40}};
  kmr::ConfigureEngine(*g_context, parameters);
  std::atexit([] {
    EmptyFolder();
    rmdir(g_folder.c_str());
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string path;
  for (char c : g_folder + "/") path += static_cast<char16_t>(c);
  const std::size_t prefix = path.size();
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (unit == u'/') unit = u'_';
    path += unit;
  }
  std::u16string terminated = path;
  terminated += u'\0';

  kmr::TradingState& trading = *g_context->trading;
  trading.journalEnabled = 0;
  kmr::SetLogFilePath(*g_context, terminated.data());
  FUZZ_CHECK(terminated == path + u'\0');  // the caller's string is left alone

  // What the engine should make of it: the string ends at its first NUL.
  std::u16string effective = path.substr(0, path.find(u'\0'));
  std::uint8_t level = 0;
  const std::size_t n = effective.size();
  if (n > 6 && effective[n - 3] == u' ' && effective[n - 2] == u'\\') {
    level = static_cast<std::uint8_t>((effective[n - 1] & 0xFF) - 0x30);
    effective.resize(n - 3);
  }
  FUZZ_CHECK(g_context->logLevel == level);
  FUZZ_CHECK(effective.size() >= prefix - 1);

  const std::string expected = ExpectedUtf8(effective);
  if (g_context->logOpen) {
    FUZZ_CHECK(g_context->logFile >= 0);
    FUZZ_CHECK(trading.journalEnabled == 1);
    // The descriptor names the expected file, inside the folder.
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", g_context->logFile);
    std::vector<char> target(PATH_MAX + 1, '\0');
    const ssize_t length = readlink(link, target.data(), PATH_MAX);
    FUZZ_CHECK(length > 0);
    const std::string opened(target.data(), static_cast<std::size_t>(length));
    FUZZ_CHECK(opened.rfind(g_folder + "/", 0) == 0);
    char* real = realpath(expected.c_str(), nullptr);
    FUZZ_CHECK(real != nullptr);
    FUZZ_CHECK(opened == real);
    free(real);
  } else {
    FUZZ_CHECK(g_context->logFile == -1);
    FUZZ_CHECK(trading.journalEnabled == 0);
  }
  kmr::CloseEngineLogFile(*g_context);
  FUZZ_CHECK(g_context->logOpen == 0);
  EmptyFolder();
  return 0;
}
