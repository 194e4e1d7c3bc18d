#include "engine/window/manual_commands.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "common/chart_spec.h"
#include "engine/context/configuration.h"
#include "engine/context/engine_context.h"
#include "engine/context/engine_window.h"
#include "engine/trading/trading_state.h"

namespace kmr {
namespace {

class ManualCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KMR_NO_WINDOW", "1", 1);
    context.reset(CreateEngineContext(nullptr));
    StrategyParameters p{0.25, 20, 8, 2.0, {400, 800}, 2, {5, 7}};
    ConfigureEngine(*context, p);
  }

  // Answers every question with `answer`, noting what was asked and whether the engine lock
  // was free meanwhile.
  ConfirmFunction Answering(Answer answer) {
    return [this, answer](const char* text, const char* caption) {
      asked.push_back(std::string(caption) + " | " + text);
      if (context->lock.try_lock()) {
        context->lock.unlock();
      } else {
        lockHeldWhileAsking = true;
      }
      return answer;
    };
  }

  bool Run(int id, Answer answer) {
    return RunManualCommand(*context, *context->window, id, Answering(answer));
  }

  TradingState& trading() { return *context->trading; }
  int messageCount() const { return context->window->messages.count; }

  std::unique_ptr<EngineContext> context;
  std::vector<std::string> asked;
  bool lockHeldWhileAsking = false;
};

TEST_F(ManualCommands, AskTheirQuestionWithTheEngineLockFree) {
  const struct {
    int id;
    const char* question;
  } cases[] = {
      {256, "Close all deals | Are you sure to Close all open deals?"},
      {257, "Manual start | Are you sure to start trading cycle manually?"},
      {258, "Open deal | Are you sure to open LONG deal?"},
      {259, "Open deal | Are you sure to open SHORT deal?"},
      {260, "Reset trading | Are you sure to RESET trading including open deals?"},
      {261, "Reset CAD counters | Are you sure to RESET CAD counters?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    asked.clear();
    Run(c.id, Answer::kCancel);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], c.question);
  }
  EXPECT_FALSE(lockHeldWhileAsking);
}

TEST_F(ManualCommands, NoOrCancelDoesNothing) {
  trading().closedProfit = 12.5;
  trading().commandCount = 2;
  trading().nextDealId = 7;
  for (Answer answer : {Answer::kNo, Answer::kCancel}) {
    for (int id = 256; id <= 261; ++id) {
      SCOPED_TRACE(id);
      EXPECT_FALSE(Run(id, answer));
    }
  }
  EXPECT_EQ(messageCount(), 0);
  EXPECT_EQ(trading().closedProfit, 12.5);
  EXPECT_EQ(trading().commandCount, 2);
  EXPECT_EQ(trading().nextDealId, 7);
}

TEST_F(ManualCommands, OpenLongAndShortWriteTheirRequestLine) {
  for (int id : {258, 259}) {
    SCOPED_TRACE(id);
    context->window->messages.Clear();
    EXPECT_TRUE(Run(id, Answer::kYes));
    ASSERT_GE(messageCount(), 1);
    const std::string first = context->window->messages.Line(0);
    ASSERT_EQ(first.size(), 9 + std::string("Open Manual deal request").size());
    EXPECT_EQ(first.substr(9), "Open Manual deal request");
  }
}

TEST_F(ManualCommands, ResetTradingAndResetCadCounter) {
  trading().closedProfit = 40;
  trading().commandCount = 3;
  trading().nextDealId = 9;
  EXPECT_TRUE(Run(261, Answer::kYes));
  EXPECT_EQ(trading().closedProfit, 0);
  EXPECT_EQ(trading().commandCount, 3);

  trading().closedProfit = 40;
  EXPECT_TRUE(Run(260, Answer::kYes));
  EXPECT_EQ(trading().closedProfit, 0);
  EXPECT_EQ(trading().commandCount, 0);
  EXPECT_EQ(trading().nextDealId, 1);
  EXPECT_EQ(messageCount(), 0);
}

TEST_F(ManualCommands, SwitchesToggleWithoutAQuestion) {
  EXPECT_TRUE(Run(262, Answer::kCancel));
  EXPECT_EQ(trading().longEnabled, 0);
  EXPECT_EQ(trading().shortEnabled, 1);
  EXPECT_TRUE(Run(262, Answer::kCancel));
  EXPECT_EQ(trading().longEnabled, 1);
  EXPECT_TRUE(Run(263, Answer::kCancel));
  EXPECT_EQ(trading().shortEnabled, 0);
  EXPECT_TRUE(asked.empty());
}

TEST_F(ManualCommands, UnknownIdsAndAMissingContextDoNothing) {
  EXPECT_FALSE(Run(255, Answer::kYes));
  EXPECT_FALSE(Run(264, Answer::kYes));
  EXPECT_TRUE(asked.empty());
  context->window->context = nullptr;
  EXPECT_FALSE(Run(262, Answer::kYes));
  EXPECT_EQ(trading().longEnabled, 1);
  context->window->context = context.get();
}

}  // namespace
}  // namespace kmr
