// A private X server for the window tests.
#pragma once

#include <string>

namespace kmr::testing {

// Starts Xvfb once per process on a free display and returns its name (":N"), or "" when it
// cannot start. The server is stopped when the process exits.
const std::string& XvfbDisplay();

}  // namespace kmr::testing
