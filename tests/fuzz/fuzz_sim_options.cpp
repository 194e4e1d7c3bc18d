// kmr-broker-sim's command line and the FIX value parsers both live programs share: any
// argument list either parses or is refused with OptionError; FIX numbers and UTC times that
// parse write back to the same value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "live/fix/fix_number.h"
#include "live/fix/fix_time.h"
#include "live/sim/sim_options.h"
#include "tester/replay/replay_options.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> args;
  std::size_t start = 0;
  while (start <= text.size() && args.size() < 32) {
    std::size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  try {
    const kmr::BrokerSimOptions o = kmr::ParseBrokerSimOptions(args);
    FUZZ_CHECK(o.help || (!o.priceFile.empty() && (o.port > 0 || !o.settingsFile.empty())));
    FUZZ_CHECK(o.partialFills >= 1 && o.rate >= 0 && std::isfinite(o.rate));
    for (const kmr::OrderPick* p : {&o.rejectOpens, &o.rejectCloses, &o.cancelOrders,
                                    &o.expireOrders})
      for (std::size_t i = 1; i < p->listed.size(); ++i)
        FUZZ_CHECK(p->listed[i - 1] < p->listed[i]);
  } catch (const kmr::OptionError&) {
  }

  for (const std::string& a : args) {
    if (const std::optional<double> v = kmr::ParseFixNumber(a)) {
      FUZZ_CHECK(std::isfinite(*v));
      FUZZ_CHECK(kmr::ParseFixNumber(kmr::FormatFixNumber(*v)) == (*v == 0 ? 0.0 : *v));
    }
    if (const std::optional<std::int32_t> t = kmr::ParseFixUtcTimestamp(a))
      FUZZ_CHECK(kmr::ParseFixUtcTimestamp(kmr::FixUtcTimestamp(*t)) == t);
    if (a.size() >= 8)
      if (const std::optional<std::int32_t> t =
              kmr::ParseFixUtcDateTime(std::string_view(a).substr(0, 8),
                                       std::string_view(a).substr(8))) {
        FUZZ_CHECK(kmr::FixUtcDate(*t) == a.substr(0, 8));
        FUZZ_CHECK(kmr::FixUtcTime(*t) == a.substr(8, 8));
      }
  }
  return 0;
}
