#include <gtest/gtest.h>

#include "common/SettingWords.h"

namespace kestrel {
namespace {

// Both command lines read these words; the two spellings of an input and
// any letter case must mean the same, and near misses must be refused.
TEST(SettingWords, InputAssignmentsInEitherSpelling) {
  const struct {
    const char* text;
    int inputs;  // -1: refused
    const char* value;
  } cases[] = {
      {"DI3=off", 0x04, "off"}, {"di3=fall", 0x04, "fall"}, {"3=rise", 0x04, "rise"},
      {"all=fall", 0xFF, "fall"}, {"ALL=1", 0xFF, "1"},    {"DI8=x", 0x80, "x"},
      {"DI0=off", -1, ""},       {"9=off", -1, ""},        {"DI=off", -1, ""},
      {"DI3", -1, ""},           {"D3=off", -1, ""},       {"+3=off", -1, ""},
      {" 3=off", -1, ""},
  };
  for (const auto& c : cases) {
    const auto got = SplitInputAssignment(c.text);
    if (c.inputs < 0) {
      EXPECT_FALSE(got) << c.text;
      continue;
    }
    ASSERT_TRUE(got) << c.text;
    EXPECT_EQ(got->inputs, c.inputs) << c.text;
    EXPECT_EQ(got->value, c.value) << c.text;
  }
}

TEST(SettingWords, PeriodsChatterAndModes) {
  EXPECT_EQ(CountPeriodFromWord("START-STOP"), 0);
  EXPECT_EQ(CountPeriodFromWord("10"), 3);
  EXPECT_FALSE(CountPeriodFromWord("0.10"));
  EXPECT_EQ(ChatterCodeFromWord("Off"), 0);
  EXPECT_EQ(ChatterCodeFromWord("4"), 4);
  for (const char* refused : {"3", "21", "4.5", "-4", ""}) EXPECT_FALSE(ChatterCodeFromWord(refused)) << refused;
  EXPECT_EQ(InputModeFromWord("FALL")->edge, 1);
  EXPECT_FALSE(InputModeFromWord("off")->enabled);
  EXPECT_FALSE(InputModeFromWord("up"));
}

}  // namespace
}  // namespace kestrel
