// kmr-broker-sim's order desk over any sequence of order messages: every answer is a valid
// FIX 4.4 ExecutionReport, an order ends exactly once with its parts adding up to its
// quantity, a possible duplicate is never filled twice, and nothing throws.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include <quickfix/DataDictionary.h>
#include <quickfix/Exceptions.h>
#include <quickfix/FieldNumbers.h>
#include <quickfix/Message.h>

#include "live/fix/fix_number.h"
#include "live/sim/sim_orders.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

const FIX::DataDictionary& Dictionary() {
  static const std::unique_ptr<FIX::DataDictionary> dictionary =
      std::make_unique<FIX::DataDictionary>(KMR_FIX44_XML);
  return *dictionary;
}

bool IsHeaderTag(int tag) { return tag == 8 || tag == 35 || tag == 43 || tag == 34 || tag == 49; }

// "tag=value" fields separated by SOH or '|'; nothing for a field that is not one.
FIX::Message FieldsMessage(std::string_view text) {
  FIX::Message m;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find_first_of("\x01|", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view field = text.substr(start, end - start);
    start = end + 1;
    const std::size_t equals = field.find('=');
    if (equals == 0 || equals == std::string_view::npos || equals > 6) continue;
    int tag = 0;
    bool digits = true;
    for (std::size_t i = 0; i < equals; ++i) {
      if (field[i] < '0' || field[i] > '9') digits = false;
      else tag = tag * 10 + (field[i] - '0');
    }
    if (!digits || tag <= 0) continue;
    const std::string value(field.substr(equals + 1));
    if (value.empty()) continue;
    if (IsHeaderTag(tag))
      m.getHeader().setField(tag, value);
    else
      m.setField(tag, value);
  }
  return m;
}

void CheckReport(const kmr::ExecReport& r) {
  FIX::Message m = kmr::BuildExecutionReport(r);
  m.getHeader().setField(FIX::FIELD::BeginString, "FIX.4.4");
  m.getHeader().setField(FIX::FIELD::SenderCompID, "SIM");
  m.getHeader().setField(FIX::FIELD::TargetCompID, "KMR");
  m.getHeader().setField(FIX::FIELD::MsgSeqNum, "1");
  m.getHeader().setField(FIX::FIELD::SendingTime, "20240102-10:00:00");
  try {
    const FIX::Message parsed(m.toString(), Dictionary(), true);
    Dictionary().validate(parsed);
  } catch (const FIX::Exception& e) {
    std::fprintf(stderr, "invalid report: %s\n%s\n", e.what(), m.toString().c_str());
    FUZZ_CHECK(false);
  }
  FUZZ_CHECK(kmr::ParseFixNumber(r.cumQty).has_value());
  FUZZ_CHECK(kmr::ParseFixNumber(r.leavesQty).has_value());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  kmr::BrokerSimOptions options;
  options.partialFills = 1 + data[0] % 7;
  options.rejectOpens.every = data[1] % 4;
  options.rejectCloses.listed = {1 + data[1] / 64};
  options.cancelOrders.every = data[2] % 5;
  options.expireOrders.listed = {1 + data[2] / 32};
  const double bid = 1 + data[3] / 7.0, ask = bid + data[3] % 5 * 1e-5;
  kmr::SimOrderDesk desk(options, "fuzz");
  std::set<std::string> accepted;
  const std::string_view text(reinterpret_cast<const char*>(data) + 4, size - 4);
  std::size_t start = 0;
  int messages = 0;
  while (start <= text.size() && messages++ < 64) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view line = text.substr(start, end - start);
    start = end + 1;
    FIX::Message message;
    if (!line.empty() && line[0] == '8') {
      try {  // a whole message as a session would parse it
        message = FIX::Message(std::string(line), Dictionary(), false);
      } catch (const FIX::Exception&) {
        continue;
      }
    } else {
      message = FieldsMessage(line);
    }
    kmr::OrderVerdict v = desk.Accept(message, (messages & 7) != 7);
    if (v.kind == kmr::OrderVerdict::Kind::kIgnore) {
      FUZZ_CHECK(accepted.count(message.getField(FIX::FIELD::ClOrdID)) == 1 ||
                 !v.why.empty());
      continue;
    }
    CheckReport(v.report);
    if (v.kind == kmr::OrderVerdict::Kind::kReject) {
      FUZZ_CHECK(v.report.execType == '8');
      continue;
    }
    FUZZ_CHECK(accepted.insert(v.order.clOrdId).second);
    const double qty = *kmr::ParseFixNumber(v.order.orderQty);
    bool done = false;
    int steps = 0;
    kmr::ExecReport last;
    while (!done) {
      FUZZ_CHECK(++steps <= options.partialFills + 1);
      last = desk.Step(v.order, bid, ask, done);
      CheckReport(last);
      if (last.execType == 'F') FUZZ_CHECK(last.lastPx == (v.order.buy ? ask : bid));
    }
    FUZZ_CHECK(last.leavesQty == "0");
    if (last.execType == 'F') FUZZ_CHECK(*kmr::ParseFixNumber(last.cumQty) == qty);
  }
  return 0;
}
