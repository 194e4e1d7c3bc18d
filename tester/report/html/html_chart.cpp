#include "tester/report/html/html_chart.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <limits>

#include "tester/report/html/html_text.h"
#include "tester/report/report_format.h"
#include "tester/settings/text_convert.h"

namespace kmr {

namespace {

constexpr double kLeft = 76, kRight = 16, kTop = 30, kBottom = 26;
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

struct Range {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Add(double v) {
    if (!std::isfinite(v)) return;
    low = std::min(low, v);
    high = std::max(high, v);
  }
  bool Empty() const { return low > high; }
};

// A value with thousands separators and `decimals` decimals.
std::string AxisNumber(double value, int decimals) {
  const std::string text = GroupThousands(Format("%.*f", decimals, std::fabs(value)));
  const bool zero = text.find_first_not_of("0.,") == std::string::npos;
  return value < 0 && !zero ? "\xE2\x88\x92" + text : text;  // a real minus sign
}

std::string Coordinate(double v) {
  std::string text = Format("%.1f", v);
  if (text.size() > 2 && text.compare(text.size() - 2, 2, ".0") == 0) text.resize(text.size() - 2);
  return text == "-0" ? "0" : text;
}

std::tm LocalFields(double time) {
  const std::time_t t = static_cast<std::time_t>(time);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

struct Frame {
  double x0, x1, y0, y1;            // data ranges
  double left, right, top, bottom;  // plot area in pixels
  double X(double x) const { return left + (x - x0) / (x1 - x0) * (right - left); }
  double Y(double y) const { return bottom - (y - y0) / (y1 - y0) * (bottom - top); }
};

std::string Marker(const Frame& f, ChartPoint p, MarkerShape shape) {
  switch (shape) {
    case MarkerShape::kTriangleUp:
      return "M" + Coordinate(f.X(p.x) - 3.5) + " " + Coordinate(f.Y(p.y) + 3) + "h7l-3.5-6z";
    case MarkerShape::kTriangleDown:
      return "M" + Coordinate(f.X(p.x) - 3.5) + " " + Coordinate(f.Y(p.y) - 3) + "h7l-3.5 6z";
    case MarkerShape::kCircle:
      return "M" + Coordinate(f.X(p.x) - 2) + " " + Coordinate(f.Y(p.y)) +
             "a2 2 0 1 0 4 0a2 2 0 1 0-4 0z";
  }
  return {};
}

std::string LegendSymbol(double x, double y, const std::string& color, MarkerShape* shape,
                         bool band) {
  if (band)
    return "<rect x=\"" + Coordinate(x) + "\" y=\"" + Coordinate(y - 5) +
           "\" width=\"14\" height=\"8\" fill=\"" + color + "\" fill-opacity=\"0.35\"/>";
  if (shape != nullptr) {
    Frame unit{0, 1, 0, 1, x + 7, x + 8, y - 1, y};
    return "<path d=\"" + Marker(unit, {0, 0}, *shape) + "\" fill=\"" + color + "\"/>";
  }
  return "<line x1=\"" + Coordinate(x) + "\" y1=\"" + Coordinate(y - 1) + "\" x2=\"" +
         Coordinate(x + 14) + "\" y2=\"" + Coordinate(y - 1) + "\" stroke=\"" + color +
         "\" stroke-width=\"2\"/>";
}

}  // namespace

std::vector<double> ValueTicks(double low, double high, int count) {
  std::vector<double> ticks;
  if (!(high > low) || count < 1) return ticks;
  const double rough = (high - low) / count;
  const double power = std::pow(10, std::floor(std::log10(rough)));
  double step = power * 10;
  for (double m : {1.0, 2.0, 5.0})
    if (power * m >= rough) {
      step = power * m;
      break;
    }
  for (double v = std::ceil(low / step) * step; v <= high + step * 1e-9; v += step)
    ticks.push_back(std::fabs(v) < step * 1e-9 ? 0 : v);
  return ticks;
}

std::vector<std::pair<double, std::string>> TimeTicks(double from, double to, int maxTicks) {
  std::vector<std::pair<double, std::string>> ticks;
  if (!(to > from) || maxTicks < 1) return ticks;
  struct Step {
    int seconds, days, months;
  };
  const Step steps[] = {{600, 0, 0},      {1800, 0, 0},      {3600, 0, 0}, {3 * 3600, 0, 0},
                        {6 * 3600, 0, 0}, {12 * 3600, 0, 0}, {0, 1, 0},    {0, 2, 0},
                        {0, 7, 0},        {0, 14, 0},        {0, 0, 1},    {0, 0, 2},
                        {0, 0, 3},        {0, 0, 6},         {0, 0, 12},   {0, 0, 24},
                        {0, 0, 60},       {0, 0, 120},       {0, 0, 240},  {0, 0, 600}};
  const double span = to - from;
  Step step = steps[std::size(steps) - 1];
  for (const Step& s : steps) {
    const double length = s.seconds + s.days * 86400.0 + s.months * 30.44 * 86400;
    if (span / length <= maxTicks) {
      step = s;
      break;
    }
  }
  std::tm t = LocalFields(from);
  t.tm_sec = t.tm_min = 0;
  t.tm_isdst = -1;
  if (step.seconds == 0) t.tm_hour = 0;
  if (step.months > 0) {
    t.tm_mday = 1;
    const int index = (t.tm_year + 1900) * 12 + t.tm_mon;
    t.tm_mon -= index % step.months;
  }
  const bool withDate = span > 86400;
  for (int guard = 0; guard < 1000; ++guard) {
    std::tm fields = t;
    const double at = static_cast<double>(std::mktime(&fields));
    if (at > to) break;
    if (at >= from) {
      std::string label;
      if (step.months >= 12)
        label = std::to_string(fields.tm_year + 1900);
      else if (step.months > 0)
        label = std::string(kMonths[fields.tm_mon]) + " " + std::to_string(fields.tm_year + 1900);
      else if (step.days > 0)
        label = Format("%04d-%02d-%02d", fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday);
      else if (withDate)
        label = Format("%02d-%02d %02d:%02d", fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                       fields.tm_min);
      else
        label = Format("%02d:%02d", fields.tm_hour, fields.tm_min);
      ticks.emplace_back(at, label);
    }
    if (step.months > 0)
      t.tm_mon += step.months;
    else if (step.days > 0)
      t.tm_mday += step.days;
    else
      t.tm_sec += step.seconds;
    t.tm_isdst = -1;
  }
  return ticks;
}

std::string RenderSvgChart(const ChartSpec& c) {
  Range xs, ys;
  for (const ChartBand& b : c.bands) {
    for (double x : b.x) xs.Add(x);
    for (double y : b.low) ys.Add(y);
    for (double y : b.high) ys.Add(y);
  }
  for (const ChartLine& l : c.lines)
    for (const ChartPoint& p : l.points) xs.Add(p.x), ys.Add(p.y);
  for (const ChartMarkers& m : c.markers)
    for (const ChartPoint& p : m.points) xs.Add(p.x), ys.Add(p.y);

  const std::string size =
      "viewBox=\"0 0 " + std::to_string(c.width) + " " + std::to_string(c.height) + "\"";
  std::string svg = "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" " + size +
                    " role=\"img\" aria-label=\"" + HtmlEscape(c.title) + "\">\n";
  svg += "<text class=\"title\" x=\"" + Coordinate(kLeft) + "\" y=\"17\">" + HtmlEscape(c.title) +
         "</text>\n";
  if (xs.Empty() || ys.Empty()) {
    svg += "<text x=\"" + Coordinate(c.width / 2.0) + "\" y=\"" + Coordinate(c.height / 2.0) +
           "\" text-anchor=\"middle\">" + HtmlEscape(c.emptyText) + "</text>\n</svg>\n";
    return svg;
  }
  if (c.includeY) ys.Add(*c.includeY);
  if (xs.high == xs.low) xs.low -= 1, xs.high += 1;
  if (ys.high == ys.low) {
    const double pad = ys.high == 0 ? 1 : std::fabs(ys.high) * 0.01;
    ys.low -= pad, ys.high += pad;
  }
  const double margin = (ys.high - ys.low) * 0.05;
  Frame f{xs.low,           xs.high, ys.low - margin,   ys.high + margin, kLeft,
          c.width - kRight, kTop,    c.height - kBottom};
  // A curve that stays on one side of the line it must show starts right at that line.
  if (c.includeY && ys.low == *c.includeY) f.y0 = ys.low;
  if (c.includeY && ys.high == *c.includeY) f.y1 = ys.high;

  // Legend, right of the title.
  double legendX = kLeft + 9.0 * static_cast<double>(c.title.size()) + 24;
  auto legend = [&](const std::string& label, const std::string& color, MarkerShape* shape,
                    bool band) {
    if (label.empty()) return;
    svg += LegendSymbol(legendX, 16, color, shape, band);
    svg +=
        "<text x=\"" + Coordinate(legendX + 19) + "\" y=\"19\">" + HtmlEscape(label) + "</text>\n";
    legendX += 19 + 6.5 * static_cast<double>(label.size()) + 18;
  };
  for (const ChartLine& l : c.lines) legend(l.label, l.color, nullptr, false);
  for (const ChartBand& b : c.bands) legend(b.label, b.color, nullptr, true);
  for (const ChartMarkers& m : c.markers) {
    MarkerShape shape = m.shape;
    legend(m.label, m.color, &shape, false);
  }

  // Grid and value labels.
  const std::vector<double> yTicks = ValueTicks(f.y0, f.y1, 5);
  int decimals = 0;
  if (yTicks.size() >= 2) {
    const double step = yTicks[1] - yTicks[0];
    decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 8);
  }
  for (double v : yTicks) {
    const std::string y = Coordinate(f.Y(v));
    svg += "<line class=\"grid\" x1=\"" + Coordinate(f.left) + "\" y1=\"" + y + "\" x2=\"" +
           Coordinate(f.right) + "\" y2=\"" + y + "\"/>";
    svg += "<text x=\"" + Coordinate(f.left - 6) + "\" y=\"" + Coordinate(f.Y(v) + 3.5) +
           "\" text-anchor=\"end\">" + AxisNumber(v, decimals) + "</text>\n";
  }
  if (c.timeAxis) {
    for (const auto& [at, label] : TimeTicks(f.x0, f.x1, std::max(2, c.width / 120))) {
      const std::string x = Coordinate(f.X(at));
      svg += "<line class=\"grid\" x1=\"" + x + "\" y1=\"" + Coordinate(f.top) + "\" x2=\"" + x +
             "\" y2=\"" + Coordinate(f.bottom) + "\"/>";
      svg += "<text x=\"" + x + "\" y=\"" + Coordinate(f.bottom + 16) +
             "\" text-anchor=\"middle\">" + HtmlEscape(label) + "</text>\n";
    }
  } else {
    for (double v : ValueTicks(f.x0, f.x1, 8)) {
      const std::string x = Coordinate(f.X(v));
      svg += "<line class=\"grid\" x1=\"" + x + "\" y1=\"" + Coordinate(f.top) + "\" x2=\"" + x +
             "\" y2=\"" + Coordinate(f.bottom) + "\"/>";
      svg += "<text x=\"" + x + "\" y=\"" + Coordinate(f.bottom + 16) +
             "\" text-anchor=\"middle\">" + AxisNumber(v, 0) + "</text>\n";
    }
  }
  if (c.includeY && *c.includeY > f.y0 && *c.includeY < f.y1) {
    const std::string y = Coordinate(f.Y(*c.includeY));
    svg += "<line class=\"axis\" x1=\"" + Coordinate(f.left) + "\" y1=\"" + y + "\" x2=\"" +
           Coordinate(f.right) + "\" y2=\"" + y + "\"/>\n";
  }

  for (const ChartBand& b : c.bands) {
    const std::size_t n = std::min({b.x.size(), b.low.size(), b.high.size()});
    if (n == 0) continue;
    std::string d;
    for (std::size_t i = 0; i < n; ++i)
      d += (i ? "L" : "M") + Coordinate(f.X(b.x[i])) + " " + Coordinate(f.Y(b.high[i]));
    for (std::size_t i = n; i-- > 0;)
      d += "L" + Coordinate(f.X(b.x[i])) + " " + Coordinate(f.Y(b.low[i]));
    svg += "<path d=\"" + d + "Z\" fill=\"" + b.color + "\" fill-opacity=\"" +
           Format("%.2f", b.opacity) + "\" stroke=\"" + b.color + "\" stroke-opacity=\"" +
           Format("%.2f", std::min(1.0, b.opacity * 2)) + "\" stroke-width=\"0.6\"/>\n";
  }
  for (const ChartLine& l : c.lines) {
    if (l.points.empty()) continue;
    std::string d;
    for (std::size_t i = 0; i < l.points.size(); ++i)
      d += (i ? "L" : "M") + Coordinate(f.X(l.points[i].x)) + " " + Coordinate(f.Y(l.points[i].y));
    svg += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + l.color + "\" stroke-width=\"" +
           Format("%.1f", l.width) + "\" stroke-linejoin=\"round\"" +
           (l.dashed ? " stroke-dasharray=\"5 4\"" : "") + "/>\n";
  }
  for (const ChartLinks& set : c.links) {
    if (set.links.empty()) continue;
    std::string d;
    for (const auto& [a, b] : set.links)
      d += "M" + Coordinate(f.X(a.x)) + " " + Coordinate(f.Y(a.y)) + "L" + Coordinate(f.X(b.x)) +
           " " + Coordinate(f.Y(b.y));
    svg += "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + set.color + "\" stroke-opacity=\"" +
           Format("%.2f", set.opacity) + "\" stroke-width=\"1.2\"/>\n";
  }
  for (const ChartMarkers& m : c.markers) {
    if (m.points.empty()) continue;
    std::string d;
    for (const ChartPoint& p : m.points) d += Marker(f, p, m.shape);
    svg +=
        "<path d=\"" + d + "\" fill=\"" + m.color + "\" stroke=\"#fff\" stroke-width=\"0.6\"/>\n";
  }
  svg += "<rect x=\"" + Coordinate(f.left) + "\" y=\"" + Coordinate(f.top) + "\" width=\"" +
         Coordinate(f.right - f.left) + "\" height=\"" + Coordinate(f.bottom - f.top) +
         "\" fill=\"none\" class=\"axis\"/>\n";
  return svg + "</svg>\n";
}

}  // namespace kmr
