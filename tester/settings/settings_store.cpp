#include "tester/settings/settings_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/chart_spec.h"

namespace kmr {

namespace {

// What differs between the layouts; everything else follows one pattern.
struct Layout {
  int leadingDoubles;   // Spread [, StopDistance [, LimitDistance]]
  int intsAfterFloats;  // delay copy, DcaInterval [, StdInterval [, StdMinDeals]]
  bool considerFirst;   // in the tail, before HistoryTill
  bool historyTill;
  bool flags;
  bool countedTexts;  // n, LogFilePath, m, SourcePath; else the rest of the value is the path
};

constexpr Layout kLayouts[7] = {
    {1, 2, false, false, false, false}, {1, 3, false, false, false, false},
    {1, 4, false, false, false, false}, {2, 4, false, true, false, true},
    {2, 4, false, true, true, true},    {3, 4, false, true, true, true},
    {3, 4, true, true, true, true},
};

constexpr std::size_t kMaxValueSize = 16u << 20;

// Little-endian reads and writes at a position that the caller has checked.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::size_t pos = 0;
  bool Has(std::size_t count) const { return count <= bytes_.size() - pos; }
  std::uint32_t U32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= std::uint32_t{bytes_[pos + i]} << (8 * i);
    pos += 4;
    return v;
  }
  std::int32_t I32() { return static_cast<std::int32_t>(U32()); }
  double F64() {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= std::uint64_t{bytes_[pos + i]} << (8 * i);
    pos += 8;
    double d;
    std::memcpy(&d, &v, sizeof d);
    return d;
  }
  std::u16string Text(std::size_t units) {
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i)
      text[i] = static_cast<char16_t>(bytes_[pos + 2 * i] | (bytes_[pos + 2 * i + 1] << 8));
    pos += 2 * units;
    return text;
  }
  std::size_t Size() const { return bytes_.size(); }

 private:
  std::span<const std::uint8_t> bytes_;
};

class Writer {
 public:
  std::vector<std::uint8_t> bytes;
  void U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
  void F64(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, sizeof v);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void Text(const std::u16string& text) {
    for (char16_t c : text) {
      bytes.push_back(static_cast<std::uint8_t>(c));
      bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
  }
};

std::uint32_t OldChartWord(std::int32_t stored) {
  if (stored >= 0) return static_cast<std::uint32_t>(stored);
  return (0u - static_cast<std::uint32_t>(stored)) | kTrendNoHedge;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr)
    return entry->pw_dir;
  return {};
}

std::string ErrnoText(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

bool MakeFolders(const std::string& folder, std::string& error) {
  for (std::size_t slash = 1; slash <= folder.size(); ++slash) {
    if (slash != folder.size() && folder[slash] != '/') continue;
    const std::string part = folder.substr(0, slash);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      error = ErrnoText("cannot create " + part, errno);
      return false;
    }
  }
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    error = folder + " is not a folder";
    return false;
  }
  return true;
}

bool WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// 1 read, 0 missing, -1 present but unreadable or too big.
int ReadValue(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return 0;
    error = ErrnoText("cannot read " + path, errno);
    return -1;
  }
  bytes.clear();
  std::uint8_t chunk[4096];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = ErrnoText("cannot read " + path, errno);
      close(fd);
      return -1;
    }
    if (got == 0) break;
    if (bytes.size() + static_cast<std::size_t>(got) > kMaxValueSize) {
      error = path + " is too large to be a settings value";
      close(fd);
      return -1;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  close(fd);
  return 1;
}

}  // namespace

std::string SettingsFolder() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg != '\0')
    base = xdg;
  else
    base = HomeFolder() + "/.config";
  return base + "/Vantrel/KMRTester";
}

std::string SettingsValueName(int layout) {
  return "KMRTesterSettings_V" + std::to_string(layout);
}

std::size_t LayoutFixedSize(int layout) {
  const Layout& l = kLayouts[layout];
  std::size_t size = 8 * l.leadingDoubles + 7 * 8 + 4 * l.intsAfterFloats + 2 * 4 + 64;
  size += 4 * (l.considerFirst + l.historyTill + l.flags);
  if (l.countedTexts) size += 8;
  return size;
}

bool DecodeSettings(int layout, std::span<const std::uint8_t> value, SettingsRecord& record) {
  if (layout < 0 || layout > 6 || value.size() < LayoutFixedSize(layout)) return false;
  const Layout& l = kLayouts[layout];
  SettingsRecord out = record;  // taken over only when the whole value is sound
  TesterSettings& s = out.settings;
  Reader in(value);

  s.Spread = in.F64();
  if (l.leadingDoubles >= 2) s.StopDistance = in.F64();
  if (l.leadingDoubles >= 3) s.LimitDistance = in.F64();
  s.DealSize = in.F64();
  s.CadProfit = in.F64();
  s.TickSize = in.F64();
  s.MaxNetPos = in.F64();
  s.DealComm = in.F64();
  s.ReversalDev = in.F64();
  s.TickValue = in.F64();
  s.ProcessingDelay = in.I32();
  s.DcaInterval = in.I32();
  if (l.intsAfterFloats >= 3) s.StdInterval = in.I32();
  if (l.intsAfterFloats >= 4) s.StdMinDeals = in.I32();
  s.Smoothing2 = in.I32();
  s.ProcessingDelay = in.I32();  // the later copy counts
  const bool oldCharts = layout <= 2;
  for (int i = 0; i < 8; ++i) {
    const std::int32_t trend = in.I32();
    const std::int32_t entry = in.I32();
    s.TrendCharts[i] = oldCharts ? OldChartWord(trend) : static_cast<std::uint32_t>(trend);
    s.EntryCharts[i] = oldCharts ? OldChartWord(entry) : static_cast<std::uint32_t>(entry);
  }
  if (l.considerFirst) s.ConsiderFirst = in.I32();
  if (l.historyTill) out.HistoryTill = in.I32();
  if (l.flags) s.Flags = in.U32();

  if (!l.countedTexts) {
    s.LogFilePath = in.Text((in.Size() - in.pos) / 2);
  } else {
    const std::int32_t n = in.I32();
    if (n < 0 || !in.Has(2 * static_cast<std::size_t>(n) + 4)) return false;
    s.LogFilePath = in.Text(static_cast<std::size_t>(n));
    const std::int32_t m = in.I32();
    if (m < 0 || !in.Has(2 * static_cast<std::size_t>(m))) return false;
    if (m > 0) out.SourcePath = in.Text(static_cast<std::size_t>(m));
  }
  record = std::move(out);
  return true;
}

std::vector<std::uint8_t> EncodeSettingsV6(const SettingsRecord& record) {
  const TesterSettings& s = record.settings;
  Writer out;
  out.bytes.reserve(LayoutFixedSize(6) + 2 * (s.LogFilePath.size() + record.SourcePath.size()));
  out.F64(s.Spread);
  out.F64(s.StopDistance);
  out.F64(s.LimitDistance);
  out.F64(s.DealSize);
  out.F64(s.CadProfit);
  out.F64(s.TickSize);
  out.F64(s.MaxNetPos);
  out.F64(s.DealComm);
  out.F64(s.ReversalDev);
  out.F64(s.TickValue);
  out.I32(s.ProcessingDelay);
  out.I32(s.DcaInterval);
  out.I32(s.StdInterval);
  out.I32(s.StdMinDeals);
  out.I32(s.Smoothing2);
  out.I32(s.ProcessingDelay);
  for (int i = 0; i < 8; ++i) {
    out.U32(s.TrendCharts[i]);
    out.U32(s.EntryCharts[i]);
  }
  out.I32(s.ConsiderFirst);
  out.I32(record.HistoryTill);
  out.U32(s.Flags);
  out.I32(static_cast<std::int32_t>(s.LogFilePath.size()));
  out.Text(s.LogFilePath);
  out.I32(static_cast<std::int32_t>(record.SourcePath.size()));
  out.Text(record.SourcePath);
  return std::move(out.bytes);
}

LoadResult LoadSettings(SettingsRecord& record) {
  LoadResult result;
  const std::string folder = SettingsFolder();
  std::vector<std::uint8_t> bytes;
  for (int layout = 6; layout >= 0; --layout) {
    const std::string path = folder + "/" + SettingsValueName(layout);
    const int found = ReadValue(path, bytes, result.note);
    if (found == 0) continue;
    result.layout = layout;
    if (found < 0) return result;
    result.loaded = DecodeSettings(layout, bytes, record);
    if (!result.loaded) result.note = path + " is cut short or damaged; the defaults stay";
    return result;
  }
  return result;
}

SaveResult SaveSettings(const SettingsRecord& record) {
  SaveResult result;
  const std::string folder = SettingsFolder();
  if (!MakeFolders(folder, result.error)) return result;
  const std::vector<std::uint8_t> bytes = EncodeSettingsV6(record);
  const std::string target = folder + "/" + SettingsValueName(6);
  std::string temp = target + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    result.error = ErrnoText("cannot write in " + folder, errno);
    return result;
  }
  if (!WriteAll(fd, bytes.data(), bytes.size()) || fsync(fd) != 0) {
    result.error = ErrnoText("cannot write " + temp, errno);
    close(fd);
    unlink(temp.c_str());
    return result;
  }
  fchmod(fd, 0600);
  if (close(fd) != 0 || rename(temp.c_str(), target.c_str()) != 0) {
    result.error = ErrnoText("cannot store " + target, errno);
    unlink(temp.c_str());
    return result;
  }
  if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    fsync(dir);
    close(dir);
  }
  result.saved = true;
  return result;
}

}  // namespace kmr
