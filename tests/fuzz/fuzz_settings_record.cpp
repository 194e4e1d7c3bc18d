// The stored settings record: the input is a stored value, read as every layout V0 ... V6.
// Nothing is read past its end, a refused value changes nothing, and what layout 6 writes of a
// record reads back to the same record.
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "tester/settings/settings_store.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that AddressSanitizer sees a read one byte past the end.
  std::vector<std::uint8_t> value(data, data + size);
  const std::vector<std::uint8_t> defaults = kmr::EncodeSettingsV6(kmr::SettingsRecord{});
  for (int layout = 0; layout <= 6; ++layout) {
    kmr::SettingsRecord record;
    const bool taken = kmr::DecodeSettings(layout, std::span<const std::uint8_t>(value), record);
    const std::vector<std::uint8_t> written = kmr::EncodeSettingsV6(record);
    if (!taken) {
      FUZZ_CHECK(written == defaults);
      continue;
    }
    FUZZ_CHECK(size >= kmr::LayoutFixedSize(layout));
    FUZZ_CHECK(written.size() ==
               188 + 2 * record.settings.LogFilePath.size() + 2 * record.SourcePath.size());
    kmr::SettingsRecord again;
    FUZZ_CHECK(kmr::DecodeSettings(6, written, again));
    FUZZ_CHECK(kmr::EncodeSettingsV6(again) == written);
    if (layout == 6) {
      // Everything but the first delay copy and the unused bytes comes back as stored.
      FUZZ_CHECK(std::memcmp(written.data(), value.data(), 80) == 0);
      FUZZ_CHECK(std::memcmp(written.data() + 84, value.data() + 84, 188 - 84 - 8) == 0);
    }
  }
  return 0;
}
