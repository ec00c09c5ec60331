#include "collector/mqtt/MqttPublisher.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <chrono>
#include <iostream>
#include <memory>

#include "collector/RecordText.h"
#include "report/Json.h"

namespace kestrel::collector {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kQos = 1;
// Messages handed to the client library and not yet acknowledged, at most.
constexpr std::size_t kWindow = 20;
// The longest the connection thread sleeps between looks at its socket, so
// that keep-alive pings go out in time.
constexpr milliseconds kLoopSlice{500};

void Say(const std::string& text) { std::cerr << "kestrel-collector: mqtt: " << text << "\n" << std::flush; }

// Refusals of one message's topic or payload: another try cannot succeed, so
// that message goes. Any other error is the connection's, and the message
// waits for the next one.
bool RefusesMessage(int rc) {
  return rc == MOSQ_ERR_INVAL || rc == MOSQ_ERR_MALFORMED_UTF8 || rc == MOSQ_ERR_PAYLOAD_SIZE ||
         rc == MOSQ_ERR_OVERSIZE_PACKET;
}

int Remaining(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::clamp(left, milliseconds(0), kLoopSlice).count());
}

}  // namespace

MqttPublisher::MqttPublisher(MqttOptions options, OutputHealth* health, MessageOutbox* outbox)
    : options_(std::move(options)),
      collectorTopic_(options_.topicPrefix + "/collector/" + TopicLevel(options_.id)),
      health_(health),
      outbox_(outbox) {
  if (health_ != nullptr) health_->Dropped(kMqttOutput, 0);  // known from the start
}

MqttPublisher::~MqttPublisher() {
  Stop();
  if (wakeFd_ >= 0) close(wakeFd_);
}

bool MqttPublisher::Start(std::string& error) {
  for (const auto* file : {&options_.caFile, &options_.certFile, &options_.keyFile}) {
    if (*file && access((*file)->c_str(), R_OK) != 0) {
      error = **file + ": cannot be read";
      return false;
    }
  }
  if (options_.certFile.has_value() != options_.keyFile.has_value()) {
    error = "a client certificate needs its key, and a key its certificate";
    return false;
  }
  if (options_.certFile && !options_.tls()) {
    error = "a client certificate needs --mqtt-cafile or --mqtt-capath";
    return false;
  }
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    error = "cannot make an event descriptor";
    return false;
  }
  static std::once_flag library;
  std::call_once(library, [] { mosquitto_lib_init(); });
  thread_ = std::thread([this] { Run(); });
  return true;
}

void MqttPublisher::Restore(std::uint64_t seq, std::string topic, std::string payload) {
  bool dropped = false;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(Message{seq, std::move(topic), std::move(payload), false});
    nextSeq_ = std::max(nextSeq_, seq + 1);
    // Kept under a larger --mqtt-queue than now: the oldest go, as when full.
    if (queue_.size() > options_.queueLimit) {
      if (outbox_ != nullptr) outbox_->Removed(queue_.front().seq);
      queue_.pop_front();
      ++dropped_;
      ++droppedUnreported_;
      dropped = true;
    }
  }
  if (dropped && health_ != nullptr) health_->Dropped(kMqttOutput, 1);
}

void MqttPublisher::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  Wake();
  thread_.join();
  if (outbox_ != nullptr) return;  // what is left stays in the outbox
  std::size_t left = 0;
  {
    std::lock_guard lock(mutex_);
    left = queue_.size();
    dropped_ += left;
    queue_.clear();
    handed_ = 0;
    inFlight_.clear();
  }
  if (left == 0) return;
  Say(std::to_string(left) + " messages had not reached the broker at the stop and are dropped");
  if (health_ != nullptr) health_->Dropped(kMqttOutput, left);
}

void MqttPublisher::Wake() {
  const std::uint64_t one = 1;
  if (wakeFd_ >= 0) [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
}

void MqttPublisher::Enqueue(std::string topic, std::string payload) {
  bool dropped = false;
  {
    std::lock_guard lock(mutex_);
    bool room = true;
    if (queue_.size() >= options_.queueLimit) {
      // Full: the oldest message not yet handed to the broker goes, so what
      // remains is the most recent; ones in flight stay for their answer.
      room = handed_ < queue_.size();
      if (room) {
        const auto oldest = queue_.begin() + static_cast<std::ptrdiff_t>(handed_);
        if (outbox_ != nullptr) outbox_->Removed(oldest->seq);
        queue_.erase(oldest);
      }
      ++dropped_;
      ++droppedUnreported_;
      dropped = true;
    }
    if (room) {
      const std::uint64_t seq = nextSeq_++;
      if (outbox_ != nullptr) outbox_->Added(seq, topic, payload);
      queue_.push_back(Message{seq, std::move(topic), std::move(payload), false});
    }
  }
  // Outside the lock: the output health tells of it (rate-limited), and its
  // event comes back here.
  if (dropped && health_ != nullptr) health_->Dropped(kMqttOutput, 1);
  Wake();
}

void MqttPublisher::OnSample(const Sample& sample) {
  Enqueue(options_.topicPrefix + "/" + TopicLevel(sample.device.name) + "/counts", SampleJson(sample));
}

void MqttPublisher::OnEvent(const Event& event) {
  // An event about the collector itself goes where the queue's drops go.
  if (event.kind == EventKind::Output) Enqueue(collectorTopic_ + "/events", EventJson(event));
  else Enqueue(options_.topicPrefix + "/" + TopicLevel(event.device.name) + "/events", EventJson(event));
}

void MqttPublisher::OnStatus(const StatusChange& change) {
  // Between attempts a device stays "offline" with the reason it went.
  if (change.status == DeviceStatus::Connecting) return;
  const bool online = change.status == DeviceStatus::Up;
  report::JsonObject o;
  o.Add("time", IsoTime(change.time)).Add("device", change.device.name);
  o.Add("address", change.device.address).Add("port", std::int64_t{change.device.port});
  o.Add("status", online ? "online" : "offline");
  if (change.identity) {
    o.Add("model", change.identity->model).Add("unit", std::int64_t{change.identity->unit});
    o.Add("product_code", change.identity->productCode).AddBool("counting", change.identity->counting);
  }
  if (!online && change.failure != FailureKind::None)
    o.Add("failure", Name(change.failure)).Add("error", change.message);
  {
    std::lock_guard lock(mutex_);
    retained_[options_.topicPrefix + "/" + TopicLevel(change.device.name) + "/status"] =
        Retained{o.str(), true};
  }
  Wake();
}

void MqttPublisher::Unreachable(const std::string& why) {
  // Once per reason, not at every attempt of a long outage.
  if (why == lastProblem_) return;
  lastProblem_ = why;
  Say("cannot connect to " + options_.host + ":" + std::to_string(options_.port) + ": " + why);
}

std::string MqttPublisher::CollectorStatus(bool online) const {
  report::JsonObject o;
  o.Add("status", online ? "online" : "offline").Add("id", options_.id);
  if (online) o.Add("time", IsoTime(WallClock::now()));
  return o.str();
}

MqttPublisher::Stats MqttPublisher::stats() const {
  std::lock_guard lock(mutex_);
  return Stats{connected_, queue_.size(), acknowledged_, dropped_};
}

void MqttPublisher::Run() {
  milliseconds retry = options_.retryFirst;
  while (!stop_) {
    if (Session()) retry = options_.retryFirst;
    if (stop_) break;
    // Wait before the next attempt; new messages do not cut it short, a stop does.
    const Clock::time_point until = Clock::now() + retry;
    while (!stop_ && Clock::now() < until) {
      pollfd wake{wakeFd_, POLLIN, 0};
      poll(&wake, 1, Remaining(until));
      std::uint64_t count = 0;
      [[maybe_unused]] auto read = ::read(wakeFd_, &count, sizeof count);
    }
    retry = std::min(retry * 2, options_.retryMax);
  }
}

bool MqttPublisher::Session() {
  std::unique_ptr<mosquitto, void (*)(mosquitto*)> owner(
      mosquitto_new(("kestrel-collector-" + options_.id).c_str(), true, this), mosquitto_destroy);
  mosquitto* client = owner.get();
  if (client == nullptr) return false;
  mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
  if (options_.user)
    mosquitto_username_pw_set(client, options_.user->c_str(), options_.password ? options_.password->c_str() : nullptr);
  if (options_.tls()) {
    const auto c = [](const std::optional<std::string>& s) { return s ? s->c_str() : nullptr; };
    const int rc = mosquitto_tls_set(client, c(options_.caFile), c(options_.caPath), c(options_.certFile),
                                     c(options_.keyFile), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      Say(std::string("TLS settings refused: ") + mosquitto_strerror(rc));
      return false;
    }
    mosquitto_tls_insecure_set(client, options_.insecure);
  }
  const std::string offline = CollectorStatus(false);
  mosquitto_will_set(client, (collectorTopic_ + "/status").c_str(), static_cast<int>(offline.size()),
                     offline.data(), kQos, true);
  mosquitto_connect_callback_set(client, [](mosquitto*, void* self, int rc) {
    auto* p = static_cast<MqttPublisher*>(self);
    if (rc == 0) {
      p->sessionUp_ = true;
    } else {
      p->Unreachable(std::string("refused: ") + mosquitto_connack_string(rc));
      p->sessionOver_ = true;
    }
  });
  mosquitto_disconnect_callback_set(client, [](mosquitto*, void* self, int) {
    static_cast<MqttPublisher*>(self)->sessionOver_ = true;
  });
  // The client calls this with its own locks held: the answer is only noted
  // here and settled under our lock once the client's call has returned, so
  // that our lock is never taken inside the client's.
  mosquitto_publish_callback_set(client, [](mosquitto*, void* self, int mid) {
    static_cast<MqttPublisher*>(self)->acks_.push_back(mid);
  });
  acks_.clear();

  sessionUp_ = sessionOver_ = false;
  offlineMid_ = -1;
  offlineAcked_ = false;
  {
    // Whatever the last connection did not get acknowledged goes again.
    std::lock_guard lock(mutex_);
    handed_ = 0;
    inFlight_.clear();
    for (auto& [topic, r] : retained_) r.dirty = true;
  }
  int rc = mosquitto_connect_async(client, options_.host.c_str(), options_.port,
                                   static_cast<int>(options_.keepalive.count()));
  if (rc != MOSQ_ERR_SUCCESS) {
    Unreachable(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
    return false;
  }

  bool wasUp = false;
  const Clock::time_point connectBy = Clock::now() + options_.connectTimeout;
  std::optional<Clock::time_point> stopBy;
  while (!sessionOver_) {
    if (sessionUp_ && !wasUp) {
      wasUp = true;
      connected_ = true;
      lastProblem_.clear();
      const std::string online = CollectorStatus(true);
      mosquitto_publish(client, nullptr, (collectorTopic_ + "/status").c_str(),
                        static_cast<int>(online.size()), online.data(), kQos, true);
      std::lock_guard lock(mutex_);
      if (droppedUnreported_ > 0) {
        const std::string report = report::JsonObject()
                                       .Add("time", IsoTime(WallClock::now()))
                                       .Add("event", "mqtt-dropped")
                                       .Add("dropped", static_cast<std::int64_t>(droppedUnreported_))
                                       .str();
        Say(std::to_string(droppedUnreported_) + " messages were dropped while the broker was away");
        droppedUnreported_ = 0;
        mosquitto_publish(client, nullptr, (collectorTopic_ + "/events").c_str(),
                          static_cast<int>(report.size()), report.data(), kQos, false);
      }
    }
    if (!sessionUp_ && Clock::now() >= connectBy) break;
    if (stop_ && !stopBy) {
      if (!sessionUp_) break;
      stopBy = Clock::now() + options_.stopDrain;
      const std::string text = CollectorStatus(false);
      mosquitto_publish(client, &offlineMid_, (collectorTopic_ + "/status").c_str(),
                        static_cast<int>(text.size()), text.data(), kQos, true);
    }
    if (sessionUp_) HandOut(client);
    if (stopBy) {
      bool drained = false;
      {
        std::lock_guard lock(mutex_);
        drained = queue_.empty() && offlineAcked_;
      }
      if (drained || Clock::now() >= *stopBy) {
        mosquitto_disconnect(client);  // a clean end: the broker keeps the will to itself
        mosquitto_loop_write(client, 1);
        break;
      }
    }
    const int socket = mosquitto_socket(client);
    if (socket < 0) break;
    pollfd fds[2] = {{socket, static_cast<short>(POLLIN | (mosquitto_want_write(client) ? POLLOUT : 0)), 0},
                     {wakeFd_, POLLIN, 0}};
    const Clock::time_point next = stopBy ? std::min(*stopBy, Clock::now() + kLoopSlice)
                                          : sessionUp_ ? Clock::now() + kLoopSlice : connectBy;
    poll(fds, 2, Remaining(next));
    if (fds[1].revents != 0) {
      std::uint64_t count = 0;
      [[maybe_unused]] auto read = ::read(wakeFd_, &count, sizeof count);
    }
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) && (rc = mosquitto_loop_read(client, 1)) != MOSQ_ERR_SUCCESS)
      break;
    if (mosquitto_want_write(client) && (rc = mosquitto_loop_write(client, 1)) != MOSQ_ERR_SUCCESS) break;
    if ((rc = mosquitto_loop_misc(client)) != MOSQ_ERR_SUCCESS) break;
    SettleAcks();
  }
  SettleAcks();
  if (wasUp && !stop_) Say("connection to the broker lost; messages wait in the queue");
  if (!wasUp && !stop_) {
    if (rc == MOSQ_ERR_SUCCESS && !sessionOver_) Unreachable("no answer within the connect time-out");
    else if (rc != MOSQ_ERR_SUCCESS) Unreachable(rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
  }
  connected_ = false;
  return wasUp;
}

void MqttPublisher::HandOut(mosquitto* client) {
  std::uint64_t refusedCount = 0;
  HandOutLocked(client, refusedCount);
  // Outside the lock: the report comes back through the outputs, here too.
  if (refusedCount > 0 && health_ != nullptr) health_->Dropped(kMqttOutput, refusedCount);
}

void MqttPublisher::HandOutLocked(mosquitto* client, std::uint64_t& refusedCount) {
  std::lock_guard lock(mutex_);
  const auto refused = [&](const std::string& topic, int rc) {
    std::string shown = topic;  // the bytes that got it refused may not be printable
    for (char& c : shown)
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
    Say("a message to " + shown + " was refused (" + mosquitto_strerror(rc) + ") and dropped");
    ++dropped_;
    ++refusedCount;
  };
  for (auto& [topic, r] : retained_) {
    if (!r.dirty) continue;
    const int rc = mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(r.payload.size()),
                                     r.payload.data(), kQos, true);
    if (rc != MOSQ_ERR_SUCCESS && !RefusesMessage(rc)) return;
    if (rc != MOSQ_ERR_SUCCESS) refused(topic, rc);
    r.dirty = false;
  }
  while (handed_ < queue_.size() && inFlight_.size() < kWindow) {
    const Message& m = queue_[handed_];
    int mid = 0;
    const int rc = mosquitto_publish(client, &mid, m.topic.c_str(), static_cast<int>(m.payload.size()),
                                     m.payload.data(), kQos, false);
    if (rc != MOSQ_ERR_SUCCESS && !RefusesMessage(rc)) return;
    if (rc != MOSQ_ERR_SUCCESS) {
      refused(m.topic, rc);
      if (outbox_ != nullptr) outbox_->Removed(m.seq);
      queue_.erase(queue_.begin() + static_cast<std::ptrdiff_t>(handed_));
      continue;
    }
    inFlight_[mid] = m.seq;
    ++handed_;
  }
}

void MqttPublisher::SettleAcks() {
  for (int mid : acks_) Acknowledged(mid);
  acks_.clear();
}

void MqttPublisher::Acknowledged(int mid) {
  std::lock_guard lock(mutex_);
  if (mid == offlineMid_) offlineAcked_ = true;
  const auto it = inFlight_.find(mid);
  if (it == inFlight_.end()) return;  // a status: nothing waits for it
  const std::uint64_t seq = it->second;
  inFlight_.erase(it);
  for (std::size_t i = 0; i < handed_; ++i) {
    if (queue_[i].seq == seq) {
      queue_[i].acked = true;
      break;
    }
  }
  while (!queue_.empty() && handed_ > 0 && queue_.front().acked) {
    if (outbox_ != nullptr) outbox_->Removed(queue_.front().seq);
    queue_.pop_front();
    --handed_;
    ++acknowledged_;
  }
}

}  // namespace kestrel::collector
