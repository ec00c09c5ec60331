#pragma once
// The parts of a /probe request that come from outside: the query string,
// the device it names and the networks a probe may reach. Pure functions, so
// the fuzz target and the tests reach them without a server.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::collector {

// The value of `name` in a URL query ("a=1&target=10.0.0.5%3A10003"), with
// percent escapes and '+' decoded; the first one when given twice; nullopt
// when absent or badly escaped.
std::optional<std::string> QueryValue(std::string_view query, std::string_view name);
// Every value of `name`, in order, at most `most` of them; nullopt when one
// of them is badly escaped.
std::optional<std::vector<std::string>> QueryValues(std::string_view query, std::string_view name,
                                                    std::size_t most);

struct ProbeTarget {
  std::uint32_t address = 0;  // host byte order
  std::uint16_t port = 0;
  std::string addressText;    // canonical dotted form
};

// "a.b.c.d" or "a.b.c.d:PORT", four decimal parts 0..255 without leading
// zeros (one spelling per address, so the label a probe answers with is the
// one asked for) and a port 1..65535.
std::optional<ProbeTarget> ParseProbeTarget(std::string_view text, std::uint16_t defaultPort);

// An IPv4 network "a.b.c.d/LEN" (or one address without /LEN).
struct Cidr {
  std::uint32_t network = 0;  // host byte order, host bits cleared
  std::uint32_t mask = 0;
  bool Contains(std::uint32_t address) const { return (address & mask) == network; }
};
std::optional<Cidr> ParseCidr(std::string_view text);
// The network of an interface address and mask (host byte order).
Cidr NetworkOf(std::uint32_t address, std::uint32_t mask);
std::string FormatCidr(const Cidr& cidr);

bool AnyContains(const std::vector<Cidr>& networks, std::uint32_t address);

}  // namespace kestrel::collector
