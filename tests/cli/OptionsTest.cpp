#include <gtest/gtest.h>

#include "cli/Options.h"

namespace kestrel::cli {
namespace {

using Args = std::vector<std::string>;

TEST(Options, AcceptsTheDocumentedForms) {
  ParseResult r = ParseArguments({"--address=10.0.0.1", "-p", " 10004x ", "--json", "read",
                                  "--interval", "0.5", "--samples", "3", "-i", "veth0"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.invocation.command, Command::Read);
  EXPECT_EQ(r.invocation.address, "10.0.0.1");
  EXPECT_EQ(r.invocation.portText, " 10004x ");  // judged like the window: 10004
  EXPECT_EQ(r.invocation.interface, "veth0");
  EXPECT_TRUE(r.invocation.json);
  EXPECT_DOUBLE_EQ(*r.invocation.read.intervalSeconds, 0.5);
  EXPECT_EQ(r.invocation.read.samples, 3u);

  r = ParseArguments({"-a", "dev", "apply", "--period", "START-STOP", "--chatter", "20", "--input",
                      "DI8=fall", "--input", "di1=OFF", "--input", "DI2=rise"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.invocation.portText, "10003");
  EXPECT_EQ(r.invocation.apply.countPeriod, 0);
  EXPECT_EQ(r.invocation.apply.chatterCode, 20);
  ASSERT_TRUE(r.invocation.apply.inputs[7] && r.invocation.apply.inputs[0] &&
              r.invocation.apply.inputs[1]);
  EXPECT_EQ(r.invocation.apply.inputs[7]->edge, 1);
  EXPECT_EQ(r.invocation.apply.inputs[0]->enabled, 0);
  EXPECT_EQ(r.invocation.apply.inputs[1]->enabled, 1);
  EXPECT_FALSE(r.invocation.apply.inputs[2]);

  // The simulator's spelling of an input, and all inputs at once; the last
  // word for an input wins.
  r = ParseArguments({"-a", "d", "apply", "--input", "all=fall", "--input=3=off"});
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.invocation.apply.inputs[0]->edge, 1);
  EXPECT_EQ(r.invocation.apply.inputs[2]->enabled, 0);
  EXPECT_EQ(r.invocation.apply.inputs[7]->enabled, 1);

  // An interval alone logs until interrupted; no interval reads once.
  EXPECT_EQ(ParseArguments({"read", "-a", "d", "--interval", "2"}).invocation.read.samples, 0u);
  r = ParseArguments({"-a", "d", "read"});
  EXPECT_FALSE(r.invocation.read.intervalSeconds);
  EXPECT_EQ(r.invocation.read.samples, 1u);
  EXPECT_EQ(ParseArguments({"interfaces"}).error, "");
}

TEST(Options, RefusesWhatWouldBeMisread) {
  const struct {
    Args args;
    const char* error;  // beginning of the message
  } cases[] = {
      {{}, "no command given"},
      {{"frob"}, "unknown command 'frob'"},
      {{"info"}, "--address is required for info"},
      {{"-a"}, "option -a needs a value"},
      {{"-a", "d", "info", "extra"}, "unexpected argument 'extra'"},
      {{"-a", "d", "--period", "1", "apply"}, "unknown option '--period'"},
      {{"-a", "d", "read", "--period", "1"}, "unknown option '--period' for read"},
      {{"-a", "d", "-p", "0", "info"}, "--port takes"},
      {{"-a", "d", "-p", "65536", "info"}, "--port takes"},
      {{"-a", "d", "-p", "-1", "info"}, "--port takes"},
      {{"-a", "d", "-p", "abc", "info"}, "--port takes"},
      {{"-a", "d", "-p", "  ", "info"}, "--port takes"},
      {{"-a", "d", "apply", "--period", "5"}, "--period takes"},
      {{"-a", "d", "apply", "--chatter", "3"}, "--chatter takes"},
      {{"-a", "d", "apply", "--chatter", "21"}, "--chatter takes"},
      {{"-a", "d", "apply", "--chatter", "4.5"}, "--chatter takes"},
      {{"-a", "d", "apply", "--input", "DI0=rise"}, "--input takes"},
      {{"-a", "d", "apply", "--input", "DI9=rise"}, "--input takes"},
      {{"-a", "d", "apply", "--input", "DI1=up"}, "--input takes"},
      {{"-a", "d", "apply", "--input", "DI1"}, "--input takes"},
      {{"-a", "d", "read", "--interval", "0"}, "--interval takes"},
      {{"-a", "d", "read", "--interval", "-1"}, "--interval takes"},
      {{"-a", "d", "read", "--interval", "1e1"}, "--interval takes"},
      {{"-a", "d", "read", "--interval", "."}, "--interval takes"},
      {{"-a", "d", "read", "--interval", "inf"}, "--interval takes"},
      {{"-a", "d", "read", "--interval", "2000000"}, "--interval takes"},
      {{"-a", "d", "read", "--interval", "1", "--samples", "-1"}, "--samples takes"},
      {{"-a", "d", "read", "--samples", "3"}, "--samples needs --interval"},
  };
  for (const auto& c : cases) {
    const std::string error = ParseArguments(c.args).error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << "got: " << error;
  }
}

TEST(Options, HelpNamesTheCommandWhereverItStands) {
  const struct {
    Args args;
    Command topic;
  } cases[] = {
      {{"--help"}, Command::None},
      {{"read", "--help"}, Command::Read},
      {{"-a", "apply", "apply", "-h"}, Command::Apply},  // "apply" after -a is the address
      {{"--bogus", "stop", "--help"}, Command::Stop},
      {{"-h", "frob"}, Command::None},
  };
  for (const auto& c : cases) {
    const ParseResult r = ParseArguments(c.args);
    EXPECT_TRUE(r.invocation.help);
    EXPECT_EQ(r.invocation.command, c.topic) << c.args.front();
  }
}

}  // namespace
}  // namespace kestrel::cli
