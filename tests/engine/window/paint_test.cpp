#include "engine/window/paint.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "engine/window/text.h"
#include "picture_fixture.h"

namespace kmr {
namespace {

using namespace kmr::testing;

// The point size whose text height is 14 pixels, so that the status line is 20 high.
int PointsForTextHeight(int wanted) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 4);
  cairo_t* cr = cairo_create(surface);
  int found = -1;
  for (int points = 1; points <= 40 && found < 0; ++points) {
    SelectWindowFont(cr, points);
    if (TextHeight(cr) == wanted) found = points;
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return found;
}

void AddMessage(WindowSnapshot& s, const char* text) {
  MessageList& m = s.messages;
  std::snprintf(m.lines[(m.first + m.count) % kMessageLines], kMessageLineSize, "%s", text);
  ++m.count;
}

bool RowHasInk(const Picture& p, int y, int x0, int x1) {
  for (int x = x0; x < x1; ++x)
    if (p.At(x, y) != kBlackPixel) return true;
  return false;
}

TEST(PaintWindow, LaysOutFourTrendAndThreeEntryRowsIn600By600) {
  auto s = EmptySnapshot(4, 3);
  s->view.fontPoints = PointsForTextHeight(14);
  ASSERT_GT(s->view.fontPoints, 0) << "no point size gives a text height of 14";
  AddMessage(*s, "12:00:00 newest");

  Picture p(600, 600);
  cairo_t* cr = cairo_create(p.surface);
  const WindowLayout l = LayOutWindow(*s, cr, 600, 600);
  cairo_destroy(cr);
  EXPECT_EQ(l.statusHeight, 20);
  EXPECT_EQ(l.chartBottom, 580);
  EXPECT_EQ(l.middle, 300);
  EXPECT_EQ(l.trendRowHeight, 72);
  EXPECT_EQ(l.entryRowHeight, 193);

  Paint(*s, p);
  // Two-pixel grid lines centred on their coordinate.
  for (int y : {10, 400, 578}) {
    EXPECT_EQ(p.At(298, y), kBlackPixel);
    EXPECT_EQ(p.At(299, y), kGridPixel);
    EXPECT_EQ(p.At(300, y), kGridPixel);
    EXPECT_EQ(p.At(301, y), kBlackPixel);
  }
  for (int x : {5, 450, 595}) {
    EXPECT_EQ(p.At(x, 578), kBlackPixel);
    EXPECT_EQ(p.At(x, 579), kGridPixel);
    EXPECT_EQ(p.At(x, 580), kGridPixel);
  }
  for (int k = 1; k <= 4; ++k) {  // trend rows at 0, 72, 144, 216; the last line closes them
    EXPECT_EQ(p.At(150, k * 72 - 1), kGridPixel) << k;
    EXPECT_EQ(p.At(150, k * 72), kGridPixel) << k;
    EXPECT_EQ(p.At(150, k * 72 + 1), kBlackPixel) << k;
  }
  for (int k = 1; k <= 2; ++k) {
    EXPECT_EQ(p.At(450, k * 193), kGridPixel) << k;
    EXPECT_EQ(p.At(450, k * 193 + 1), kBlackPixel) << k;
  }

  // The newest message starts at y = 290.
  int firstInk = -1;
  for (int y = 289; y < 579 && firstInk < 0; ++y)
    if (RowHasInk(p, y, 2, 290)) firstInk = y;
  EXPECT_GE(firstInk, 290);
  EXPECT_LT(firstInk, 290 + 14);
}

TEST(PaintTrendRow, WithoutColourHistoryOneBarInTheCurrentTrend) {
  auto s = EmptySnapshot(2, 0);
  s->trend[0].changeCount = s->trend[0].count = 2;
  s->trend[0].direction[0] = 1;
  s->trend[0].direction[1] = 0;  // newest: down
  s->trend[0].time[0] = 100;
  s->trend[0].time[1] = 200;
  std::snprintf(s->trendCaptions[1], kCaptionSize, "h800");  // no changes: caption only
  Picture p(600, 600);
  Paint(*s, p);
  // B = 600 - S; T = (B / 2) / 2; bar from x 0 to 295, y from 5 to T - 5.
  cairo_t* cr = cairo_create(p.surface);
  const int T = LayOutWindow(*s, cr, 600, 600).trendRowHeight;
  cairo_destroy(cr);
  EXPECT_EQ(p.At(0, T / 2), kDownPixel);
  EXPECT_EQ(p.At(294, T / 2), kDownPixel);
  EXPECT_EQ(p.At(295, T / 2), kBlackPixel);
  EXPECT_EQ(p.At(150, 4), kBlackPixel);
  EXPECT_EQ(p.At(150, 5), kDownPixel);
  EXPECT_EQ(p.At(150, T - 6), kDownPixel);
  EXPECT_EQ(p.At(150, T - 5), kBlackPixel);
  // The second row has no bar but its caption.
  EXPECT_EQ(p.At(150, T + T / 2), kBlackPixel);
  EXPECT_TRUE(RowHasInk(p, T + 5 + 4, 2, 60));
}

TEST(PaintTrendRow, ColourHistoryCoversTheSpanUpToTheLatestChange) {
  auto s = EmptySnapshot(2, 0);
  // latest = 200000, left time 27200, X = 295, scale 295 / 172800.
  TrendRowData& a = s->trend[0];
  a.colourHistory = 1;
  a.changeCount = a.count = 3;
  a.direction[0] = 1, a.time[0] = 10000;   // before the left time: only sets the colour
  a.direction[1] = 0, a.time[1] = 113600;  // x = 147
  a.direction[2] = 1, a.time[2] = 200000;  // x = 295, at the bar's right end
  TrendRowData& b = s->trend[1];
  b.colourHistory = 1;
  b.changeCount = b.count = 1;
  b.direction[0] = 0, b.time[0] = 50000;  // x = 38
  Picture p(600, 600);
  Paint(*s, p);
  cairo_t* cr = cairo_create(p.surface);
  const int T = LayOutWindow(*s, cr, 600, 600).trendRowHeight;
  cairo_destroy(cr);
  const int ya = T / 2 + 8, yb = T + T / 2 + 8;  // below the captions' height
  EXPECT_EQ(p.At(146, ya), kUpPixel);
  EXPECT_EQ(p.At(147, ya), kDownPixel);
  EXPECT_EQ(p.At(294, ya), kDownPixel);
  EXPECT_EQ(p.At(295, ya), kBlackPixel);
  EXPECT_EQ(p.At(37, yb), kUpPixel);  // the direction in force before the change
  EXPECT_EQ(p.At(38, yb), kDownPixel);
  EXPECT_EQ(p.At(294, yb), kDownPixel);
}

void FillCandles(EntryRowData& row, int count, double price, double height) {
  row.count = count;
  for (int i = 0; i < count; ++i) {
    const bool up = i % 2 == 0;
    row.candles[i] = {up ? price : price + height, price + height + 1 + (i % 3),
                      price - 1 - (i % 3), up ? price + height : price};
  }
}

TEST(PaintEntryRow, HoldsAsManyCandlesAsFitNewestAtTheRight) {
  auto s = EmptySnapshot(0, 1);
  EXPECT_EQ(EntryRowCapacity(s->view, 300), 42);
  FillCandles(s->entry[0], 100, 1.0, 0.0);  // the highs and lows differ; every box is visible
  Picture p(600, 600);
  Paint(*s, p);
  // Count the boxes along a line through the middle of the row (all reach it: low <= mid).
  int boxes = 0, leftmost = -1, rightmost = -1;
  const int y = 290;
  for (int x = 300; x < 600; ++x) {
    const bool ink = p.At(x, y) == kUpPixel || p.At(x, y) == kDownPixel;
    const bool before = x > 300 && (p.At(x - 1, y) == kUpPixel || p.At(x - 1, y) == kDownPixel);
    if (ink && !before) {
      ++boxes;
      if (leftmost < 0) leftmost = x;
    }
    if (ink) rightmost = x;
  }
  EXPECT_EQ(boxes, 42);
  EXPECT_EQ(rightmost, 594);
  EXPECT_EQ(leftmost, 595 - 42 * 7 + 2);
}

TEST(PaintEntryRow, CandlesOfOnePriceAreThinBoxesInTheMiddleOfTheRow) {
  auto s = EmptySnapshot(0, 3);
  s->entry[1].count = 3;
  for (int i = 0; i < 3; ++i) s->entry[1].candles[i] = {1.5, 1.5, 1.5, 1.5};
  Picture p(600, 600);
  Paint(*s, p);
  cairo_t* cr = cairo_create(p.surface);
  const int E = LayOutWindow(*s, cr, 600, 600).entryRowHeight;
  cairo_destroy(cr);
  const int mid = E + E / 2;
  EXPECT_EQ(p.At(592, mid), kUpPixel);
  EXPECT_EQ(p.At(592, mid - 1), kBlackPixel);
  EXPECT_EQ(p.At(592, mid + 1), kBlackPixel);
  EXPECT_EQ(p.At(580, mid), kUpPixel);  // third candle from the right: 581 - 2 - 5 * 2
}

TEST(PaintEntryRow, NothingIsDrawnOutsideTheRow) {
  // Rows lower than their margins, and prices that are not numbers.
  for (int height : {600, 60, 30}) {
    SCOPED_TRACE(height);
    auto empty = EmptySnapshot(0, 8);
    auto s = EmptySnapshot(0, 8);
    FillCandles(s->entry[3], 50, 100.0, 5.0);
    s->entry[5].count = 2;
    s->entry[5].candles[0] = {1.0, 0.0 / 0.0, 1.0, 1.0};
    s->entry[5].candles[1] = {1.0, 1e308, -1e308, 1.0};
    Picture withCandles(600, height), without(600, height);
    Paint(*s, withCandles);
    Paint(*empty, without);
    cairo_t* cr = cairo_create(without.surface);
    const int E = LayOutWindow(*s, cr, 600, height).entryRowHeight;
    cairo_destroy(cr);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < 600; ++x) {
        const bool inRow3 = x >= 300 && y >= 3 * E && y < 4 * E;
        const bool inRow5 = x >= 300 && y >= 5 * E && y < 6 * E;
        if (!inRow3 && !inRow5) {
          ASSERT_EQ(withCandles.At(x, y), without.At(x, y)) << x << "," << y;
        }
      }
  }
}

TEST(PaintWindow, DrawsTheNewestMessagesThatFitAboveTheStatusLine) {
  auto all = EmptySnapshot(2, 1);
  char text[48];
  for (int i = 0; i < 30; ++i) {
    std::snprintf(text, sizeof text, "12:00:%02d line %d", i, i);
    AddMessage(*all, text);
  }
  const int height = 300;
  Picture p(600, height);
  cairo_t* cr = cairo_create(p.surface);
  const WindowLayout l = LayOutWindow(*all, cr, 600, height);
  cairo_destroy(cr);
  const int top = 2 * l.trendRowHeight + 2;
  const int fitting = (l.chartBottom - top) / l.lineHeight;
  ASSERT_GT(fitting, 1);
  ASSERT_LT(fitting, 30);

  auto newest = EmptySnapshot(2, 1);
  auto fewer = EmptySnapshot(2, 1);
  for (int i = 30 - fitting; i < 30; ++i) {
    std::snprintf(text, sizeof text, "12:00:%02d line %d", i, i);
    AddMessage(*newest, text);
    if (i > 30 - fitting) AddMessage(*fewer, text);
  }
  Picture q(600, height), r(600, height);
  Paint(*all, p);
  Paint(*newest, q);
  Paint(*fewer, r);
  EXPECT_TRUE(p.SameAs(q));
  EXPECT_FALSE(p.SameAs(r));
}

TEST(PaintStatusLine, FormatsLettersAndMoney) {
  auto s = EmptySnapshot(3, 0);
  s->trendWord = (1u << 2) | (3u << 4);
  s->netPosition = 1.5;
  s->floatingProfit = -12.3;
  s->closedProfit = 40;
  char text[128];
  FormatStatusLine(*s, text);
  EXPECT_STREQ(text, "KMR (ver 2.03): Ready   -DU    1.50   $-12.30 ($40.00)");

  s->netPosition = 1e300;  // cut at 127 characters, still terminated
  FormatStatusLine(*s, text);
  EXPECT_EQ(std::string(text).size(), 127u);
}

TEST(PaintWindow, TextSizeFollowsFontPoints) {
  auto s = EmptySnapshot(1, 1);
  Picture p(600, 600);
  cairo_t* cr = cairo_create(p.surface);
  s->view.fontPoints = 8;
  const WindowLayout small = LayOutWindow(*s, cr, 600, 600);
  s->view.fontPoints = 20;
  const WindowLayout large = LayOutWindow(*s, cr, 600, 600);
  cairo_destroy(cr);
  EXPECT_GT(large.statusHeight, small.statusHeight);
  EXPECT_GT(large.lineHeight, small.lineHeight);
  EXPECT_EQ(large.statusHeight, large.lineHeight + 6);
  EXPECT_EQ(FontPixels(8), 11);
  EXPECT_EQ(FontPixels(9), 12);
}

TEST(PaintWindow, TextThatIsNotUtf8StillLeavesTheRestOfThePicture) {
  auto s = EmptySnapshot(1, 1);
  AddMessage(*s, "12:00:00 caf\xe9 \xff\xfe");
  std::snprintf(s->trendCaptions[0], kCaptionSize, "h\xe9");
  Picture p(600, 600);
  Paint(*s, p);
  EXPECT_EQ(p.At(300, 10), kGridPixel);
  cairo_t* cr = cairo_create(p.surface);
  const int B = LayOutWindow(*s, cr, 600, 600).chartBottom;
  cairo_destroy(cr);
  EXPECT_TRUE(RowHasInk(p, B + 3 + 6, 5, 200));  // the status line was still drawn
}

}  // namespace
}  // namespace kmr
