#pragma once
// Where the broker's messages can be kept beyond the publisher's memory (the
// store's outbox): told of every message that enters the queue and of every
// one that leaves it, acknowledged or dropped. What is still in it when the
// collector stops is what the broker never got; MqttPublisher::Restore puts
// it back in the queue at the next start.
#include <cstdint>
#include <string>

namespace kestrel::collector {

class MessageOutbox {
 public:
  virtual ~MessageOutbox() = default;
  // Called with the publisher's lock held: must not call the publisher.
  virtual void Added(std::uint64_t seq, const std::string& topic, const std::string& payload) = 0;
  virtual void Removed(std::uint64_t seq) = 0;
};

}  // namespace kestrel::collector
