#pragma once
// One simulated device on its address: the discovery socket, the command
// port with any number of clients sharing one device, the configuration port,
// and the timers of delayed and paced replies. It runs on an event loop it
// shares with the other devices of the process, or on one of its own.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sim/CommandHandler.h"
#include "sim/ConfigDump.h"
#include "sim/EventLoop.h"
#include "sim/FaultPlan.h"
#include "sim/SimConfig.h"
#include "sim/SimDevice.h"
#include "sim/SimSockets.h"
#include "sim/TrafficLog.h"

namespace kestrel::sim {

class SimServer final : public EventTarget {
 public:
  // Connections beyond this are accepted and closed at once, so a flood of
  // clients cannot use up the process's descriptors.
  static constexpr std::size_t kMaxConnections = 64;

  // Descriptors a device holds while no client is connected: discovery,
  // command and, if it has one (HasConfigPort), configuration sockets; more
  // with --answer-broadcast or --discovery-other-port.
  static std::size_t IdleDescriptors(const SimConfig& config);
  // Whether the device opens its configuration port. A lone device always
  // does, whatever its model, so that its configuration dump can be read; in
  // a fleet only the family whose mode is checked there does (or one told to
  // refuse it), which keeps a device of the other families to two
  // descriptors while idle.
  static bool HasConfigPort(const SimConfig& config);

  // `log` receives the verbose log when config.verbose is set. Without a
  // `loop` the device runs on one of its own (see Run).
  SimServer(const SimConfig& config, std::ostream* log, EventLoop* loop = nullptr);
  ~SimServer();
  SimServer(const SimServer&) = delete;
  SimServer& operator=(const SimServer&) = delete;

  // Opens every socket. Empty on success, else what failed.
  std::string Open();
  // "kestrel-sim ready: address=A command=P config=P discovery=P", with
  // " other-discovery=P" when discovery answers come from a second port.
  std::string ReadyLine() const;
  std::uint16_t commandPort() const { return commandPort_; }
  std::uint16_t configPort() const { return configPort_; }
  std::uint16_t discoveryPort() const { return discoveryPort_; }
  std::uint16_t otherDiscoveryPort() const { return otherDiscoveryPort_; }

  // On its own loop: serves until RequestStop() is called or `wakeFd` (for
  // example a signalfd) becomes readable; closes every connection before it
  // returns.
  void Run(int wakeFd = -1);
  // Safe from any thread and from a signal handler.
  void RequestStop();
  // Closes every connection (a shared loop has stopped).
  void CloseAll();

  void OnEvent(std::uint64_t token, std::uint32_t events) override;
  void OnTimer(std::uint64_t token) override;

 private:
  struct Outgoing {
    Bytes bytes;
    std::size_t sent = 0;
    SimClock::time_point notBefore{};
    bool oneByte = false;
    std::uint64_t endless = 0;  // filler bytes still to send after `bytes`
    bool closeAfter = false;    // close the connection once this is sent
    bool logged = false;
  };
  struct Connection {
    std::uint64_t serial = 0;  // its token on the loop
    UniqueFd fd;
    bool wantWrite = false;    // watched for EPOLLOUT
    bool config = false;
    std::string peer;  // "client N" or "config N"
    RequestFramer framer;
    ConfigQueryReader queries;
    std::deque<Outgoing> out;
    std::uint32_t commandsHandled = 0;
    bool dead = false;
  };

  // Loop tokens of the device's sockets; connections count from the last.
  enum Token : std::uint64_t {
    kDiscoveryToken,
    kOtherDiscoveryToken,
    kBroadcastToken,
    kCommandToken,
    kConfigToken,
    kFirstConnectionToken,
  };

  void Accept(int listener, bool config);
  void OnDiscovery(int fd);
  void OnReadable(Connection& c);
  void OnRequest(Connection& c, const Bytes& frame, SimClock::time_point now);
  void OnConfigQuery(Connection& c, SimClock::time_point now);
  void Flush(Connection& c, SimClock::time_point now);
  // Sends what is due, then watches for room or sets a timer for the rest.
  void FlushAndWait(Connection& c);
  void Close(Connection& c, const std::string& why);
  void Bury();

  SimConfig config_;
  TrafficLog log_;
  FaultPlan faults_;
  SimDevice device_;
  ConfigItems configItems_;

  std::unique_ptr<EventLoop> ownLoop_;
  EventLoop& loop_;
  UniqueFd discovery_;
  UniqueFd otherDiscovery_;
  UniqueFd broadcast_;  // wildcard address, with --answer-broadcast
  UniqueFd commandListener_;
  UniqueFd configListener_;
  bool configListening_ = false;
  std::uint16_t commandPort_ = 0;
  std::uint16_t configPort_ = 0;
  std::uint16_t discoveryPort_ = 0;
  std::uint16_t otherDiscoveryPort_ = 0;
  // By serial, so in the order they were accepted.
  std::map<std::uint64_t, std::unique_ptr<Connection>> connections_;
  std::vector<std::uint64_t> closed_;  // erased once the current event is handled
  std::uint64_t nextSerial_ = kFirstConnectionToken;
  int commandConnectionsSeen_ = 0;
  int configConnectionsSeen_ = 0;
};

}  // namespace kestrel::sim
