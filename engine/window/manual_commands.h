// The manual trading commands of the window's menu, apart from any window system, so that the
// same code runs for a click and for a test with scripted answers.
#pragma once

#include <functional>

namespace kmr {

struct EngineContext;
struct EngineWindow;

constexpr int kMenuCloseAllDeals = 256;
constexpr int kMenuStartManually = 257;
constexpr int kMenuOpenLong = 258;
constexpr int kMenuOpenShort = 259;
constexpr int kMenuResetTrading = 260;
constexpr int kMenuResetCadCounter = 261;
constexpr int kMenuLongEnabled = 262;
constexpr int kMenuShortEnabled = 263;

enum class Answer { kYes, kNo, kCancel };

struct Confirmation {
  const char* text;
  const char* caption;
};
// The question a command asks first; text null when it asks none.
Confirmation ConfirmationOf(int id);

// Asked with the engine lock released; only kYes goes on.
using ConfirmFunction = std::function<Answer(const char* text, const char* caption)>;

// Carries out menu command `id` (256..263; others are ignored). Takes the engine lock for
// the trading action only, never while the question is open. Returns true when it acted.
bool RunManualCommand(EngineContext& context, EngineWindow& window, int id,
                      const ConfirmFunction& confirm);

}  // namespace kmr
