#include "net/posix/EthtoolQuery.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>

#include <array>
#include <cstring>

namespace kestrel::net::posix {
namespace {

constexpr std::uint64_t kBitsPerMegabit = 1000000;

bool Ethtool(int fd, const std::string& interfaceName, void* command) {
  ifreq request{};
  if (interfaceName.empty() || interfaceName.size() >= sizeof(request.ifr_name)) return false;
  std::memcpy(request.ifr_name, interfaceName.data(), interfaceName.size());
  request.ifr_data = static_cast<char*>(command);
  return ioctl(fd, SIOCETHTOOL, &request) == 0;
}

constexpr std::size_t kMaxMaskWords = 127;  // the word count is a signed byte
constexpr std::size_t kMaskSets = 3;        // supported, advertised, partner

}  // namespace

std::string DriverName(int fd, const std::string& interfaceName) {
  ethtool_drvinfo info{};
  info.cmd = ETHTOOL_GDRVINFO;
  if (!Ethtool(fd, interfaceName, &info)) return {};
  return std::string(info.driver, strnlen(info.driver, sizeof(info.driver)));
}

// The link-settings call answers in two rounds: the first, with no room for
// the link-mode masks, tells how many mask words the kernel wants; only the
// second, with that room, carries the speed.
std::uint64_t LinkSpeedBitsPerSecond(int fd, const std::string& interfaceName) {
  alignas(ethtool_link_settings) std::array<unsigned char, sizeof(ethtool_link_settings) +
                                                               kMaskSets * kMaxMaskWords * 4>
      buffer{};
  ethtool_link_settings settings{};
  settings.cmd = ETHTOOL_GLINKSETTINGS;
  std::memcpy(buffer.data(), &settings, sizeof(settings));
  if (!Ethtool(fd, interfaceName, buffer.data())) return 0;
  std::memcpy(&settings, buffer.data(), sizeof(settings));
  if (settings.link_mode_masks_nwords >= 0) return 0;

  settings.link_mode_masks_nwords = static_cast<std::int8_t>(-settings.link_mode_masks_nwords);
  settings.cmd = ETHTOOL_GLINKSETTINGS;
  buffer.fill(0);
  std::memcpy(buffer.data(), &settings, sizeof(settings));
  if (!Ethtool(fd, interfaceName, buffer.data())) return 0;
  std::memcpy(&settings, buffer.data(), sizeof(settings));
  if (settings.speed == static_cast<std::uint32_t>(SPEED_UNKNOWN)) return 0;
  return settings.speed * kBitsPerMegabit;
}

}  // namespace kestrel::net::posix
