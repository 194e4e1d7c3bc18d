#include "tester/report/html/html_table.h"

#include "tester/report/html/html_text.h"

namespace kmr {

namespace {

std::string Classes(bool numeric, const std::string& extra) {
  std::string classes = numeric ? "num" : "";
  if (!extra.empty()) classes += (classes.empty() ? "" : " ") + extra;
  return classes.empty() ? "" : " class=\"" + HtmlEscape(classes) + "\"";
}

}  // namespace

std::string RenderTable(const HtmlTable& table) {
  auto numeric = [&](std::size_t column) {
    return column < table.numeric.size() && table.numeric[column];
  };
  std::string html = "<table" + Classes(false, table.cssClass) + ">\n<thead><tr>";
  for (std::size_t i = 0; i < table.header.size(); ++i)
    html += "<th" + Classes(numeric(i), "") + ">" + HtmlEscape(table.header[i]) + "</th>";
  html += "</tr></thead>\n<tbody>\n";
  for (const std::vector<HtmlCell>& row : table.rows) {
    html += "<tr>";
    for (std::size_t i = 0; i < row.size(); ++i)
      html +=
          "<td" + Classes(numeric(i), row[i].cssClass) + ">" + HtmlEscape(row[i].text) + "</td>";
    html += "</tr>\n";
  }
  return html + "</tbody>\n</table>\n";
}

std::string RenderNamedValues(const std::vector<NamedValue>& rows, const std::string& cssClass) {
  std::string html = "<table" + Classes(false, cssClass) + ">\n<tbody>\n";
  for (const NamedValue& row : rows)
    html += "<tr><th>" + HtmlEscape(row.name) + "</th><td" + Classes(true, row.value.cssClass) +
            ">" + HtmlEscape(row.value.text) + "</td></tr>\n";
  return html + "</tbody>\n</table>\n";
}

std::string SignClass(double amount) {
  return amount > 0 ? "gain" : amount < 0 ? "loss" : "";
}

}  // namespace kmr
