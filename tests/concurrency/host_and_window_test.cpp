// The exports called on one thread while a second thread, as the engine window does, takes the
// engine lock for manual trading commands and reads the message lines and the book.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The exports are compiled into this test, so that the second thread can use the same context.
#include "engine/exports/exports.cpp"
#include "engine/window/manual_commands.h"
#include "engine/window/snapshot.h"

namespace {

constexpr std::uint64_t kCloseCode = 0xCC;

// What the engine window's thread does: menu commands (each takes the lock for its trading
// action) and the snapshot of every paint (under the lock).
struct WindowSide {
  std::atomic<bool> stop{false};
  std::atomic<int> actions{0};
  std::string lastMessage;

  void Run() {
    static const int kCommands[] = {258, 259, 256, 261, 257, 262, 258, 263, 259, 256, 262, 263};
    auto yes = [](const char*, const char*) { return kmr::Answer::kYes; };
    auto snapshot = std::make_unique<kmr::WindowSnapshot>();
    unsigned step = 0;
    while (!stop.load()) {
      kmr::EngineWindow* window = g_context->window;
      int id = kCommands[step % (sizeof kCommands / sizeof kCommands[0])];
      if (step % 97 == 96) id = 260;  // now and then "Reset Trading" under the host's feet
      ++step;
      kmr::RunManualCommand(*g_context, *window, id, yes);
      {
        std::lock_guard<std::mutex> hold(g_context->lock);
        kmr::TakeSnapshot(g_context, *window, 640, *snapshot);
        const kmr::MessageList& m = window->messages;
        if (m.count > 0) lastMessage = m.Line(m.count - 1);
      }
      actions.fetch_add(1);
      std::this_thread::yield();
    }
  }
};

TEST(HostAndWindow, ExportsAndManualCommandsInterleaveSafely) {
  char folder[] = "/tmp/kmr-concurrency-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string log = std::string(folder) + "/journal.log \\3";
  std::u16string log16(log.begin(), log.end());

  ASSERT_EQ(
      InitializeKMR(0.25, 20, 8, 2.0, 1600, 800, 400, 200, 8, 0, 0, 0, 5, 4, 8, 12, 0, 0, 0, 0, 0),
      1);
  SetKMRPriceParameters(0.2, 1.0, 1.5, 100.0, 100, 50, 0, 5.0, 0);
  SetLogFilePath(log16.c_str());
  for (int i = 0; i < 200; ++i) ProcessHistoryTick(100 + 0.25 * (i % 17), 820454400 + 60 * i, 1);
  ProcessHistoryDataFinished();

  WindowSide window;
  std::thread windowThread([&] { window.Run(); });

  // The host: ticks, drains, carries out every command and reports it.
  std::uint32_t nextTicket = 70001;
  double price = 100;
  for (int i = 0; i < 3000 || window.actions.load() < 200; ++i) {
    price += 0.25 * (static_cast<int>((static_cast<unsigned>(i) * 7919u) % 9u) - 4);
    ProcessNewTick(price, price + 0.25, 820500000 + 60 * i, 1);
    if (i % 50 == 0) TriggerExternalSignal(0, 1 + i % 3, i % 2);
    while (long long word = GetNextCommand()) {
      const auto operand = static_cast<std::uint32_t>(word);
      if ((static_cast<std::uint64_t>(word) >> 32) == kCloseCode) {
        OpenDealClosed(operand, 0.2, price);
      } else if (i % 13 == 0) {
        OrderRejected(static_cast<int>(operand));
      } else {
        OrderSetTicket(operand, nextTicket);
        OrderFilled(nextTicket++, 0.2, price);
      }
    }
    if (i % 500 == 0) SetKMRPriceParameters(0.2, 1.0, 1.5, 100.0 + i, 100, 50, 0, 5.0, i % 16);
  }
  window.stop = true;
  windowThread.join();
  DeinitializeKMR();

  std::lock_guard<std::mutex> hold(g_context->lock);
  const kmr::TradingState& t = *g_context->trading;
  int filled = 0;
  for (int i = 0; i < t.dealCount; ++i)
    if (t.deals[i].kind & kmr::kKindFilled) ++filled;
  EXPECT_EQ(t.filledDealCount, filled);
  EXPECT_LE(t.commandCount, kmr::kCommandQueueSize);
  EXPECT_GT(window.actions.load(), 0);
  EXPECT_NE(window.lastMessage, "");

  CloseEngineLogFile(*g_context);
  ::unlink((std::string(folder) + "/journal.log").c_str());
  ::rmdir(folder);
}

}  // namespace
