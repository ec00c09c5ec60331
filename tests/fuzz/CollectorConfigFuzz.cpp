// The collector's configuration file over arbitrary text: either every
// device it yields is usable, or the refusal names the file and a line.
#include <string>

#include "collector/Config.h"
#include "collector/DeviceName.h"
#include "tests/fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kestrel::collector;
  const std::string text(reinterpret_cast<const char*>(data), size);
  CollectorConfig config;
  const std::optional<std::string> error = ApplyConfigText(text, "f.toml", config);
  if (error) {
    FUZZ_CHECK(error->rfind("f.toml:", 0) == 0);
    FUZZ_CHECK(error->size() > 7 && (*error)[7] >= '0' && (*error)[7] <= '9');
    return 0;
  }
  FUZZ_CHECK(config.interval.count() >= 10 && config.interval.count() <= 1'000'000'000);
  for (const DeviceConfig& d : config.devices) {
    FUZZ_CHECK(CanonicalAddress(d.device.address) == d.device.address);
    FUZZ_CHECK(!NotADeviceAddress(d.device.address));
    FUZZ_CHECK(d.device.port != 0);
    FUZZ_CHECK(!d.device.name.empty() && !NotADeviceName(d.device.name));
    if (d.interval) FUZZ_CHECK(d.interval->count() >= 10 && d.interval->count() <= 1'000'000'000);
  }
  return 0;
}
