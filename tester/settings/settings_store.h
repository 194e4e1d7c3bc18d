// The stored settings record: layouts V0 ... V6 read, layout 6 written, one file per value in
// the per-user settings folder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "tester/settings/tester_settings.h"

namespace kmr {

// Everything the record carries: the settings plus the two values of the main window's controls.
struct SettingsRecord {
  TesterSettings settings;
  std::int32_t HistoryTill = 0;  // seconds since 1970 UTC; 0 = not stored
  std::u16string SourcePath;     // empty = not stored
};

// $XDG_CONFIG_HOME/Vantrel/KMRTester, or $HOME/.config/Vantrel/KMRTester when it is unset.
std::string SettingsFolder();

// "KMRTesterSettings_V0" ... "KMRTesterSettings_V6".
std::string SettingsValueName(int layout);

// Fixed part of a layout (the value without its texts): V0 144 ... V6 188 bytes.
std::size_t LayoutFixedSize(int layout);

// Takes the fields of one stored value into `record`; fields the layout lacks keep their values.
// A value shorter than its layout's fixed part, or whose length fields run past its end (or are
// negative), changes nothing and gives false.
bool DecodeSettings(int layout, std::span<const std::uint8_t> value, SettingsRecord& record);

// Layout 6, byte for byte (188 + 2n + 2m bytes). Smoothing1 is not stored.
std::vector<std::uint8_t> EncodeSettingsV6(const SettingsRecord& record);

struct LoadResult {
  int layout = -1;      // the layout found, -1 when none is stored
  bool loaded = false;  // false also when the value found was unusable (defaults stay)
  std::string note;     // why nothing was loaded, for a front that wants to say so
};
// Reads the newest stored layout into `record` (which holds the defaults on entry).
LoadResult LoadSettings(SettingsRecord& record);

struct SaveResult {
  bool saved = false;
  std::string error;  // what went wrong when not saved
};
// Writes layout 6 atomically (temporary file, fsync, rename); creates the folder when missing.
// Failures save nothing and are returned, never thrown.
SaveResult SaveSettings(const SettingsRecord& record);

}  // namespace kmr
