#include "engine/window/paint.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "engine/charts/trend_vote.h"
#include "engine/window/text.h"

namespace kmr {

namespace {

constexpr int kUnmeasuredStatusHeight = 20;
constexpr int kUnmeasuredLineHeight = 14;

void SetColour(cairo_t* cr, Rgb c) {
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
}

// Pixel rectangle from (x0, y0) up to, not including, (x1, y1); empty ones draw nothing.
void FillBox(cairo_t* cr, int x0, int y0, int x1, int y1, Rgb c) {
  if (x1 <= x0 || y1 <= y0) return;
  SetColour(cr, c);
  cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
  cairo_fill(cr);
}

void Line(cairo_t* cr, int x0, int y0, int x1, int y1) {
  cairo_move_to(cr, x0, y0);
  cairo_line_to(cr, x1, y1);
  cairo_stroke(cr);
}

// Truncation toward zero that stays defined for values no int can hold (and for NaN).
int Truncate(double v) {
  if (!(v == v)) return 0;
  if (v >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (v <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(v);
}

Rgb DirectionColour(bool up) {
  return up ? kUp : kDown;
}

}  // namespace

WindowLayout LayOutWindow(const WindowSnapshot& s, cairo_t* cr, int width, int height) {
  SelectWindowFont(cr, s.view.fontPoints);
  WindowLayout l{};
  const int textHeight = TextHeight(cr);
  l.statusHeight = textHeight > 0 ? textHeight + 6 : kUnmeasuredStatusHeight;
  l.lineHeight = textHeight > 0 ? textHeight : kUnmeasuredLineHeight;
  l.chartBottom = height - l.statusHeight;
  l.middle = width / 2;
  const int trendCount = std::clamp(s.view.trendChartCount, 0, kMaxCharts);
  const int entryCount = std::clamp(s.view.entryChartCount, 0, kMaxCharts);
  l.trendRowHeight = trendCount > 0 ? (l.chartBottom / 2) / trendCount : 0;
  l.entryRowHeight = entryCount > 0 ? l.chartBottom / entryCount : 0;
  return l;
}

void PaintWindow(const WindowSnapshot& s, cairo_t* cr, int width, int height) {
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  FillBox(cr, 0, 0, width, height, kBackground);
  const WindowLayout l = LayOutWindow(s, cr, width, height);
  const int trendCount = std::clamp(s.view.trendChartCount, 0, kMaxCharts);
  const int entryCount = std::clamp(s.view.entryChartCount, 0, kMaxCharts);
  const int B = l.chartBottom, M = l.middle, T = l.trendRowHeight, E = l.entryRowHeight;

  SetColour(cr, kGrid);
  cairo_set_line_width(cr, 2);
  Line(cr, M, 0, M, B);
  Line(cr, 0, B, width, B);
  for (int k = 1; k <= trendCount; ++k) Line(cr, 0, k * T, M, k * T);
  for (int k = 1; k <= entryCount - 1; ++k) Line(cr, M, k * E, width, k * E);

  std::int32_t latest = 0;
  for (int k = 0; k < trendCount; ++k) {
    const TrendRowData& row = s.trend[k];
    if (row.count > 0) latest = std::max(latest, row.time[row.count - 1]);
  }
  for (int k = 0; k < trendCount; ++k) PaintTrendRow(s, k, cr, k * T, M, T, latest);
  for (int k = 0; k < entryCount; ++k) PaintEntryRow(s, k, cr, M, k * E, width - M, E);

  SetColour(cr, kMessageText);
  int y = T * trendCount + 2;
  for (int i = s.messages.count - 1; i >= 0; --i) {
    if (y + l.lineHeight > B) break;
    DrawText(cr, 2, y, s.messages.Line(i));
    y += l.lineHeight;
  }

  PaintStatusLine(s, cr, B);
  cairo_restore(cr);
}

void PaintTrendRow(const WindowSnapshot& s, int k, cairo_t* cr, int top, int M, int T,
                   std::int32_t latest) {
  if (!s.hasContext) return;
  const bool isChart = k >= 0 && k < s.trendChartCount && k < kMaxCharts;
  const TrendRowData* row = isChart && s.trendChartsExist ? &s.trend[k] : nullptr;
  if (row != nullptr && row->count > 0) {
    const int X = M - s.view.barMarginRight;
    const int y0 = top + s.view.barMarginTop;
    const int y1 = top + T - s.view.barMarginBottom;
    const bool newestUp = row->direction[row->count - 1] != 0;
    if (!row->colourHistory) {
      FillBox(cr, 0, y0, X, y1, DirectionColour(newestUp));
    } else {
      const std::int64_t leftTime = static_cast<std::int64_t>(latest) - s.view.historySpan;
      const double scale = s.view.historySpan != 0 ? double(X) / s.view.historySpan : 0.0;
      int x0 = 0;
      bool current = newestUp;
      for (int i = 0; i < row->count; ++i) {
        const bool up = row->direction[i] != 0;
        if (row->time[i] > leftTime) {
          const int x = std::min(Truncate(double(row->time[i] - leftTime) * scale), X);
          FillBox(cr, x0, y0, x, y1, DirectionColour(!up));
          x0 = x;
        }
        current = up;
      }
      if (x0 < X) FillBox(cr, x0, y0, X, y1, DirectionColour(current));
    }
  }
  if (isChart && s.trendCaptions[k][0] != '\0') {
    SetColour(cr, kCaptionText);
    DrawText(cr, 2, top + s.view.barMarginTop, s.trendCaptions[k]);
  }
}

void PaintEntryRow(const WindowSnapshot& s, int k, cairo_t* cr, int X0, int Y0, int RW, int RH) {
  if (!s.hasContext) return;
  const bool isChart = k >= 0 && k < s.entryChartCount && k < kMaxCharts;
  const ViewSettings& v = s.view;
  const int capacity = EntryRowCapacity(v, RW);
  const EntryRowData* row = isChart && s.entryChartsExist ? &s.entry[k] : nullptr;
  const int count = row != nullptr ? std::min(row->count, capacity) : 0;
  if (count > 0 && RW > 0 && RH > 0) {
    const Candle* candles = row->candles + (row->count - count);  // the newest `count`
    double hi = candles[0].high, lo = candles[0].low;
    for (int i = 1; i < count; ++i) {
      hi = std::max(hi, candles[i].high);
      lo = std::min(lo, candles[i].low);
    }
    const bool flat = !(hi - lo > 0) || !std::isfinite(hi - lo);
    const double scale = flat ? 0.0 : (RH - v.candleMarginBottom - v.candleMarginTop) / (hi - lo);
    // Rows too small for their margins would otherwise spill into their neighbours.
    cairo_save(cr);
    cairo_rectangle(cr, X0, Y0, RW, RH);
    cairo_clip(cr);
    int right = X0 + RW - v.candleMarginRight;
    for (int i = count - 1; i >= 0; --i) {
      const int left = right - v.candleWidth;
      if (left < X0) break;
      const Candle& c = candles[i];
      int top, bottom;
      if (flat) {  // no vertical scale: a thin box across the middle of the row
        top = Y0 + RH / 2;
        bottom = top + 1;
      } else {
        top = Truncate((hi - c.high) * scale) + v.candleMarginTop + Y0;
        bottom = top + Truncate((c.high - c.low) * scale);
      }
      FillBox(cr, left, top, right, bottom, c.open > c.close ? kDown : kUp);
      right = left - v.candleGap;
    }
    cairo_restore(cr);
  }
  if (isChart && s.entryCaptions[k][0] != '\0') {
    SetColour(cr, kCaptionText);
    DrawText(cr, X0 + 2, Y0 + 2, s.entryCaptions[k]);
  }
}

void FormatStatusLine(const WindowSnapshot& s, char (&out)[128]) {
  char letters[17];
  TrendLetters(s.trendWord, std::min(s.trendChartCount, 16), letters);
  FormatBounded(out, sizeof out, "KMR (ver 2.03): Ready   %s    %.2f   $%.2f ($%.2f)", letters,
                s.netPosition, s.floatingProfit, s.closedProfit);
}

void PaintStatusLine(const WindowSnapshot& s, cairo_t* cr, int B) {
  char text[128];
  FormatStatusLine(s, text);
  SetColour(cr, kCaptionText);
  DrawText(cr, 5, B + 3, text);
}

}  // namespace kmr
