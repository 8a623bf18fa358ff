// Devices played by the test itself: a socket on a port of its own that
// answers every discovery datagram with the announcements it is given.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace velkarin::test {

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

class FakeDevices {
 public:
  FakeDevices();
  ~FakeDevices();
  FakeDevices(const FakeDevices&) = delete;
  FakeDevices& operator=(const FakeDevices&) = delete;

  // The port to aim the engine at (broadcast to 255.255.255.255 on it).
  std::uint16_t port() const { return port_; }
  // What every later discovery is answered with, one datagram each.
  void Answer(const std::vector<FakeAnnouncement>& devices);
  void AnswerRaw(const std::vector<std::string>& datagrams);

  int discoveries() const { return discoveries_.load(); }
  // Process clock of every discovery datagram seen, in arrival order.
  std::vector<std::int64_t> DiscoveryTimes() const;
  // Port from which the last discovery came (the engine's channel), 0 before.
  std::uint16_t requesterPort() const { return requesterPort_.load(); }

 private:
  void Serve();

  platform::SocketHandle socket_ = platform::kInvalidSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> discoveries_{0};
  std::atomic<std::uint16_t> requesterPort_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> answers_;
  std::vector<std::int64_t> discoveryTimes_;
  std::thread thread_;
};

}  // namespace velkarin::test
