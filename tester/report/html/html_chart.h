// A chart drawn as inline SVG: bands (filled between a low and a high curve, so that the extremes
// of reduced curves stay visible), lines, markers and links between points, over a time or
// number axis and a value axis with round steps.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kmr {

struct ChartPoint {
  double x = 0, y = 0;
};

struct ChartBand {
  std::vector<double> x, low, high;
  std::string color;
  double opacity = 0.25;
  std::string label;  // in the legend; empty: not listed
};

struct ChartLine {
  std::vector<ChartPoint> points;
  std::string color;
  double width = 1.5;
  bool dashed = false;
  std::string label;
};

enum class MarkerShape { kTriangleUp, kTriangleDown, kCircle };

struct ChartMarkers {
  std::vector<ChartPoint> points;
  MarkerShape shape = MarkerShape::kCircle;
  std::string color;
  std::string label;
};

struct ChartLinks {
  std::vector<std::pair<ChartPoint, ChartPoint>> links;
  std::string color;
  double opacity = 0.6;
};

struct ChartSpec {
  std::string title;
  int width = 1100, height = 280;
  bool timeAxis = true;            // x holds seconds since 1970, labelled in local time
  std::optional<double> includeY;  // a value the axis must show, e.g. 0
  std::vector<ChartBand> bands;
  std::vector<ChartLine> lines;
  std::vector<ChartLinks> links;
  std::vector<ChartMarkers> markers;
  std::string emptyText = "No data";  // shown when there is nothing to draw
};

std::string RenderSvgChart(const ChartSpec& chart);

// Round axis steps: about `count` ticks between low and high, each a multiple of 1, 2 or 5
// times a power of ten.
std::vector<double> ValueTicks(double low, double high, int count);
// Ticks on whole local hours, days, months or years between two times, with their labels.
std::vector<std::pair<double, std::string>> TimeTicks(double from, double to, int maxTicks);

}  // namespace kmr
