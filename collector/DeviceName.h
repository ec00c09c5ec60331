#pragma once
// What a device name may hold. The name goes into every record, file name,
// metric label and broker topic, so it is checked once, where it is given.
#include <optional>
#include <string>

namespace kestrel::collector {

// Why `name` cannot name a device (not valid UTF-8, or a control character:
// C0, DEL or C1); nullopt when it can. The reason never repeats the bytes.
std::optional<std::string> NotADeviceName(const std::string& name);

}  // namespace kestrel::collector
