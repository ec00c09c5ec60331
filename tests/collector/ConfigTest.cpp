// The configuration file and --device: good values mapped, bad ones refused
// with the file, the line and what is wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "collector/CommandLine.h"
#include "collector/Config.h"
#include "collector/FileText.h"

namespace kestrel::collector {
namespace {

using namespace std::chrono_literals;

TEST(ConfigFile, MapsSettingsAndDevices) {
  const std::string text =
      "interval = 2\ninterface = \"veth0\"\ncsv_dir = \"/tmp/k\"\n"
      "[[device]]\naddress = \"10.0.0.10\"\n"
      "[[device]]\naddress = \"10.0.0.11\"\nport = 10004\nname = \"press\"\ninterval = 0.5\n"
      "interface = \"eth1\"\n";
  CollectorConfig config;
  ASSERT_EQ(ApplyConfigText(text, "k.toml", config), std::nullopt);
  EXPECT_EQ(config.interval, 2000ms);
  EXPECT_EQ(config.interface, "veth0");
  EXPECT_EQ(config.csvDir, "/tmp/k");
  ASSERT_EQ(config.devices.size(), 2u);
  EXPECT_EQ(config.devices[0].device, (DeviceRef{"10.0.0.10", "10.0.0.10", 10003}));
  EXPECT_EQ(config.devices[0].origin, "k.toml:4");
  EXPECT_EQ(config.devices[1].device, (DeviceRef{"press", "10.0.0.11", 10004}));
  EXPECT_EQ(config.devices[1].interval, 500ms);
  EXPECT_EQ(config.devices[1].interface, "eth1");

  // The command line wins over the file.
  CollectorConfig overridden;
  overridden.interval = 300ms;
  ASSERT_EQ(ApplyConfigText("interval = 5\n", "k.toml", overridden, ArgsSet{true}), std::nullopt);
  EXPECT_EQ(overridden.interval, 300ms);
}

TEST(ConfigFile, RefusesWithFileLineAndReason) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"interval = 0\n", "c.toml:1: 'interval' must be from 0.01 to 1000000 seconds"},
      {"\ninterval = \"1\"\n", "c.toml:2: 'interval' must be a number of seconds"},
      {"intervall = 1\n", "c.toml:1: unknown key 'intervall'"},
      {"[[device]]\nport = 1\n", "c.toml:1: [[device]] without 'address'"},
      {"[[device]]\naddress = \"10.0.0.300\"\n", "c.toml:2: '10.0.0.300' is not an IPv4 address (a.b.c.d)"},
      {"[[device]]\naddress = \"10.1\"\n", "c.toml:2: '10.1' is not an IPv4 address (a.b.c.d)"},
      {"[[device]]\naddress = \"10.0.0.010\"\n", "c.toml:2: '10.0.0.010' is not an IPv4"},
      {"[[device]]\naddress = \"0.0.0.0\"\n", "c.toml:2: '0.0.0.0' is the unspecified address"},
      {"[[device]]\naddress = \"224.0.0.1\"\n", "c.toml:2: '224.0.0.1' is a multicast address"},
      {"[[device]]\naddress = \"239.255.255.250\"\n", "c.toml:2: '239.255.255.250' is a multicast"},
      {"[[device]]\naddress = \"255.255.255.255\"\n", "c.toml:2: '255.255.255.255' is the broadcast"},
      {"[[device]]\naddress = \"10.0.0.1\"\nport = 70000\n",
       "c.toml:3: 'port' must be a number from 1 to 65535"},
      {"[[device]]\naddress = \"10.0.0.1\"\nname = \"\"\n", "c.toml:3: 'name' must not be empty"},
      {"[[device]]\naddress = \"10.0.0.1\"\nname = \"a\\u0007b\"\n", "c.toml:3: the name holds a control"},
      {"[[device]]\naddress = \"10.0.0.1\"\nname = \"a\\u007F\"\n", "c.toml:3: the name holds a control"},
      {"[[device]]\naddress = \"10.0.0.1\"\nname = \"a\\u0085\"\n", "c.toml:3: the name holds a control"},
      {"[[device]]\naddress = \"10.0.0.1\"\nadress = \"x\"\n",
       "c.toml:3: unknown key 'adress' in [[device]]"},
      {"device = 3\n", "c.toml:1: 'device' must be a list of tables ([[device]])"},
      {"interval = 1\ninterval = 2\n", "c.toml:2: "},  // toml++'s own words follow
      {"[[device]\n", "c.toml:1: "},
  };
  for (const auto& c : cases) {
    CollectorConfig config;
    const std::optional<std::string> error = ApplyConfigText(c.text, "c.toml", config);
    ASSERT_TRUE(error) << c.text;
    EXPECT_EQ(error->rfind(c.error, 0), 0u) << c.text << " gave " << *error;
  }
}

TEST(ConfigFile, DeepNestingIsRefusedBeforeParsing) {
  const auto repeat = [](const std::string& part, int n) {
    std::string text;
    for (int i = 0; i < n; ++i) text += part;
    return text;
  };
  const struct {
    std::string text;
    std::string error;
  } cases[] = {
      {"x = 1\n" + repeat("a.", 50000) + "a = 1\n", "c.toml:2: nested more than 64 levels"},
      {"# a.b\n[" + repeat("a.", 50000) + "a]\n", "c.toml:2: nested more than 64 levels"},
      {"s = '''\n\n'''\nx = " + repeat("{a=", 50000) + "\n", "c.toml:4: nested more than 64 levels"},
      {"x = " + repeat("[", 50000) + "\n", "c.toml:1: nested more than 64 levels"},
      // Dots and brackets in strings and comments, and many values: flat.
      {"s = \"" + repeat(".", 200) + "\" # " + repeat("[", 200) + "\n" + repeat("a.", 60) + "a = 1\n",
       "c.toml:2: unknown key 'a'"},
      {"v = [" + repeat("1.5, ", 500) + "]\n", "c.toml:1: unknown key 'v'"},
  };
  for (const auto& c : cases) {
    CollectorConfig config;
    const std::optional<std::string> error = ApplyConfigText(c.text, "c.toml", config);
    ASSERT_TRUE(error) << c.text.substr(0, 40);
    EXPECT_EQ(error->rfind(c.error, 0), 0u) << c.text.substr(0, 40) << " gave " << *error;
  }
}

TEST(FileText, RegularFilesUpToTheLimitOnly) {
  const std::string dir = testing::TempDir() + "filetext-" + std::to_string(getpid());
  ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
  std::ofstream(dir + "/ok") << "interval = 1\n";
  std::ofstream(dir + "/big") << std::string(kMaxFileTextBytes + 1, '#');
  ASSERT_EQ(mkfifo((dir + "/fifo").c_str(), 0600), 0);
  std::string why;
  EXPECT_EQ(ReadFileText(dir + "/ok", why), "interval = 1\n");
  const struct {
    std::string path;
    const char* why;
  } refused[] = {{dir, "a directory, not a file"},       {"/dev/zero", "not a regular file"},
                 {dir + "/fifo", "not a regular file"}, {dir + "/big", "larger than 1024 KiB"},
                 {dir + "/none", "No such file or directory"}};
  for (const auto& r : refused) {
    EXPECT_EQ(ReadFileText(r.path, why), std::nullopt) << r.path;
    EXPECT_EQ(why, r.why) << r.path;
  }
  for (const char* name : {"/ok", "/big", "/fifo"}) std::remove((dir + name).c_str());
  rmdir(dir.c_str());
}

TEST(DeviceArgument, ParsesAndRefuses) {
  std::string error;
  EXPECT_TRUE(ParseDeviceArgument("10.0.0.2=Presse \xc3\xa4 \xe6\xb0\xb4 \xf0\x9f\x94\xa7", error)) << error;
  const auto named = ParseDeviceArgument("10.0.0.2:10005=press 1", error);
  ASSERT_TRUE(named);
  EXPECT_EQ(named->device, (DeviceRef{"press 1", "10.0.0.2", 10005}));
  for (const char* bad : {"10.0.0.2:0", "10.0.0.2:", "10.0.0.2=", "host", "10.0.0.2:1x", "",
                          "0.0.0.0", "224.0.0.1:10003", "239.1.2.3=m", "255.255.255.255",
                          "10.0.0.2=a\tb", "10.0.0.2=\x7f", "10.0.0.2=\xc2\x85", "10.0.0.2=\xff",
                          "10.0.0.2=\xc0\xaf", "10.0.0.2=\xed\xa0\x80", "10.0.0.2=\xe2\x82"}) {
    EXPECT_FALSE(ParseDeviceArgument(bad, error)) << bad;
  }
}

TEST(DeviceArgument, OneConnectionPerDeviceAndUniqueNames) {
  const CommandLine twice = ParseCommandLine({"-d", "10.0.0.2", "-d", "10.0.0.2:10003=b"});
  ASSERT_EQ(twice.error, "");
  EXPECT_NE(CheckDevicesUnique(twice.config), std::nullopt);
  const CommandLine sameName = ParseCommandLine({"-d", "10.0.0.2=a", "-d", "10.0.0.3=a"});
  EXPECT_NE(CheckDevicesUnique(sameName.config), std::nullopt);
  const CommandLine distinct = ParseCommandLine({"-d", "10.0.0.2", "-d", "10.0.0.2:10004"});
  EXPECT_EQ(CheckDevicesUnique(distinct.config), std::nullopt);
  EXPECT_NE(ParseCommandLine({}).error, "");
  EXPECT_NE(ParseCommandLine({"-d", "10.0.0.2", "--interval", "0"}).error, "");
}

TEST(DeviceArgument, CsvFileNamesMustDiffer) {
  const struct {
    std::vector<std::string> args;
    const char* error;  // the start of it; "" when accepted
  } cases[] = {
      {{"-d", "10.0.0.2=プレス1", "-d", "10.0.0.3=ポンプ1", "--csv-dir", "/tmp"},
       "--device 10.0.0.3=ポンプ1: the CSV files of 'ポンプ1' would be those of 'プレス1' "
       "(--device 10.0.0.2=プレス1): _________1-DATE.csv"},
      {{"-d", "10.0.0.2=a/b", "-d", "10.0.0.3=a b", "--csv-dir", "/tmp"}, "--device 10.0.0.3=a b: the CSV files of 'a b'"},
      {{"-d", "10.0.0.2=プレス1", "-d", "10.0.0.3=ポンプ1"}, ""},  // no CSV: no files
      {{"-d", "10.0.0.2=press-1", "-d", "10.0.0.3=press_1", "--csv-dir", "/tmp"}, ""},
  };
  for (const auto& c : cases) {
    const CommandLine cl = ParseCommandLine(c.args);
    ASSERT_EQ(cl.error, "");
    const std::optional<std::string> error = CheckDevicesUnique(cl.config);
    EXPECT_EQ(error.value_or("").rfind(c.error, 0), 0u) << error.value_or("accepted");
    EXPECT_EQ(error.has_value(), *c.error != '\0') << c.args[1];
  }
}

}  // namespace
}  // namespace kestrel::collector
