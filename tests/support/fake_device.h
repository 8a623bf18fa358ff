// A device played by the test itself: a UDP socket on a port of its own that
// records every datagram it receives, answers each discovery at once with the
// announcements it is given, and answers commands with scripted replies sent
// to the sender after chosen delays: the same replies to every command, or
// one script per command in turn (later commands go unanswered).
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace velkarin::test {

struct ScriptedReply {
  std::uint32_t delayMs;  // after the command arrived
  std::string text;
};

// The text of one announcement: section 1, and section 2 when deviceId is set.
struct FakeAnnouncement {
  std::uint32_t serial = 0;
  std::string name = "device";
  int dhcp = 0;
  std::string ip = "10.0.0.1";
  std::string netmask = "255.255.255.0";
  std::string gateway = "10.0.0.254";
  int extNumber1 = 0;
  std::string deviceId;
  int deviceIndex = 1;
  int commandSuffix = -1;

  std::string Bytes() const;
};

class FakeDevice {
 public:
  // Port 0: one the system picks. Devices given the same port share it, as
  // devices on one network share port 8001.
  explicit FakeDevice(std::uint16_t port = 0);
  ~FakeDevice();
  FakeDevice(const FakeDevice&) = delete;
  FakeDevice& operator=(const FakeDevice&) = delete;

  // The port to aim at (broadcast to 255.255.255.255 on it).
  std::uint16_t port() const { return port_; }

  // What every later discovery is answered with, one datagram each.
  void Answer(const std::vector<FakeAnnouncement>& devices);
  void AnswerRaw(const std::vector<std::string>& datagrams);
  // The replies to every later command.
  void ReplyToEveryCommand(const std::vector<ScriptedReply>& replies);
  // The replies to the first, second, ... command from now on.
  void ReplyToCommands(const std::vector<std::vector<ScriptedReply>>& perCommand);

  // Every datagram received, in arrival order.
  std::vector<std::string> received() const;
  int discoveries() const { return discoveries_.load(); }
  // Process clock of every discovery datagram seen, in arrival order.
  std::vector<std::int64_t> DiscoveryTimes() const;
  // Port from which the last discovery came (the engine's channel), 0 before.
  std::uint16_t requesterPort() const { return requesterPort_.load(); }
  // When the last command arrived; the clock's epoch before the first.
  std::chrono::steady_clock::time_point lastCommandAt() const;

 private:
  struct Pending {
    std::chrono::steady_clock::time_point due;
    std::string text;
    std::uint32_t address;
    std::uint16_t port;
  };

  void Run();

  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> discoveries_{0};
  std::atomic<std::uint16_t> requesterPort_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> received_;
  std::vector<std::string> answers_;
  std::vector<std::int64_t> discoveryTimes_;
  std::vector<ScriptedReply> everyCommand_;
  std::vector<std::vector<ScriptedReply>> perCommand_;
  bool scripted_ = false;
  std::size_t commands_ = 0;
  std::chrono::steady_clock::time_point lastCommandAt_;
  std::thread thread_;
};

}  // namespace velkarin::test
