// An execution report (35=8) as the host reads it off the wire, before anything is believed.
#pragma once

#include <limits>
#include <string>

namespace kmr {

struct ExecReport {
  std::string clOrdId;  // 11
  std::string orderId;  // 37
  std::string execId;   // 17
  std::string text;     // 58
  char execType = 0;    // 150
  char ordStatus = 0;   // 39
  double lastQty = std::numeric_limits<double>::quiet_NaN();  // 32
  double lastPx = std::numeric_limits<double>::quiet_NaN();   // 31
  double cumQty = std::numeric_limits<double>::quiet_NaN();   // 14
  bool possDup = false;                                       // 43 or 97
};

inline constexpr char kExecNew = '0';
inline constexpr char kExecCanceled = '4';
inline constexpr char kExecRejected = '8';
inline constexpr char kExecExpired = 'C';
inline constexpr char kExecTrade = 'F';

}  // namespace kmr
