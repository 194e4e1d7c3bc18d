// Writes a set of files into one folder so that each is there whole or not at all: every file
// first goes to a temporary file beside its target and is synced, and only when all of them are
// written are they renamed over their names. A failure leaves no temporary file behind.
#pragma once

#include <string>
#include <vector>

namespace kmr {

struct WholeFile {
  std::string name;  // within the folder
  std::string bytes;
};

// Creates the folder (and its parents) when missing. Returns the error, naming the file or
// folder, or an empty text when every file was written.
std::string WriteWholeFiles(const std::string& folder, const std::vector<WholeFile>& files);

}  // namespace kmr
