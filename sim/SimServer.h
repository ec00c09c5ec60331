#pragma once
// The simulator's single-threaded event loop: the discovery socket, the
// command port with any number of clients sharing one device, the
// configuration port, and the timers of delayed and paced replies.
#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sim/CommandHandler.h"
#include "sim/ConfigDump.h"
#include "sim/FaultPlan.h"
#include "sim/SimConfig.h"
#include "sim/SimDevice.h"
#include "sim/SimSockets.h"
#include "sim/TrafficLog.h"

namespace kestrel::sim {

class SimServer {
 public:
  // Connections beyond this are accepted and closed at once, so a flood of
  // clients cannot use up the process's descriptors.
  static constexpr std::size_t kMaxConnections = 64;

  // `log` receives the verbose log when config.verbose is set.
  SimServer(const SimConfig& config, std::ostream* log);
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

  // Serves until RequestStop() is called or `wakeFd` (for example a signalfd)
  // becomes readable; closes every connection before it returns.
  void Run(int wakeFd = -1);
  // Safe from any thread and from a signal handler.
  void RequestStop();

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
    UniqueFd fd;
    bool config = false;
    std::string peer;  // "client N" or "config N"
    RequestFramer framer;
    ConfigQueryReader queries;
    std::deque<Outgoing> out;
    std::uint32_t commandsHandled = 0;
    bool dead = false;
  };

  void Accept(int listener, bool config);
  void OnDiscovery(int fd);
  void OnReadable(Connection& c);
  void OnRequest(Connection& c, const Bytes& frame, SimClock::time_point now);
  void OnConfigQuery(Connection& c, SimClock::time_point now);
  void Flush(Connection& c, SimClock::time_point now);
  void Close(Connection& c, const std::string& why);
  int PollTimeoutMs(SimClock::time_point now) const;

  SimConfig config_;
  TrafficLog log_;
  FaultPlan faults_;
  SimDevice device_;
  ConfigItems configItems_;

  UniqueFd stopRead_;
  UniqueFd stopWrite_;
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
  std::vector<std::unique_ptr<Connection>> connections_;
  int commandConnectionsSeen_ = 0;
  int configConnectionsSeen_ = 0;
};

}  // namespace kestrel::sim
