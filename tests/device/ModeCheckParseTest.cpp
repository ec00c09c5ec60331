#include <gtest/gtest.h>

#include <string>

#include "device/ModeCheck.h"

namespace kestrel::device {
namespace {

struct DumpCase {
  const char* name;
  std::string dump;
  bool spontaneous;
};

class DumpParse : public ::testing::TestWithParam<DumpCase> {};

TEST_P(DumpParse, FindsTheModePairBeforeEnd) {
  const DumpCase& c = GetParam();
  EXPECT_EQ(DumpShowsSpontaneousMode(reinterpret_cast<const std::uint8_t*>(c.dump.data()),
                                     c.dump.size()),
            c.spontaneous);
}

const std::string kLongLine(300, 'A');

INSTANTIATE_TEST_SUITE_P(
    Dumps, DumpParse,
    ::testing::Values(
        DumpCase{"ModeOne", "MODE\r\n1\r\nEND\r\n\r\n", true},
        DumpCase{"ModeZero", "MODE\r\n0\r\nEND\r\n\r\n", false},
        DumpCase{"EndOnly", "END\r\n\r\n", false},
        DumpCase{"OtherPairsFirst", "IP\r\n10.0.0.2\r\nPORT\r\n10003\r\nMODE\r\n1\r\nEND\r\n\r\n",
                 true},
        DumpCase{"LowerCaseName", "mode\r\n1\r\nEND\r\n\r\n", false},
        DumpCase{"TrailingBlankInValue", "MODE\r\n1 \r\nEND\r\n\r\n", false},
        DumpCase{"TrailingBlankInName", "MODE \r\n1\r\nEND\r\n\r\n", false},
        DumpCase{"ValueTen", "MODE\r\n10\r\nEND\r\n\r\n", false},
        DumpCase{"ValueZeroOne", "MODE\r\n01\r\nEND\r\n\r\n", false},
        DumpCase{"ModeAfterEnd", "END\r\n\r\nMODE\r\n1\r\n", false},
        // "MODE" standing as a value is not a name: the pairs decide.
        DumpCase{"ModeAsValue", "X\r\nMODE\r\n1\r\nY\r\nEND\r\n\r\n", false},
        DumpCase{"OtherModeValueThenEnd", "MODE\r\n2\r\nA\r\nB\r\nEND\r\n\r\n", false},
        // Lines longer than any buffer still count as one line each.
        DumpCase{"LongNameKeepsPairs", kLongLine + "\r\nx\r\nMODE\r\n1\r\nEND\r\n\r\n", true},
        DumpCase{"LongValueKeepsPairs", "A\r\n" + kLongLine + "\r\nMODE\r\n1\r\nEND\r\n\r\n", true},
        DumpCase{"LongLineOfModeOnes", "MODE\r\n" + std::string(300, '1') + "\r\nEND\r\n\r\n",
                 false},
        // A NUL byte inside a line is part of it, not its end.
        DumpCase{"NulInsideName", std::string("MODE\0x\r\n1\r\nEND\r\n\r\n", 18), false},
        // END in a value position: the lines run out without a name END.
        DumpCase{"EndAsValuePasses", "A\r\nEND\r\n\r\n", false},
        DumpCase{"EndAsValueAfterModeOne", "MODE\r\n1\r\nA\r\nEND\r\n\r\n", true},
        DumpCase{"RunsOutWithoutEnd", "A\r\nB\r\n", false},
        DumpCase{"RunsOutAfterModeOne", "MODE\r\n1\r\n", true},
        DumpCase{"UnfinishedValueLine", "MODE\r\n1", false},
        DumpCase{"Empty", "", false}),
    [](const ::testing::TestParamInfo<DumpCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::device
