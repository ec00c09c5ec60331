#pragma once
// Samples, events and device status to an MQTT broker:
//   PREFIX/<device>/counts   every sample, QoS 1
//   PREFIX/<device>/events   connect, disconnect, failure, ..., QoS 1
//   PREFIX/<device>/status   online/offline with the last error, retained
//   PREFIX/collector/<id>/status  the collector's own, retained; the broker
//                            sets it to offline (last will) if we vanish
//   PREFIX/collector/<id>/events  messages the queue had to drop, and the
//                            collector's events about its outputs
// One thread owns the connection. Messages wait in a bounded queue while the
// broker is away and go out in order when it is back; a message leaves the
// queue only when the broker has acknowledged it. After a lost connection the
// unacknowledged ones are sent again (QoS 1: at least once). Messages still
// waiting when a stop's time to drain is over are dropped, counted, unless an
// outbox keeps them.
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "collector/OutputHealth.h"
#include "collector/RecordSink.h"
#include "collector/mqtt/MessageOutbox.h"
#include "collector/mqtt/MqttOptions.h"

struct mosquitto;

namespace kestrel::collector {

class MqttPublisher final : public RecordSink {
 public:
  // `health` counts the drops and failures; `outbox` is told of the
  // messages in the queue. Either may be nullptr; both outlive the publisher.
  explicit MqttPublisher(MqttOptions options, OutputHealth* health = nullptr, MessageOutbox* outbox = nullptr);
  ~MqttPublisher() override;  // Stop()
  MqttPublisher(const MqttPublisher&) = delete;
  MqttPublisher& operator=(const MqttPublisher&) = delete;

  // Checks the options and starts the connection thread; false and why when
  // the options cannot work (a certificate file missing, ...).
  bool Start(std::string& error);
  // Before Start: a message the outbox kept from an earlier run, to go out
  // before the new ones (in the order of `seq`).
  void Restore(std::uint64_t seq, std::string topic, std::string payload);
  // Sends the collector's offline status, waits up to stopDrain for the queue
  // to go out, disconnects and ends the thread. What is left is dropped
  // (counted and told) unless the outbox keeps it.
  void Stop();

  void OnSample(const Sample& sample) override;
  void OnEvent(const Event& event) override;
  void OnStatus(const StatusChange& change) override;

  struct Stats {
    bool connected = false;
    std::size_t queued = 0;        // waiting or not yet acknowledged
    std::uint64_t acknowledged = 0;
    std::uint64_t dropped = 0;     // pushed out of a full queue
  };
  Stats stats() const;

 private:
  struct Message {
    std::uint64_t seq = 0;
    std::string topic;
    std::string payload;
    bool acked = false;
  };
  struct Retained {
    std::string payload;
    bool dirty = true;  // to be published on the current connection
  };

  void Enqueue(std::string topic, std::string payload);
  void Wake();
  void Run();
  // One connection from connect to loss or stop; true when it got connected.
  bool Session();
  void HandOut(mosquitto* client);
  void HandOutLocked(mosquitto* client, std::uint64_t& refusedCount);
  void SettleAcks();
  void Acknowledged(int mid);
  std::string CollectorStatus(bool online) const;
  void Unreachable(const std::string& why);

  const MqttOptions options_;
  const std::string collectorTopic_;
  OutputHealth* const health_;
  MessageOutbox* const outbox_;
  std::thread thread_;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
  // Set by the client's callbacks, which run on the connection thread.
  bool sessionUp_ = false;
  bool sessionOver_ = false;
  std::vector<int> acks_;  // answers of the broker not yet settled (connection thread only)
  int offlineMid_ = -1;
  bool offlineAcked_ = false;
  std::string lastProblem_;  // the reason last told for not getting connected

  mutable std::mutex mutex_;
  std::deque<Message> queue_;        // oldest first
  std::size_t handed_ = 0;           // the front of queue_ handed to the current connection
  std::map<int, std::uint64_t> inFlight_;  // message id -> seq
  std::map<std::string, Retained> retained_;  // by topic: the latest status of each device
  std::uint64_t nextSeq_ = 0;
  std::uint64_t acknowledged_ = 0;
  std::uint64_t dropped_ = 0;
  std::uint64_t droppedUnreported_ = 0;
};

}  // namespace kestrel::collector
