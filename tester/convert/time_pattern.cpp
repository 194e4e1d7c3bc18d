#include "tester/convert/time_pattern.h"

namespace kmr {

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsLeap(std::int64_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(std::int64_t year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Exactly `count` digits at `pos`.
bool Digits(std::string_view s, std::size_t& pos, int count, int& value) {
  if (s.size() - pos < static_cast<std::size_t>(count)) return false;
  int v = 0;
  for (int i = 0; i < count; ++i) {
    const char c = s[pos + i];
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  pos += count;
  value = v;
  return true;
}

// One or two digits.
bool ShortNumber(std::string_view s, std::size_t& pos, int& value) {
  if (pos >= s.size() || !IsDigit(s[pos])) return false;
  value = s[pos++] - '0';
  if (pos < s.size() && IsDigit(s[pos])) value = value * 10 + (s[pos++] - '0');
  return true;
}

// 1 to 9 digits of a fraction of a second, as milliseconds (cut, not rounded).
bool Fraction(std::string_view s, std::size_t& pos, int& millis) {
  const std::size_t start = pos;
  int value = 0, digits = 0;
  while (pos < s.size() && IsDigit(s[pos])) {
    if (digits < 3) value = value * 10 + (s[pos] - '0');
    ++digits, ++pos;
  }
  if (digits == 0 || digits > 9) {
    pos = start;
    return false;
  }
  for (int i = digits; i < 3; ++i) value *= 10;
  millis = value;
  return true;
}

// "Z", or "+HH", "+HHMM", "+HH:MM" (also '-'); seconds east of UTC.
bool Zone(std::string_view s, std::size_t& pos, int& offset) {
  if (pos >= s.size()) return false;
  if (s[pos] == 'Z' || s[pos] == 'z') {
    ++pos;
    offset = 0;
    return true;
  }
  if (s[pos] != '+' && s[pos] != '-') return false;
  const int sign = s[pos] == '-' ? -1 : 1;
  ++pos;
  int hours = 0, minutes = 0;
  if (!Digits(s, pos, 2, hours)) return false;
  if (pos < s.size() && s[pos] == ':') ++pos;
  if (pos < s.size() && IsDigit(s[pos]) && !Digits(s, pos, 2, minutes)) return false;
  if (hours > 18 || minutes > 59) return false;
  offset = sign * (hours * 3600 + minutes * 60);
  return true;
}

bool ReadUnix(std::string_view s, bool millis, Stamp& out) {
  std::size_t pos = 0;
  std::int64_t value = 0;
  int digits = 0;
  while (pos < s.size() && IsDigit(s[pos])) {
    if (++digits > 15) return false;
    value = value * 10 + (s[pos++] - '0');
  }
  if (digits == 0) return false;
  int fraction = 0;
  if (!millis && pos < s.size() && s[pos] == '.') {
    ++pos;
    if (!Fraction(s, pos, fraction)) return false;
  }
  if (pos != s.size()) return false;
  out.millis = millis ? value : value * 1000 + fraction;
  out.absolute = true;
  return true;
}

}  // namespace

std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const int shiftedMonth = month > 2 ? month - 3 : month + 9;
  const std::int64_t dayOfYear = (153 * shiftedMonth + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t dayOfEra = days - era * 146097;
  const std::int64_t yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const std::int64_t shifted = (5 * dayOfYear + 2) / 153;
  day = static_cast<int>(dayOfYear - (153 * shifted + 2) / 5 + 1);
  month = static_cast<int>(shifted < 10 ? shifted + 3 : shifted - 9);
  year = static_cast<int>(yearOfEra + era * 400 + (month <= 2));
}

std::optional<TimePattern> TimePattern::Compile(std::string_view text, std::string& error) {
  TimePattern p;
  p.text_ = std::string(text);
  if (text == "unix" || text == "unix-ms") {
    p.unix_ = true;
    p.unixMillis_ = text == "unix-ms";
    p.hasZone_ = true;
    p.hasClock_ = true;
    return p;
  }
  bool seen[10] = {};
  auto add = [&](Token token, char literal = 0) {
    if (p.count_ == kMaxSteps) {
      error = "the time pattern is too long";
      return false;
    }
    if (token != Token::kLiteral) {
      bool& once = seen[static_cast<int>(token)];
      if (once) {
        error = "the time pattern '" + p.text_ + "' has a field twice";
        return false;
      }
      once = true;
    }
    p.steps_[p.count_++] = Step{token, literal, false};
    return true;
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::string_view rest = text.substr(i);
    auto starts = [&](std::string_view token) { return rest.substr(0, token.size()) == token; };
    bool ok = true;
    if (starts("YYYY")) {
      ok = add(Token::kYear), i += 4;
      if (p.order_ == DateOrder::kNone) p.order_ = DateOrder::kYearFirst;
    } else if (starts("MM")) {
      const bool minutes = seen[static_cast<int>(Token::kHour)];
      ok = add(minutes ? Token::kMinute : Token::kMonth), i += 2;
      if (!minutes && p.order_ == DateOrder::kNone) p.order_ = DateOrder::kMonthFirst;
    } else if (starts("DD")) {
      ok = add(Token::kDay), i += 2;
      if (p.order_ == DateOrder::kNone) p.order_ = DateOrder::kDayFirst;
    } else if (starts("HH")) {
      ok = add(Token::kHour), i += 2;
    } else if (starts("SS")) {
      ok = add(Token::kSecond), i += 2;
    } else if (starts("mmm")) {
      ok = add(Token::kMillis), i += 3;
    } else if (starts("fff")) {
      // A fraction after its separator may be missing altogether.
      char separator = 0;
      if (p.count_ > 0 && p.steps_[p.count_ - 1].token == Token::kLiteral &&
          (p.steps_[p.count_ - 1].literal == '.' || p.steps_[p.count_ - 1].literal == ',')) {
        separator = p.steps_[p.count_ - 1].literal;
        --p.count_;
      }
      ok = add(Token::kFraction, separator), i += 3;
    } else if (starts("Z")) {
      ok = add(Token::kZone), i += 1;
    } else if ((rest[0] >= 'A' && rest[0] <= 'Z' && rest[0] != 'T') ||
               (rest[0] >= 'a' && rest[0] <= 'z') || IsDigit(rest[0])) {
      error = "the time pattern '" + p.text_ + "' has '" + std::string(1, rest[0]) +
              "' where YYYY, MM, DD, HH, MM, SS, mmm, fff or Z belongs";
      return std::nullopt;
    } else {
      ok = add(Token::kLiteral, rest[0]), i += 1;
    }
    if (!ok) return std::nullopt;
  }
  auto has = [&](Token t) { return seen[static_cast<int>(t)]; };
  const int dateParts = has(Token::kYear) + has(Token::kMonth) + has(Token::kDay);
  if (dateParts != 0 && dateParts != 3) {
    error = "the time pattern '" + p.text_ + "' needs all of YYYY, MM and DD";
    return std::nullopt;
  }
  if (dateParts == 0) p.order_ = DateOrder::kNone;
  p.hasClock_ = has(Token::kHour);
  if ((has(Token::kMinute) || has(Token::kSecond)) && !p.hasClock_) {
    error = "the time pattern '" + p.text_ + "' has minutes or seconds without HH";
    return std::nullopt;
  }
  if ((has(Token::kMillis) || has(Token::kFraction)) && !has(Token::kSecond)) {
    error = "the time pattern '" + p.text_ + "' has a fraction without SS";
    return std::nullopt;
  }
  if (dateParts == 0 && !p.hasClock_) {
    error = "the time pattern '" + p.text_ + "' has neither a date nor a time";
    return std::nullopt;
  }
  p.hasZone_ = has(Token::kZone);
  for (std::size_t i = 0; i < p.count_; ++i) {
    const Token t = p.steps_[i].token;
    const bool twoDigits = t == Token::kMonth || t == Token::kDay || t == Token::kHour ||
                           t == Token::kMinute || t == Token::kSecond;
    const bool separated =
        i + 1 == p.count_ || p.steps_[i + 1].token == Token::kLiteral ||
        p.steps_[i + 1].token == Token::kZone ||
        (p.steps_[i + 1].token == Token::kFraction && p.steps_[i + 1].literal != 0);
    p.steps_[i].flexible = twoDigits && separated;
  }
  return p;
}

bool TimePattern::Read(std::string_view s, Stamp& out) const {
  if (unix_) return ReadUnix(s, unixMillis_, out);
  int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, millis = 0, offset = 0;
  std::size_t pos = 0;
  for (std::size_t i = 0; i < count_; ++i) {
    const Step& step = steps_[i];
    int* two = nullptr;
    switch (step.token) {
      case Token::kYear:
        if (!Digits(s, pos, 4, year)) return false;
        continue;
      case Token::kMonth:
        two = &month;
        break;
      case Token::kDay:
        two = &day;
        break;
      case Token::kHour:
        two = &hour;
        break;
      case Token::kMinute:
        two = &minute;
        break;
      case Token::kSecond:
        two = &second;
        break;
      case Token::kMillis:
        if (!Digits(s, pos, 3, millis)) return false;
        continue;
      case Token::kFraction:
        if (step.literal != 0) {
          if (pos < s.size() && s[pos] == step.literal) {
            ++pos;
            if (!Fraction(s, pos, millis)) return false;
          }
        } else if (!Fraction(s, pos, millis)) {
          return false;
        }
        continue;
      case Token::kZone:
        if (!Zone(s, pos, offset)) return false;
        continue;
      case Token::kLiteral:
        if (pos >= s.size() || s[pos] != step.literal) return false;
        ++pos;
        continue;
    }
    if (step.flexible ? !ShortNumber(s, pos, *two) : !Digits(s, pos, 2, *two)) return false;
  }
  if (pos != s.size()) return false;
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59)
    return false;
  const std::int64_t days = order_ == DateOrder::kNone ? 0 : DaysFromCivil(year, month, day);
  const std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second - offset;
  out.millis = seconds * 1000 + millis;
  out.absolute = hasZone_;
  return true;
}

}  // namespace kmr
