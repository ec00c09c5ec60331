// The outputs for other systems, without servers: what comes from outside
// (probe queries, passwords, options), the fleet split, and what the metrics
// say about a device that goes down.
#include <crypt.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>

#include "collector/CommandLine.h"
#include "collector/Shard.h"
#include "collector/http/BasicAuth.h"
#include "collector/http/WebHandler.h"
#include "collector/http/ProbeRequest.h"
#include "collector/mqtt/MqttOptions.h"
#include "collector/prometheus/Exposition.h"
#include "collector/prometheus/ExpositionStream.h"
#include "collector/store/Schema.h"

namespace kestrel::collector {
namespace {

TEST(ProbeRequest, TargetsAreOneSpellingOfAnAddressAndPort) {
  struct Case {
    const char* text;
    const char* address;  // nullptr: refused
    int port;
  } cases[] = {
      {"10.0.0.5", "10.0.0.5", 10003},      {"10.0.0.5:80", "10.0.0.5", 80},
      {"0.0.0.0:65535", "0.0.0.0", 65535},  {"255.255.255.255", "255.255.255.255", 10003},
      {"10.0.0.05", nullptr, 0},            {"10.0.0.256", nullptr, 0},
      {"10.0.0", nullptr, 0},               {"10.0.0.5.", nullptr, 0},
      {"10.0.0.5:", nullptr, 0},            {"10.0.0.5:0", nullptr, 0},
      {"10.0.0.5:65536", nullptr, 0},       {"10.0.0.5:080", nullptr, 0},
      {" 10.0.0.5", nullptr, 0},            {"0x0a.0.0.5", nullptr, 0},
      {"::1", nullptr, 0},                  {"", nullptr, 0},
  };
  for (const Case& c : cases) {
    const auto target = ParseProbeTarget(c.text, 10003);
    ASSERT_EQ(target.has_value(), c.address != nullptr) << c.text;
    if (!target) continue;
    EXPECT_EQ(target->addressText, c.address) << c.text;
    EXPECT_EQ(target->port, c.port) << c.text;
  }
}

TEST(ProbeRequest, QueryValuesAreDecoded) {
  struct Case {
    const char* query;
    const char* value;  // nullptr: absent or refused
  } cases[] = {
      {"target=10.0.0.5", "10.0.0.5"},
      {"module=x&target=10.0.0.5%3A80&target=1.2.3.4", "10.0.0.5:80"},
      {"target", ""},
      {"targets=1&x=2", nullptr},
      {"target=a+b%2", nullptr},
      {"target=%zz", nullptr},
      {"%74arget=a+b", "a b"},
  };
  for (const Case& c : cases) {
    const auto value = QueryValue(c.query, "target");
    ASSERT_EQ(value.has_value(), c.value != nullptr) << c.query;
    if (value) {
      EXPECT_EQ(*value, c.value) << c.query;
    }
  }
}

TEST(ProbeRequest, NetworksContainTheirAddressesOnly) {
  const auto address = [](const char* text) { return ParseProbeTarget(text, 1)->address; };
  struct Case {
    const char* cidr;
    const char* inside;
    const char* outside;
  } cases[] = {
      {"10.1.2.3/8", "10.255.0.1", "11.0.0.0"},
      {"192.168.1.0/24", "192.168.1.255", "192.168.2.0"},
      {"192.168.1.7/32", "192.168.1.7", "192.168.1.6"},
      {"192.168.1.7", "192.168.1.7", "192.168.1.8"},
      {"0.0.0.0/0", "1.2.3.4", nullptr},
  };
  for (const Case& c : cases) {
    const auto cidr = ParseCidr(c.cidr);
    ASSERT_TRUE(cidr) << c.cidr;
    EXPECT_TRUE(cidr->Contains(address(c.inside))) << c.cidr;
    if (c.outside) {
      EXPECT_FALSE(cidr->Contains(address(c.outside))) << c.cidr;
    }
  }
  EXPECT_EQ(FormatCidr(*ParseCidr("10.1.2.3/8")), "10.0.0.0/8");
  for (const char* bad : {"10.0.0.0/33", "10.0.0.0/", "10.0.0/8", "10.0.0.0/08"}) EXPECT_FALSE(ParseCidr(bad)) << bad;
}

TEST(Shard, CollectorsSplitAFleetWithoutOverlapOrGap) {
  for (const char* bad : {"0/2", "3/2", "1/0", "1/1001", "1-2", "1/", "/2", "a/2"}) EXPECT_FALSE(ParseShard(bad)) << bad;
  for (const std::uint32_t n : {1u, 2u, 3u, 7u}) {
    std::vector<int> perShard(n, 0);
    for (int i = 0; i < 2000; ++i) {
      const std::string address = "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250);
      int owners = 0;
      for (std::uint32_t s = 1; s <= n; ++s) {
        if (InShard(*ParseShard(std::to_string(s) + "/" + std::to_string(n)), address, 10003)) {
          ++owners;
          ++perShard[s - 1];
        }
      }
      ASSERT_EQ(owners, 1) << address << " in " << n << " shards";
    }
    for (const int count : perShard) EXPECT_NEAR(count, 2000.0 / n, 2000.0 / n * 0.25) << n << " shards";
  }
  // The share of a device must not change between versions or machines:
  // these are pinned.
  EXPECT_TRUE(InShard(Shard{1, 2}, "10.77.0.2", 10003));
  EXPECT_TRUE(InShard(Shard{2, 2}, "10.77.0.3", 10003));
  EXPECT_TRUE(InShard(Shard{2, 2}, "10.77.0.10", 10003));
}

std::string Basic(const std::string& credentials) {
  static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const auto byte = [&](std::size_t i) -> std::uint32_t {
    return i < credentials.size() ? static_cast<unsigned char>(credentials[i]) : 0;
  };
  std::string out = "Basic ";
  for (std::size_t i = 0; i < credentials.size(); i += 3) {
    const std::uint32_t group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
    const std::size_t digits = std::min<std::size_t>(credentials.size() - i, 3) + 1;
    for (std::size_t k = 0; k < 4; ++k) out += k < digits ? kDigits[group >> (18 - 6 * k) & 63] : '=';
  }
  return out;
}

TEST(BasicAuth, OnlyTheRightUserAndPasswordGetIn) {
  const std::string hash = crypt("open sesame", crypt_gensalt("$2b$", 5, nullptr, 0));
  std::string error;
  auto file = PasswordFile::Parse("# readers\n\nreader:" + hash + "\r\n", error);
  ASSERT_TRUE(file) << error;
  EXPECT_TRUE(file->Allows(Basic("reader:open sesame")));
  EXPECT_TRUE(file->Allows(Basic("reader:open sesame")));  // again, from the remembered header
  for (const std::string& refused :
       {Basic("reader:open sesamE"), Basic("reader:"), Basic("other:open sesame"), Basic("readeropen sesame"),
        std::string("Bearer x"), std::string("Basic !!!!"), std::string(""),
        Basic(std::string("reader:open sesame\0junk", 23))})
    EXPECT_FALSE(file->Allows(refused)) << refused;

  for (const char* bad : {"reader", ":$2b$05$x", "reader:secret", "reader:$1$abc$def", "# only a comment\n"})
    EXPECT_FALSE(PasswordFile::Parse(bad, error)) << bad;
  for (const char* kind : {"$2b$", "$y$", "$6$"}) {
    EXPECT_FALSE(PasswordFile::Parse(std::string("a:") + crypt("", crypt_gensalt(kind, 0, nullptr, 0)), error));
    EXPECT_EQ(error, "line 1: the password of 'a' is empty") << kind;
  }
}

TEST(BasicAuth, AnUnknownUserTakesAsLongAsAWrongPassword) {
  // Cost 8: tens of milliseconds a check, far above the rest of the work.
  std::string error;
  const auto file = PasswordFile::Parse(
      std::string("reader:") + crypt("open sesame", crypt_gensalt("$2b$", 8, nullptr, 0)), error);
  ASSERT_TRUE(file) << error;
  const auto timed = [&](const std::string& credentials) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(file->Allows(Basic(credentials)));
    return std::chrono::steady_clock::now() - start;
  };
  const auto wrong = timed("reader:guess");
  const auto unknown = timed("nobody:guess");
  EXPECT_GT(unknown * 4, wrong);
}

TEST(BasicAuth, Base64) {
  EXPECT_EQ(DecodeBase64("cmVhZGVyOnB3"), "reader:pw");
  EXPECT_EQ(DecodeBase64("YQ=="), "a");
  EXPECT_EQ(DecodeBase64("YWI="), "ab");
  EXPECT_EQ(DecodeBase64(""), "");
  for (const char* bad : {"YQ=", "Y===", "YQ=a", "cmVh!A==", "YQ==YQ=="}) EXPECT_FALSE(DecodeBase64(bad)) << bad;
}

std::string Text(const MetricsBook& book) { return Serialize(DeviceFamilies(book.Devices())); }

TEST(Metrics, ADeviceThatGoesDownKeepsItsTotalsAndShowsNoCurrentCount) {
  MetricsBook book;
  const DeviceRef press{"press", "10.0.0.5", 10003};
  DeviceIdentity id;
  id.device = press;
  id.model = "SX-21";
  id.productCode = "X6";
  id.counting = true;
  Sample sample;
  sample.device = press;
  sample.inputCount = 2;
  sample.inputs[0] = InputValue{true, 4000000000u, 7, 123456789, 7.0, false, false};  // DI2 disabled
  sample.pollDuration = std::chrono::milliseconds(30);  // read in 30 ms, 2 s after its slot
  sample.lateness = std::chrono::seconds(2);
  book.OnStatus(StatusChange{press, {}, DeviceStatus::Up, id, {}, {}});
  book.OnEvent(Event{EventKind::Connect, press, {}, {}, {}, {}, 0, id, {}});
  book.OnSample(sample);
  const std::string labels = R"({address="10.0.0.5:10003",device="press")";
  std::string up = Text(book);
  EXPECT_NE(up.find("kestrel_device_up" + labels + "} 1\n"), std::string::npos) << up;
  EXPECT_NE(up.find("kestrel_pulses_total" + labels + ",input=\"DI1\"} 123456789\n"), std::string::npos) << up;
  EXPECT_NE(up.find("kestrel_device_pulses" + labels + ",input=\"DI1\"} 4000000000\n"), std::string::npos) << up;
  EXPECT_EQ(up.find("input=\"DI2\""), std::string::npos) << up;
  for (const char* histogram : {"kestrel_poll_duration_seconds_bucket" R"({address="10.0.0.5:10003",device="press",le="0.05"} 1)",
                                "kestrel_poll_lateness_seconds_bucket" R"({address="10.0.0.5:10003",device="press",le="1"} 0)",
                                "kestrel_poll_lateness_seconds_bucket" R"({address="10.0.0.5:10003",device="press",le="2.5"} 1)"})
    EXPECT_NE(up.find(histogram), std::string::npos) << histogram << "\n" << up;
  EXPECT_NE(up.find(R"(kestrel_device_info{address="10.0.0.5:10003",device="press",model="SX-21",product_code="X6",unit="0"} 1)"),
            std::string::npos) << up;

  book.OnEvent(Event{EventKind::Failure, press, {}, FailureKind::Timeout, "text", {}, 0, id, {}});
  book.OnStatus(StatusChange{press, {}, DeviceStatus::Down, id, FailureKind::Timeout, "text"});
  std::string down = Text(book);
  EXPECT_NE(down.find("kestrel_device_up" + labels + "} 0\n"), std::string::npos) << down;
  EXPECT_NE(down.find("kestrel_pulses_total" + labels + ",input=\"DI1\"} 123456789\n"), std::string::npos) << down;
  EXPECT_EQ(down.find("kestrel_device_pulses"), std::string::npos) << down;
  EXPECT_NE(down.find("kestrel_poll_failures_total" + labels + ",kind=\"timeout\"} 1\n"), std::string::npos) << down;
  EXPECT_EQ(down.find("NaN"), std::string::npos) << down;

  book.OnEvent(Event{EventKind::Connect, press, {}, {}, {}, {}, 0, id, {}});
  EXPECT_NE(Text(book).find("kestrel_reconnects_total" + labels + "} 1\n"), std::string::npos);
}

// /metrics writes the fleet's text itself, piece by piece; prometheus-cpp's
// serializer of the same families is the reference it must match byte for
// byte, whatever the pieces' size.
TEST(Metrics, TheStreamedScrapeIsTheSerializersTextInAnyPieces) {
  std::vector<DeviceMetrics> devices(4);
  devices[0].device = {"press", "10.0.0.5", 10003};
  devices[0].up = true;
  devices[0].identity = DeviceIdentity{};
  devices[0].identity->model = "SX-21";
  devices[0].identity->productCode = "X6";
  devices[0].identity->counting = true;
  devices[0].inputs[0] = {true, true, 4000000000u, 123456789012345ull};
  devices[0].inputs[2] = {false, true, 0, 7};
  devices[0].pollDuration.Observe(0.0123456789012345);
  devices[0].pollLateness.Observe(7);
  devices[0].connects = 3;
  devices[0].skippedSlots = 2;
  devices[0].failures[2] = 5;
  devices[1].device = {"line \"2\"\\\n", "10.0.0.6", 99};  // quote, backslash, newline
  devices[2].device = {"probed", "10.0.0.7", 10003};
  devices[2].probeSeconds = 0.25;
  devices[2].inputs[7] = {true, true, 1, 1};
  devices[3].device = {"idle", "10.0.0.8", 10003};
  const std::string tail = "# HELP x y\n# TYPE x gauge\nx 1\n";
  for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, std::size_t{1} << 20}) {
    ExpositionStream stream(devices, tail);
    std::string text;
    std::vector<char> buffer(piece);
    for (int guard = 0; guard < 1'000'000; ++guard) {
      const std::size_t n = stream.Read(buffer.data(), piece);
      if (n == 0) break;
      text.append(buffer.data(), n);
    }
    EXPECT_EQ(text, Serialize(DeviceFamilies(devices)) + tail) << "pieces of " << piece;
  }
}

TEST(WebHandler, TotalsComeFromTheStoreItWasGiven) {
  const auto folder = std::filesystem::temp_directory_path() / ("kestrel-web-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string path = (folder / "store.db").string();
  std::string error;
  auto db = store::OpenStoreForWriting(path, error);
  ASSERT_TRUE(db) << error;
  ASSERT_TRUE(db->Exec("INSERT INTO hours VALUES('press', 1, 1774738800, 7)", error)) << error;
  MetricsBook book;
  PollerRegistry pollers;
  struct Case {
    std::optional<std::string> store;
    const char* query;
    int status;
    const char* body;  // part of the body
  } cases[] = {
      {std::nullopt, "from=2026-03-28T23:00Z&to=2026-03-29T00:00Z", 404, "no store"},
      {path, "from=2026-03-28T23:00Z&to=2026-03-29T00:00Z&by=week", 400, "by 'week'"},
      {path, "from=2026-03-28T23:00Z", 400, "to missing"},
      {(folder / "none.db").string(), "from=2026-03-28T23:00Z&to=2026-03-29T00:00Z", 503, "store: "},
      {path, "from=2026-03-28T23:00Z&to=2026-03-29T00:00Z&device=press&device=meter", 200,
       R"(","by":"hour","totals":[{"from":")"},
      {path, "from=2026-03-28T23%3A00Z&to=2026-03-29T00:00Z&device=press", 200,
       R"(","device":"press","input":"DI1","pulses":7}]})"},
  };
  for (const Case& c : cases) {
    WebHandler handler(WebSources{book, pollers, {}, {}, kDefaultPort, c.store}, {}, std::nullopt);
    const WebReply reply = handler.Answer({"GET", "/api/totals", c.query, std::nullopt});
    EXPECT_EQ(reply.status, c.status) << c.query << ": " << reply.body;
    EXPECT_NE(reply.body.find(c.body), std::string::npos) << reply.body;
  }
  std::filesystem::remove_all(folder);
}

TEST(MqttOptions, BrokerAddressAndTopicLevels) {
  EXPECT_EQ(ParseHostPort("broker", 1883), std::make_pair(std::string("broker"), std::uint16_t{1883}));
  EXPECT_EQ(ParseHostPort("10.0.0.1:8883", 1883), std::make_pair(std::string("10.0.0.1"), std::uint16_t{8883}));
  for (const char* bad : {"", ":1883", "broker:", "broker:0", "broker:70000", "broker:x"})
    EXPECT_FALSE(ParseHostPort(bad, 1883)) << bad;
  EXPECT_EQ(TopicLevel("line 1/press #2+"), "line 1_press _2_");
  EXPECT_EQ(TopicLevel(""), "_");
}

TEST(OutputOptions, CommandLine) {
  struct Case {
    std::vector<std::string> args;
    const char* error;  // part of the error, nullptr: accepted
  } cases[] = {
      {{"--listen", "9731"}, nullptr},
      {{"--listen", "0.0.0.0:80", "--probe-allow", "10.0.0.0/8", "--web-auth-file", "f"}, nullptr},
      {{"--listen", "localhost:80"}, "not [ADDR:]PORT"},
      {{"--probe-allow", "10.0.0.0/8"}, "need --listen"},
      {{"--listen", "9731", "--web-tls-cert", "c.pem", "--web-tls-key", "k.pem"}, nullptr},
      {{"--listen", "9731", "--web-tls-cert", "c.pem"}, "go together"},
      {{"--web-tls-key", "k.pem", "--web-tls-cert", "c.pem"}, "need --listen"},
      {{"--mqtt", "broker:1883", "--mqtt-user", "u", "--mqtt-password", "p", "--mqtt-queue", "5"}, nullptr},
      {{"--mqtt-user", "u"}, "need --mqtt"},
      {{"--mqtt", "b", "--mqtt-password", "p"}, "needs --mqtt-user"},
      {{"--mqtt", "b", "--mqtt-queue", "0"}, "a count from 1"},
      {{"--mqtt", "b", "--mqtt-topic", "plant/#"}, "without wildcards"},
      {{"--shard", "2/2"}, nullptr},
      {{"--shard", "3/2"}, "not I/N"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"--device", "10.0.0.5"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CommandLine cl = ParseCommandLine(args);
    if (c.error == nullptr)
      EXPECT_EQ(cl.error, "") << c.args[0];
    else
      EXPECT_NE(cl.error.find(c.error), std::string::npos) << c.args[0] << ": " << cl.error;
  }
  const CommandLine cl = ParseCommandLine({"--device", "10.0.0.5", "--listen", "9999"});
  EXPECT_EQ(cl.outputs.web.listenAddress, "127.0.0.1");
  EXPECT_EQ(cl.outputs.web.listenPort, 9999);
}

}  // namespace
}  // namespace kestrel::collector
