#include "engine/window/adjust_view.h"

#include <gtest/gtest.h>

#include "engine/context/engine_window.h"

namespace kmr {
namespace {

struct Case {
  const char* name;
  int step, x, y;
  int candleWidth, historySpan, fontPoints;  // before
  int wantCandleWidth, wantHistorySpan, wantFontPoints;
};

TEST(AdjustView, ChangesTheSettingOfTheHalfUnderThePointerWithinItsLimits) {
  const Case cases[] = {
      {"page up right half widens candles", 1, 450, 100, 5, 172800, 8, 6, 172800, 8},
      {"page down right half narrows candles", -1, 450, 500, 5, 172800, 8, 4, 172800, 8},
      {"page down at width 1 keeps 1", -1, 301, 100, 1, 172800, 8, 1, 172800, 8},
      {"wheel forward top left shortens the span", 1, 10, 10, 5, 172800, 8, 5, 136800, 8},
      {"wheel back top left lengthens the span", -1, 10, 10, 5, 172800, 8, 5, 208800, 8},
      {"from 36000 forward gives 36000", 1, 10, 10, 5, 36000, 8, 5, 36000, 8},
      {"bottom left grows the text", 1, 10, 400, 5, 172800, 8, 5, 172800, 9},
      {"text stays at least 1", -1, 10, 400, 5, 172800, 1, 5, 172800, 1},
      {"middle column counts as left", 1, 300, 400, 5, 172800, 8, 5, 172800, 9},
      {"middle row counts as bottom", 1, 10, 300, 5, 172800, 8, 5, 172800, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EngineWindow w;
    w.clientWidth = 600;
    w.clientHeight = 600;
    w.candleWidth = c.candleWidth;
    w.historySpan = c.historySpan;
    w.fontPoints = c.fontPoints;
    AdjustView(w, c.step, c.x, c.y);
    EXPECT_EQ(w.candleWidth, c.wantCandleWidth);
    EXPECT_EQ(w.historySpan, c.wantHistorySpan);
    EXPECT_EQ(w.fontPoints, c.wantFontPoints);
  }
}

TEST(AdjustView, EndlessStepsSaturateInsteadOfWrapping) {
  EngineWindow w;
  w.clientWidth = 600;
  w.clientHeight = 600;
  w.historySpan = 2147483000;
  AdjustView(w, -1, 10, 10);
  EXPECT_EQ(w.historySpan, 2147483647);
}

}  // namespace
}  // namespace kmr
