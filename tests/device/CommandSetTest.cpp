#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "common/OperatorTexts.h"
#include "device/CommandSet.h"
#include "tests/device/DeviceFixture.h"

namespace kestrel::device {
namespace {

// Failing table cases print by name instead of as raw bytes.
template <class Case>
  requires requires(const Case& c) { c.name; }
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

const Bytes kMI{0x4D, 0x49, 0xC8};
const Bytes kPJ{0x50, 0x4A, 0xC8};
const Bytes kPP{0x50, 0x50, 0xC8};
Bytes PH(std::uint8_t selector) { return {0x50, 0x48, selector, 0xC8}; }
Bytes PL(std::uint8_t control, std::uint8_t filter) { return {0x50, 0x4C, control, filter, 0xC8}; }
Bytes PS(std::uint8_t gate) { return {0x50, 0x53, gate, 0xC8}; }

// Models used below: index 0 has three inputs, index 1 two.
constexpr std::int32_t kThreeInputs = 0;
constexpr std::int32_t kTwoInputs = 1;

// ---- identification ----------------------------------------------------

struct IdentifyCase {
  const char* name;
  Bytes payload;
  std::int32_t familyBefore;
  std::int32_t unit, model, family;
};

class Identify : public DeviceTest, public ::testing::WithParamInterface<IdentifyCase> {};

TEST_P(Identify, ReadsUnitModelAndFamily) {
  const IdentifyCase& c = GetParam();
  state.protocolFamily = c.familyBefore;
  Connect({Answer(Frame("mi", c.payload))});
  EXPECT_EQ(commands.IdentifyDevice(), kStatusOk);
  EXPECT_EQ(Requests(), std::vector<Bytes>{kMI});
  EXPECT_EQ(state.unitId, c.unit);
  EXPECT_EQ(state.modelIndex, c.model);
  EXPECT_EQ(state.protocolFamily, c.family);
  EXPECT_TRUE(frontEnd.events.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Replies, Identify,
    ::testing::Values(IdentifyCase{"PlainModel", {0x3F, 0x35}, -1, 0, 5, -1},
                      // A plain model keeps the family an earlier device left.
                      IdentifyCase{"PlainModelKeepsFamily", {0x30, 0x31}, 5, 15, 1, 5},
                      IdentifyCase{"ExtendedFamilyFive", {0x30, 0x3F, 0x39}, -1, 15, 25, 5},
                      IdentifyCase{"ExtendedFamilyFour", {0x30, 0x3F, 0x31}, 5, 15, 17, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- settings read and write -------------------------------------------

TEST_F(DeviceTest, ReadSettingsDecodesModeGateAndEveryInput) {
  state.modelIndex = kTwoInputs;
  Connect({Answer(Frame("pj", Bytes{0x2F, 0x24})), Answer(Frame("pp", Bytes{0x28})),
           Answer(Frame("ph", Bytes{0x20, 0x23})), Answer(Frame("ph", Bytes{0x21, 0x20}))});
  EXPECT_EQ(commands.ReadSettings(), kStatusOk);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{kPJ, kPP, PH(0x20), PH(0x21)}));
  EXPECT_EQ(state.countingOn, 1);
  EXPECT_EQ(state.countPeriod, 3);
  EXPECT_EQ(state.chatterCode, 20);
  EXPECT_EQ(state.startStopRunning, 1);
  // 0x23 has both low bits set: enabled, and bit 1 makes it FALL.
  EXPECT_EQ(state.inputs[0].enabled, 1);
  EXPECT_EQ(state.inputs[0].edge, 1);
  EXPECT_EQ(state.inputs[1].enabled, 0);
  EXPECT_EQ(state.inputs[1].edge, 0);
  EXPECT_TRUE(frontEnd.events.empty());
}

TEST_F(DeviceTest, ApplySettingsWritesModeWithCountingOffThenTheModelsInputs) {
  state.modelIndex = kTwoInputs;
  state.countPeriod = 3;
  state.chatterCode = 20;
  state.inputs[0] = {1, 1, 0};
  state.inputs[1] = {0, 1, 0};
  state.inputs[2] = {1, 0, 0};  // beyond the model: never sent
  Connect({Answer(Frame("pl", Bytes{})), Answer(Frame("pc", Bytes{})), Answer(Frame("pc", Bytes{}))});
  EXPECT_EQ(commands.ApplySettings(), kStatusOk);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{PL(0x27, 0x24), {0x50, 0x43, 0x20, 0x22, 0xC8},
                                            {0x50, 0x43, 0x21, 0x20, 0xC8}}));
  EXPECT_TRUE(frontEnd.events.empty());
}

// ---- start and stop ----------------------------------------------------

struct ToggleCase {
  const char* name;
  std::int32_t countingOn, countPeriod, chatterCode;
  std::vector<Bytes> answers;
  std::vector<Bytes> requests;
  std::vector<std::string> events;
  std::int32_t countingAfter;
};

class Toggle : public DeviceTest, public ::testing::WithParamInterface<ToggleCase> {};

TEST_P(Toggle, SendsModeAndGateInOrder) {
  const ToggleCase& c = GetParam();
  state.modelIndex = kTwoInputs;
  state.countingOn = c.countingOn;
  state.startStopRunning = c.countingOn;
  state.countPeriod = c.countPeriod;
  state.chatterCode = c.chatterCode;
  std::vector<std::vector<PeerAction>> answers;
  for (const Bytes& a : c.answers) answers.push_back(Answer(a));
  Connect(answers);

  EXPECT_EQ(commands.ToggleCounting(), kStatusOk);
  EXPECT_EQ(Requests(), c.requests);
  EXPECT_EQ(frontEnd.events, c.events);
  EXPECT_EQ(state.countingOn, c.countingAfter);
  EXPECT_EQ(state.startStopRunning, c.countingAfter);
}

// A start reads the settings first; the device's answers to that read.
std::vector<Bytes> SettingsAnswers(std::uint8_t control, std::uint8_t filter) {
  return {Frame("pj", Bytes{control, filter}), Frame("pp", Bytes{0x20}),
          Frame("ph", Bytes{0x20, 0x21}), Frame("ph", Bytes{0x21, 0x21})};
}
std::vector<Bytes> Then(std::vector<Bytes> a, const std::vector<Bytes>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const std::vector<Bytes> kSettingsRead{kPJ, kPP, PH(0x20), PH(0x21)};

INSTANTIATE_TEST_SUITE_P(
    Periods, Toggle,
    ::testing::Values(
        // The window's values are replaced by the device's (period 1, 4 ms).
        ToggleCase{"StartTimed", 0, 3, 0,
                   Then(SettingsAnswers(0x22, 0x24), {Frame("pl", Bytes{})}),
                   Then(kSettingsRead, {PL(0x2A, 0x24)}), {"refresh", "counting"}, 1},
        ToggleCase{"StopTimed", 1, 1, 4, {Frame("pl", Bytes{})}, {PL(0x22, 0x24)}, {"counting"}, 0},
        // START-STOP with 20 ms: the chatter code's bit 4 rides in bit 0.
        ToggleCase{"StartStartStop", 0, 2, 0,
                   Then(SettingsAnswers(0x21, 0x24), {Frame("pl", Bytes{}), Frame("ps", Bytes{})}),
                   Then(kSettingsRead, {PL(0x29, 0x24), PS(0x28)}), {"refresh", "counting"}, 1},
        ToggleCase{"StopStartStop", 1, 0, 20, {Frame("ps", Bytes{}), Frame("pl", Bytes{})},
                   {PS(0x20), PL(0x21, 0x24)}, {"counting"}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- counters ----------------------------------------------------------

struct CounterCase {
  const char* text;
  std::uint32_t count;
};

class Counter : public DeviceTest, public ::testing::WithParamInterface<CounterCase> {};

TEST_P(Counter, ReadsEightHexadecimalCharacters) {
  Connect({Answer(Frame("pg", std::string("\x22") + GetParam().text))});
  EXPECT_EQ(commands.ReadCount(2), kStatusOk);
  EXPECT_EQ(Requests(), (std::vector<Bytes>{{0x50, 0x47, 0x22, 0xC8}}));
  EXPECT_EQ(state.inputs[2].count, GetParam().count);
  EXPECT_TRUE(frontEnd.events.empty());
}

INSTANTIATE_TEST_SUITE_P(Values, Counter,
                         ::testing::Values(CounterCase{"0001E240", 123456},
                                           CounterCase{"FFFFFFFF", 4294967295u},
                                           CounterCase{"00000000", 0}),
                         [](const auto& info) { return std::string(info.param.text); });

// ---- failures: one message, from the operation that sent the command ----

struct FailureCase {
  const char* name;
  std::function<void(DeviceState&)> setup;
  std::function<Status(CommandSet&)> run;
  std::vector<std::vector<PeerAction>> answers;
  std::size_t requestsSent;
  std::vector<std::string> events;
  const char* message;  // nullptr: whatever the channel wrote
  std::function<void(const DeviceState&)> check;
};

class Failure : public DeviceTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(Failure, IsReportedOnceAndLeavesTheRightState) {
  const FailureCase& c = GetParam();
  c.setup(state);
  Connect(c.answers);
  EXPECT_EQ(c.run(commands), kStatusFail);
  EXPECT_EQ(Requests().size(), c.requestsSent);
  EXPECT_EQ(frontEnd.events, c.events);
  ASSERT_EQ(frontEnd.messages.size(), 1u);
  EXPECT_EQ(frontEnd.messages[0], state.lastError);
  if (c.message != nullptr) {
    EXPECT_EQ(frontEnd.messages[0], c.message);
  }
  c.check(state);
}

// Values the failing operations must leave alone.
void Preset(DeviceState& s) {
  s.modelIndex = kThreeInputs;
  s.unitId = 7;
  s.countingOn = 0;
  s.countPeriod = 2;
  s.chatterCode = 8;
  s.startStopRunning = 0;
  for (auto& in : s.inputs) in = {1, 1, 77};
}
void ExpectPreset(const DeviceState& s) {
  EXPECT_EQ(s.modelIndex, kThreeInputs);
  EXPECT_EQ(s.unitId, 7);
  EXPECT_EQ(s.protocolFamily, ProtocolFamily::Unknown);
  EXPECT_EQ(s.countPeriod, 2);
  EXPECT_EQ(s.chatterCode, 8);
  EXPECT_EQ(s.startStopRunning, 0);
  for (const auto& in : s.inputs) {
    EXPECT_EQ(in.enabled, 1);
    EXPECT_EQ(in.edge, 1);
    EXPECT_EQ(in.count, 77u);
  }
}
auto Run(Status (CommandSet::*op)()) {
  return [op](CommandSet& c) { return (c.*op)(); };
}
auto RunOn(Status (CommandSet::*op)(int), int input) {
  return [op, input](CommandSet& c) { return (c.*op)(input); };
}
const std::vector<PeerAction> kEmptyPl = Answer(Frame("pl", Bytes{}));

INSTANTIATE_TEST_SUITE_P(
    Cases, Failure,
    ::testing::Values(
        FailureCase{"SecondInputReadFails", Preset, Run(&CommandSet::ReadSettings),
                    {Answer(Frame("pj", Bytes{0x22, 0x24})), Answer(Frame("pp", Bytes{0x28})),
                     Answer(Frame("ph", Bytes{0x20, 0x21})), Drop()},
                    4, {"message"}, nullptr,
                    [](const DeviceState& s) {
                      EXPECT_EQ(s.startStopRunning, 1);
                      EXPECT_EQ(s.inputs[0].edge, 0);
                      EXPECT_EQ(s.inputs[1].edge, 1);  // failed: old value
                      EXPECT_EQ(s.inputs[2].edge, 1);  // never read
                    }},
        FailureCase{"StopWithAutoUpdateGateFails",
                    [](DeviceState& s) {
                      s.countingOn = 1;
                      s.startStopRunning = 1;
                      s.countPeriod = 0;
                      s.autoUpdateActive = 1;
                    },
                    Run(&CommandSet::ToggleCounting), {Drop()}, 1,
                    {"stop-auto-update", "message"}, nullptr,
                    [](const DeviceState& s) {
                      EXPECT_EQ(s.autoUpdateActive, 0);
                      EXPECT_EQ(s.countingOn, 1);
                      EXPECT_EQ(s.startStopRunning, 1);
                    }},
        FailureCase{"StartGateFailsKeepsFlags", [](DeviceState& s) { s.modelIndex = kTwoInputs; },
                    Run(&CommandSet::ToggleCounting),
                    {Answer(Frame("pj", Bytes{0x20, 0x24})), Answer(Frame("pp", Bytes{0x20})),
                     Answer(Frame("ph", Bytes{0x20, 0x21})), Answer(Frame("ph", Bytes{0x21, 0x21})),
                     kEmptyPl, Drop()},
                    6, {"refresh", "message"}, nullptr,
                    [](const DeviceState& s) {
                      EXPECT_EQ(s.countingOn, 0);
                      EXPECT_EQ(s.startStopRunning, 0);
                    }},
        FailureCase{"ApplyStopsAfterFailedMode", Preset, Run(&CommandSet::ApplySettings), {Drop()},
                    1, {"message"}, nullptr, ExpectPreset},
        FailureCase{"InputWritesStopAtFirstFailure", Preset, Run(&CommandSet::ApplySettings),
                    {kEmptyPl, Answer(Frame("pc", Bytes{})), Drop()}, 3, {"message"}, nullptr,
                    ExpectPreset},
        FailureCase{"CounterReadEndsAutoUpdateFirst",
                    [](DeviceState& s) {
                      Preset(s);
                      s.autoUpdateActive = 1;
                    },
                    RunOn(&CommandSet::ReadCount, 0), {Drop()}, 1, {"stop-auto-update", "message"},
                    nullptr,
                    [](const DeviceState& s) {
                      EXPECT_EQ(s.autoUpdateActive, 0);
                      ExpectPreset(s);
                    }},
        // Replies that end before the fields the operation reads.
        FailureCase{"ExtendedModelByteMissing", Preset, Run(&CommandSet::IdentifyDevice),
                    {Answer(Frame("mi", Bytes{0x30, 0x3F}))}, 1, {"message"}, kMsgReplyDataError,
                    ExpectPreset},
        FailureCase{"ModelByteMissing", Preset, Run(&CommandSet::IdentifyDevice),
                    {Answer(Frame("mi", Bytes{0x30}))}, 1, {"message"}, kMsgReplyDataError,
                    ExpectPreset},
        FailureCase{"FilterByteMissing", Preset, Run(&CommandSet::ReadSettings),
                    {Answer(Frame("pj", Bytes{0x2F}))}, 1, {"message"}, kMsgReplyDataError,
                    [](const DeviceState& s) {
                      EXPECT_EQ(s.countingOn, 0);
                      ExpectPreset(s);
                    }},
        FailureCase{"GateByteMissing", Preset, Run(&CommandSet::ReadSettings),
                    {Answer(Frame("pj", Bytes{0x24, 0x28})), Answer(Frame("pp", Bytes{}))}, 2,
                    {"message"}, kMsgReplyDataError,
                    [](const DeviceState& s) { EXPECT_EQ(s.startStopRunning, 0); }},
        FailureCase{"InputModeByteMissing", Preset, RunOn(&CommandSet::ReadInputConfig, 1),
                    {Answer(Frame("ph", Bytes{0x21}))}, 1, {"message"}, kMsgReplyDataError,
                    ExpectPreset},
        FailureCase{"CounterTextTooShort", Preset, RunOn(&CommandSet::ReadCount, 0),
                    {Answer(Frame("pg", std::string("\x20") + "0001E24"))}, 1,
                    {"stop-auto-update", "message"}, kMsgReplyDataError, ExpectPreset}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kestrel::device
