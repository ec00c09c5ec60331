#include <gtest/gtest.h>

#include "res/VersionText.h"

namespace kestrel::res {
namespace {

TEST(VersionText, PrintsThePartsWithoutSeparatorAfterTheMinorPart) {
  const struct {
    FileVersion version;
    const char* text;
  } cases[] = {
      {{1, 0, 4, 0}, "Version 1.04"},
      {{1, 0, 4, 2}, "Version 1.042"},
      {{1, 2, 10, 0}, "Version 1.210"},
      {{0, 0, 0, 0}, "Version 0.00"},  // no version data
      {{65535, 65535, 65535, 65535}, "Version 65535.655356553565535"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatVersionText(c.version), c.text);
}

TEST(VersionText, OwnVersionComesFromTheBuild) {
  const FileVersion own = OwnFileVersion();
  EXPECT_EQ(FormatVersionText(own), "Version 1.04");
}

}  // namespace
}  // namespace kestrel::res
