// Text put into an HTML page.
#pragma once

#include <string>
#include <string_view>

namespace kmr {

// <, >, &, " and ' as entities; control characters other than tab and line break dropped.
std::string HtmlEscape(std::string_view text);

}  // namespace kmr
