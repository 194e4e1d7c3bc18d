// The tester core as the main window sees it: one object that binds the engine, owns the
// broker and the processing loop, and talks back through the window's view.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tester/settings/tester_settings.h"

namespace kmr {

// What the window shows and what the core reads from it.
class TesterWindow {
 public:
  virtual ~TesterWindow() = default;
  virtual void AddLogLine(const std::string& text, bool withTickTime) = 0;
  virtual void ShowStatistics() = 0;
  virtual void ShowLastTick() = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual std::string SourceFileName() const = 0;
  virtual std::string SpreadText() const = 0;
  virtual std::string StopText() const = 0;
  virtual std::string LimitText() const = 0;
  // Local calendar date and time of the "History Data till:" pickers.
  virtual void HistoryTill(int& year, int& month, int& day, int& hour, int& minute,
                           int& second) const = 0;
};

struct BrokerFigures {
  double floatingProfit = 0;
  double closedProfit = 0;
  double maxPosition = 0;
  double maxDrawdown = 0;
  int longDeals = 0;
  int shortDeals = 0;
};

// The stored values that live in the window's controls.
struct StoredControls {
  bool found = false;            // a record was read
  std::int32_t historyTill = 0;  // 0: none stored
  std::string sourcePath;
};

class TesterCoreLink {
 public:
  TesterCoreLink(TesterSettings& settings, TesterWindow& window);
  ~TesterCoreLink();

  StoredControls LoadSettings();
  // Saves layout 6; throws when the pickers hold an impossible date.
  void SaveSettings();
  // Loads the engine library (the default search when the path is empty) and creates the broker.
  bool Bind(const std::string& libraryPath);

  void ProcessHD();
  void ProcessTD();
  void ProcessALL();
  void ProcessStep();
  void Stop();
  void TimerEvent();
  // Timed processing wants timer events.
  bool TimerActive() const;

  // The summary text of "Check File" (lines end in "\r\n").
  std::string CheckFile();

  bool HasBroker() const;
  BrokerFigures Figures() const;
  void ResetStatistics();
  void UpdateBrokerMoney();

  std::int32_t LastTickTime() const;
  double LastPrice() const;

  // Source closed, broker destroyed, engine released; safe to call twice.
  void Close();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kmr
