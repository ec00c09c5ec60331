#pragma once
// A scrape of the whole fleet written as the connection takes it: the same
// text as Serialize(DeviceFamilies(devices)) followed by `tail`, produced one
// device's series of one family at a time into a buffer that is reused, so a
// scrape of ten thousand devices neither builds the whole text nor a metric
// object per series.
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "collector/prometheus/Exposition.h"
#include "collector/prometheus/MetricsBook.h"

namespace kestrel::collector {

class ExpositionStream {
 public:
  // `tail`: text printed after the devices (the collector's own families).
  ExpositionStream(std::vector<DeviceMetrics> devices, std::string tail);
  // Empty, to be filled through devices() and Restart().
  ExpositionStream() = default;

  // The devices to write: refilled in place for the next scrape, so their
  // strings and the text buffer keep their memory from one scrape to the
  // next instead of being allocated anew by whichever thread serves it.
  std::vector<DeviceMetrics>& devices() { return devices_; }
  // From the beginning again, with these devices and `tail`.
  void Restart(std::string tail);

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

// Streams kept for the next scrape: a scrape takes one (a new one when all
// are in use) and it comes back when the answer is over, so the fleet's
// copy and the text buffer are allocated once, not at every scrape.
class ExpositionPool : public std::enable_shared_from_this<ExpositionPool> {
 public:
  std::shared_ptr<ExpositionStream> Take();

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<ExpositionStream>> idle_;
};

// Appends `d`'s series of `family` in the text format (nothing when it has
// none there).
void AppendDeviceSeries(std::string& out, DeviceFamily family, const DeviceMetrics& d);

}  // namespace kestrel::collector
