#include "live/host/fix_application.h"

#include <quickfix/Exceptions.h>
#include <quickfix/Fields.h>
#include <quickfix/Group.h>
#include <quickfix/Session.h>

#include "live/fix/fix_number.h"
#include "live/fix/fix_time.h"

namespace kmr {

namespace {

const std::string& Field(const FIX::FieldMap& map, int tag) {
  static const std::string kNone;
  return map.isSetField(tag) ? map.getField(tag) : kNone;
}

double Number(const FIX::FieldMap& map, int tag) {
  const std::optional<double> value = ParseFixNumber(Field(map, tag));
  return value ? *value : std::numeric_limits<double>::quiet_NaN();
}

char Char(const FIX::FieldMap& map, int tag) {
  const std::string& text = Field(map, tag);
  return text.size() == 1 ? text[0] : '\0';
}

std::string MsgType(const FIX::Message& message) {
  return Field(message.getHeader(), FIX::FIELD::MsgType);
}

}  // namespace

ExecReport ReadExecReport(const FIX::Message& message) {
  ExecReport r;
  r.clOrdId = Field(message, FIX::FIELD::ClOrdID);
  r.orderId = Field(message, FIX::FIELD::OrderID);
  r.execId = Field(message, FIX::FIELD::ExecID);
  r.text = Field(message, FIX::FIELD::Text);
  r.execType = Char(message, FIX::FIELD::ExecType);
  r.ordStatus = Char(message, FIX::FIELD::OrdStatus);
  r.lastQty = Number(message, FIX::FIELD::LastQty);
  r.lastPx = Number(message, FIX::FIELD::LastPx);
  r.cumQty = Number(message, FIX::FIELD::CumQty);
  const FIX::Header& header = message.getHeader();
  r.possDup = Field(header, FIX::FIELD::PossDupFlag) == "Y" ||
              Field(header, FIX::FIELD::PossResend) == "Y";
  return r;
}

QuoteUpdate ReadQuoteUpdate(const FIX::Message& message, const std::string& symbol) {
  QuoteUpdate update;
  update.snapshot = MsgType(message) == "W";
  if (update.snapshot && Field(message, FIX::FIELD::Symbol) != symbol) {
    update.dropped = 1;
    return update;
  }
  const int entries = static_cast<int>(message.groupCount(FIX::FIELD::NoMDEntries));
  for (int i = 1; i <= entries; ++i) {
    const FIX::FieldMap& group = message.getGroupRef(i, FIX::FIELD::NoMDEntries);
    const char type = Char(group, FIX::FIELD::MDEntryType);
    const std::string& entrySymbol = Field(group, FIX::FIELD::Symbol);
    if ((type != kEntryBid && type != kEntryOffer) ||
        (!update.snapshot && !entrySymbol.empty() && entrySymbol != symbol) ||
        update.count == QuoteUpdate::kMaxEntries) {
      ++update.dropped;
      continue;
    }
    MdEntry& e = update.entries[update.count++];
    e.type = type;
    e.action = update.snapshot ? kUpdateNew : Char(group, FIX::FIELD::MDUpdateAction);
    if (e.action == '\0') e.action = kUpdateNew;
    e.price = Number(group, FIX::FIELD::MDEntryPx);
    const std::optional<std::int32_t> time = ParseFixUtcDateTime(
        Field(group, FIX::FIELD::MDEntryDate), Field(group, FIX::FIELD::MDEntryTime));
    e.hasTime = time.has_value();
    e.time = time ? *time : 0;
  }
  return update;
}

FixApplication::FixApplication(EventQueue& events, std::string symbol, std::string username,
                               std::string password)
    : events_(events),
      symbol_(std::move(symbol)),
      username_(std::move(username)),
      password_(std::move(password)) {}

void FixApplication::onCreate(const FIX::SessionID& id) {
  if (haveSession_.load()) return;  // the first session is the one traded on
  session_ = id;
  haveSession_ = true;
}

void FixApplication::onLogon(const FIX::SessionID&) {
  replayNoted_ = false;
  events_.Push({HostEventKind::kLogon, {}, {}, {}});
}

void FixApplication::onLogout(const FIX::SessionID&) {
  events_.Push({HostEventKind::kLogout, {}, {}, {}});
}

void FixApplication::toAdmin(FIX::Message& message, const FIX::SessionID&) {
  if (MsgType(message) != "A") return;
  if (!username_.empty()) message.setField(FIX::FIELD::Username, username_);
  if (!password_.empty()) message.setField(FIX::FIELD::Password, password_);
}

void FixApplication::toApp(FIX::Message& message, const FIX::SessionID&) {
  // An order kept back while the session was down would reach the broker late, at a price
  // nobody chose: it becomes a gap fill and the host hears that it was never sent.
  if (MsgType(message) == "D" && Field(message.getHeader(), FIX::FIELD::PossDupFlag) == "Y") {
    events_.Push({HostEventKind::kUnsent, {}, {}, Field(message, FIX::FIELD::ClOrdID)});
    throw FIX::DoNotSend();
  }
}

void FixApplication::fromAdmin(const FIX::Message& message, const FIX::SessionID&) {
  const std::string type = MsgType(message);
  if (type == "3")
    events_.Push({HostEventKind::kNotice, {}, {},
                   "session reject of message " + Field(message, FIX::FIELD::RefSeqNum) + ": " +
                       Field(message, FIX::FIELD::Text)});
  else if (type == "5" && message.isSetField(FIX::FIELD::Text))
    events_.Push({HostEventKind::kNotice, {}, {}, "logout: " + Field(message, FIX::FIELD::Text)});
}

void FixApplication::fromApp(const FIX::Message& message, const FIX::SessionID&) {
  const std::string type = MsgType(message);
  if (type == "W" || type == "X") {
    if (Field(message.getHeader(), FIX::FIELD::PossDupFlag) == "Y") {
      if (!replayNoted_.exchange(true))
        events_.Push({HostEventKind::kNotice, {}, {}, "market data sent again after a gap ignored"});
      return;
    }
    HostEvent event;
    event.kind = HostEventKind::kQuote;
    event.quote = ReadQuoteUpdate(message, symbol_);
    events_.Push(std::move(event));
  } else if (type == "8") {
    HostEvent event;
    event.kind = HostEventKind::kExecReport;
    event.report = ReadExecReport(message);
    events_.Push(std::move(event));
  } else if (type == "Y") {
    events_.Push({HostEventKind::kNotice, {}, {},
                  "market data request rejected: " + Field(message, FIX::FIELD::Text)});
  } else if (type == "j") {
    events_.Push({HostEventKind::kNotice, {}, {},
                  "business reject of message " + Field(message, FIX::FIELD::RefSeqNum) + ": " +
                      Field(message, FIX::FIELD::Text)});
  }
}

void FixApplication::Send(FIX::Message& message) {
  if (!haveSession_.load()) throw std::runtime_error("no FIX session");
  if (!FIX::Session::sendToTarget(message, session_))
    throw std::runtime_error("the FIX session did not take the message");
}

void FixApplication::Subscribe() {
  FIX::Message request;
  request.getHeader().setField(FIX::FIELD::MsgType, "V");
  request.setField(FIX::FIELD::MDReqID, "KMR-MD-" + std::to_string(++requests_));
  request.setField(FIX::FIELD::SubscriptionRequestType, "1");
  request.setField(FIX::FIELD::MarketDepth, "1");
  request.setField(FIX::FIELD::MDUpdateType, "1");
  for (const char* type : {"0", "1"}) {
    FIX::Group entry(FIX::FIELD::NoMDEntryTypes, FIX::FIELD::MDEntryType);
    entry.setField(FIX::FIELD::MDEntryType, type);
    request.addGroup(entry);
  }
  FIX::Group related(FIX::FIELD::NoRelatedSym, FIX::FIELD::Symbol);
  related.setField(FIX::FIELD::Symbol, symbol_);
  request.addGroup(related);
  Send(request);
}

void FixApplication::SendOrder(const LiveOrder& order) {
  // The session stores what it cannot send and repeats it at the next logon as PossDup, which
  // toApp turns into a gap fill; an order must not start that way.
  FIX::Session* session = haveSession_.load() ? FIX::Session::lookupSession(session_) : nullptr;
  if (session == nullptr || !session->isLoggedOn()) throw std::runtime_error("not logged on");
  const std::string quantity = FormatFixNumber(order.quantity);
  if (quantity.empty() || !(order.quantity > 0)) throw std::runtime_error("no quantity to send");
  FIX::Message message;
  message.getHeader().setField(FIX::FIELD::MsgType, "D");
  message.setField(FIX::FIELD::ClOrdID, order.clOrdId);
  message.setField(FIX::FIELD::Symbol, symbol_);
  message.setField(FIX::FIELD::Side, order.isBuy ? "1" : "2");
  message.setField(FIX::TransactTime(6));
  message.setField(FIX::FIELD::OrderQty, quantity);
  message.setField(FIX::FIELD::OrdType, "1");
  Send(message);
}

void FixApplication::SendStep(long n) {
  FIX::Message message;
  message.getHeader().setField(FIX::FIELD::MsgType, "1");
  message.setField(FIX::FIELD::TestReqID, "KMR-STEP-" + std::to_string(n));
  Send(message);
}

}  // namespace kmr
