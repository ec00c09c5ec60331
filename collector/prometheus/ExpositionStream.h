#pragma once
// A scrape of the whole fleet written as the connection takes it: the same
// text as Serialize(DeviceFamilies(devices)) followed by `tail`, produced one
// device's series of one family at a time into a buffer that is reused, so a
// scrape of ten thousand devices neither builds the whole text nor a metric
// object per series.
#include <cstddef>
#include <string>
#include <vector>

#include "collector/prometheus/Exposition.h"
#include "collector/prometheus/MetricsBook.h"

namespace kestrel::collector {

class ExpositionStream {
 public:
  // `tail`: text printed after the devices (the collector's own families).
  ExpositionStream(std::vector<DeviceMetrics> devices, std::string tail);

  // Copies up to `room` bytes of the text into `out`; 0 once it is all out.
  std::size_t Read(char* out, std::size_t room);

 private:
  // Appends the next device's series of the current family; false at the end.
  bool Produce();

  std::vector<DeviceMetrics> devices_;
  std::string tail_;
  std::size_t family_ = 0;
  std::size_t device_ = 0;
  bool headed_ = false;  // the current family's HELP and TYPE are out
  bool done_ = false;
  std::string pending_;
  std::size_t taken_ = 0;  // bytes of pending_ already read
};

// Appends `d`'s series of `family` in the text format (nothing when it has
// none there).
void AppendDeviceSeries(std::string& out, DeviceFamily family, const DeviceMetrics& d);

}  // namespace kestrel::collector
