#include <gtest/gtest.h>

#include <cstring>

#include "common/ModelTable.h"
#include "common/Protocol.h"

namespace kestrel::protocol {
namespace {

TEST(CounterText, ConvertsLikeTheUnsignedHexConversion) {
  struct Case {
    const char* text;
    std::uint32_t value;
  } cases[] = {
      {"0001E240", 123456}, {"FFFFFFFF", 4294967295u}, {"00000000", 0},
      {"  00ff\xC8", 255},  {"0x1F", 31},              {"-0000001", 0xFFFFFFFFu},
      {"zz", 0},            {"0x", 0},                 {"+10", 16},
  };
  for (const auto& c : cases) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.text);
    EXPECT_EQ(ParseCounterText(bytes, std::strlen(c.text)), c.value) << c.text;
  }
  EXPECT_EQ(FormatCounterText(123456), "0001E240");
}

TEST(ParameterBytes, RoundTripTheDocumentedExamples) {
  // PJ 2F 24: counting on, period 3, chatter 20; PL for it with counting off.
  const PulseMode mode = DecodePulseMode(0x2F, 0x24);
  EXPECT_EQ(mode.countingOn, 1);
  EXPECT_EQ(mode.countPeriod, 3);
  EXPECT_EQ(mode.chatterCode, 20);
  EXPECT_EQ(BuildControlByte(false, 3, 20), 0x27);
  EXPECT_EQ(BuildFilterByte(20), 0x24);
  EXPECT_EQ(BuildControlByte(true, 1, 4), 0x2A);
  EXPECT_EQ(BuildControlByte(false, 1, 4), 0x22);

  EXPECT_EQ(DecodeInputMode(0x23).enabled, 1);
  EXPECT_EQ(DecodeInputMode(0x23).edge, 1);
  EXPECT_EQ(DecodeInputMode(0x20).enabled, 0);
  EXPECT_EQ(EncodeInputMode(1, 1), 0x22);
  EXPECT_EQ(EncodeInputMode(0, 1), 0x20);
}

TEST(Identity, DecodesAndEncodesModelBytes) {
  EXPECT_EQ(UnitFromByte(0x3F), 0);
  EXPECT_EQ(ModelFromBytes(0x35, 0), 5);
  EXPECT_EQ(UnitFromByte(0x30), 15);
  EXPECT_EQ(ModelFromBytes(0x3F, 0x39), 25);
  EXPECT_EQ(FamilyOfExtendedModel(25), 5);
  EXPECT_EQ(FamilyOfExtendedModel(17), 4);
  for (int index : {0, 5, 14, 16, 21, 25, 31}) {
    const ModelBytes b = EncodeModelBytes(index);
    EXPECT_EQ(ModelFromBytes(b.model, b.extended), index);
    EXPECT_EQ(b.hasExtended, index >= 16);
  }
  for (int unit = 0; unit < 16; ++unit) EXPECT_EQ(UnitFromByte(EncodeUnitByte(unit)), unit);
}

TEST(ModelTable, HoldsTheSupportedModels) {
  int supported = 0;
  for (const auto& row : kestrel::ModelTable) supported += row.inputCount > 0;
  EXPECT_EQ(supported, 13);
  EXPECT_STREQ(kestrel::ModelTable[21].displayName, "SX-21");
  EXPECT_EQ(kestrel::ModelTable[21].inputCount, 8);
  EXPECT_EQ(kestrel::ModelTable[19].inputCount, 0);
  EXPECT_STREQ(kestrel::ModelTable[7].displayName, "");
}

}  // namespace
}  // namespace kestrel::protocol
