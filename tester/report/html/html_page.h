// The frame of a self-contained report page: one file with its style inline, no scripts, nothing
// fetched from anywhere, that opens offline in any browser and prints cleanly.
#pragma once

#include <string>
#include <vector>

namespace kmr {

// The whole document around `body` (HTML already escaped), titled `title` (plain text).
std::string HtmlPage(const std::string& title, const std::string& body);

// A section with a heading (plain text) around `content` (HTML).
std::string HtmlSection(const std::string& heading, const std::string& content,
                        const std::string& id = {});

// A row of key figures: each a label over a large value (plain texts) with an optional note.
struct KeyFigure {
  std::string label;
  std::string value;
  std::string note;
  std::string cssClass;  // "gain", "loss" or empty
};
std::string RenderKeyFigures(const std::vector<KeyFigure>& figures);

}  // namespace kmr
