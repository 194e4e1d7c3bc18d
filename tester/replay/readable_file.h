// The check of an input file that kmr-replay and kmr-sweep make before the engine is loaded.
#pragma once

#include <string>

namespace kmr {

// Why `path` cannot be read as a price (or bar) file, "PATH: cannot open: why"; empty when it
// is a readable regular file.
std::string UnreadableFile(const std::string& path);

}  // namespace kmr
