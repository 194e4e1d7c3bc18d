// A table for an HTML report page: a header row, rows of cells, numbers aligned right.
#pragma once

#include <string>
#include <vector>

namespace kmr {

struct HtmlCell {
  std::string text;      // plain text, escaped when rendered
  std::string cssClass;  // e.g. "gain", "loss"; empty for none
};

struct HtmlTable {
  std::vector<std::string> header;
  std::vector<bool> numeric;  // per column: aligned right
  std::vector<std::vector<HtmlCell>> rows;
  std::string cssClass;  // of the table element
};

std::string RenderTable(const HtmlTable& table);

// A table of two columns, a name and its value, without a header row.
struct NamedValue {
  std::string name;
  HtmlCell value;
};
std::string RenderNamedValues(const std::vector<NamedValue>& rows, const std::string& cssClass);

// "gain" for a positive amount, "loss" for a negative one, else empty.
std::string SignClass(double amount);

}  // namespace kmr
