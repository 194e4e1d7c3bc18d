// The committed files of tests/data/convert are the generator's; KMR_RECORD_FIXTURES=1 writes
// them anew.
#include "tests/convert/fixtures.h"

#include <cstdlib>
#include <fstream>

#include "tests/convert/programs.h"

namespace kmr::test {
namespace {

TEST(ConvertFixtures, AreWhatTheGeneratorWrites) {
  const bool record = std::getenv("KMR_RECORD_FIXTURES") != nullptr;
  for (const Fixture& fixture : Fixtures()) {
    SCOPED_TRACE(fixture.file);
    const std::string path = kConvertData + "/" + fixture.file;
    const std::string content = fixture.write();
    if (record) std::ofstream(path, std::ios::binary) << content;
    EXPECT_EQ(Slurp(path), content);
  }
}

}  // namespace
}  // namespace kmr::test
