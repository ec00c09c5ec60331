#include <gtest/gtest.h>

#include "cli/DeviceConnection.h"
#include "cli/Format.h"
#include "net/AdapterTable.h"
#include "report/Json.h"
#include "report/LocalClock.h"
#include "report/SampleHeader.h"

namespace kestrel::cli {
namespace {

TEST(Json, EscapesAndKeepsTheLineValid) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"veth0", "\"veth0\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"t\tn\nr\r\x01\x7F", "\"t\\tn\\nr\\r\\u0001\\u007F\""},
      {"ローカル エリア接続", "\"ローカル エリア接続\""},
      {"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},                // 4-byte form
      {"x\xFFy", "\"x\xEF\xBF\xBDy\""},                            // stray byte
      {"\xE3\x83", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                // cut short
      {"\xC0\xAF", "\"\xEF\xBF\xBD\xEF\xBF\xBD\""},                // overlong '/'
      {"\xED\xA0\x80", "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""},  // surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(report::JsonString(c.in), c.out);
}

TEST(Format, TimestampsCarryMillisecondsAndOffset) {
  report::LocalTimestamp t;
  t.fields.tm_year = 125;
  t.fields.tm_mon = 2;
  t.fields.tm_mday = 4;
  t.fields.tm_hour = 9;
  t.fields.tm_min = 5;
  t.fields.tm_sec = 7;
  const struct {
    int ms;
    int offset;
    const char* text;
  } cases[] = {{7, 540, "2025-03-04T09:05:07.007+09:00"},
               {999, -210, "2025-03-04T09:05:07.999-03:30"},
               {0, 0, "2025-03-04T09:05:07.000+00:00"}};
  for (const auto& c : cases) {
    t.milliseconds = c.ms;
    t.offsetMinutes = c.offset;
    EXPECT_EQ(report::FormatIsoTimestamp(t), c.text);
  }
}

TEST(Format, SamplesLeaveDisabledInputsEmpty) {
  Sample s;
  s.time = "T";
  s.inputCount = 4;
  s.counts[0] = 0;
  s.counts[2] = 4294967295u;
  EXPECT_EQ(report::SampleHeader(4), "time,DI1,DI2,DI3,DI4");
  EXPECT_EQ(SampleLine(s, false), "T,0,,4294967295,");
  EXPECT_EQ(SampleLine(s, true), R"({"time":"T","counts":[0,null,4294967295,null]})");
}

DeviceState TwoInputDevice() {
  DeviceState state;
  state.modelIndex = 1;  // SX-01, two inputs
  state.unitId = 15;
  state.protocolFamily = -1;
  state.countingOn = 1;
  state.countPeriod = 0;
  state.chatterCode = 20;
  state.inputs[0] = {1, 1, 0};
  state.inputs[2] = {1, 0, 0};  // beyond the model: never shown
  return state;
}

TEST(Format, InfoInBothForms) {
  const DeviceState state = TwoInputDevice();
  EXPECT_EQ(InfoLines(state, true),
            std::vector<std::string>{
                R"({"unitId":15,"modelIndex":1,"model":"SX-01","inputCount":2,"protocolFamily":-1,)"
                R"("countingOn":1,"startStopRunning":0,"countPeriod":0,"chatterCode":20,)"
                R"("inputs":[{"enabled":1,"edge":1},{"enabled":0,"edge":0}]})"});
  const std::vector<std::string> text = InfoLines(state, false);
  const std::vector<std::string> expected = {
      "unit: 15",          "model: SX-01",          "inputs: 2",
      "protocol family: -1", "counting: PULSE COUNT OFF",  // gate stopped
      "counting switch: on", "start-stop gate: stopped", "period: START-STOP",
      "chatter: 20 m秒",     "DI1: FALL",             "DI2: off"};
  EXPECT_EQ(text, expected);
}

TEST(Format, ChatterCodesOutsideTheListShowTheirNumber) {
  DeviceState state = TwoInputDevice();
  const struct {
    std::int32_t code;
    const char* line;
  } cases[] = {{0, "chatter: off"}, {4, "chatter: 4 m秒"}, {3, "chatter: code 3"},
               {25, "chatter: code 25"}};
  for (const auto& c : cases) {
    state.chatterCode = c.code;
    EXPECT_EQ(InfoLines(state, false)[8], c.line);
  }
}

TEST(Format, ProbeAndCountingLines) {
  DeviceState state;
  state.productCode = {'_', '\x01'};
  state.probeKind = 0;
  state.protocolFamily = 1;
  EXPECT_EQ(ProbeLine(-1, state, false), "probe: result=-1 kind=0 product=_\\x01 family=1");
  EXPECT_EQ(ProbeLine(-1, state, true),
            R"({"result":-1,"probeKind":0,"productCode":"_\u0001","protocolFamily":1})");
  state.countingOn = 1;
  state.startStopRunning = 1;
  EXPECT_EQ(CountingLine(state, true, false), "counting started");
  EXPECT_EQ(CountingLine(state, false, false), "counting already on");
  EXPECT_EQ(CountingLine(state, true, true), R"({"countingOn":1,"startStopRunning":1,"changed":true})");
  state.countingOn = 0;
  EXPECT_EQ(CountingLine(state, false, false), "counting already off");
}

TEST(DeviceConnection, InterfaceByAddressOrName) {
  net::AdapterTable table;
  table.count = 3;
  table.rows[0] = {10, "virtio", "eth0", 0x0100000Au, 0};    // 10.0.0.1
  table.rows[1] = {11, "veth", "", 0x0200000Au, 0};          // 10.0.0.2, no name
  table.rows[2] = {11, "veth", "veth1", 0x0300000Au, 0};     // 10.0.0.3
  EXPECT_EQ(net::FindAdapterEntry(table, std::nullopt), &table.rows[0]);
  EXPECT_EQ(net::FindAdapterEntry(table, "10.0.0.2"), &table.rows[1]);
  EXPECT_EQ(net::FindAdapterEntry(table, "veth1"), &table.rows[2]);
  EXPECT_EQ(net::FindAdapterEntry(table, ""), nullptr);
  EXPECT_EQ(net::FindAdapterEntry(table, "10.0.0.9"), nullptr);
  table.count = 0;
  EXPECT_EQ(net::FindAdapterEntry(table, std::nullopt), nullptr);
}

}  // namespace
}  // namespace kestrel::cli
