// A plain UDP socket that talks to the simulator the way a host program does:
// bound to any address and a port the system picks, broadcasts allowed.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/socket.h"

namespace velkarin::test {

struct ProbeDatagram {
  std::string bytes;
  std::string sender;  // dotted quad
  std::uint16_t senderPort = 0;
};

class ProbeSocket {
 public:
  ProbeSocket();
  ~ProbeSocket();
  ProbeSocket(const ProbeSocket&) = delete;
  ProbeSocket& operator=(const ProbeSocket&) = delete;

  bool ok() const { return port_ != 0; }
  std::uint16_t port() const { return port_; }

  // To 255.255.255.255 at `port`.
  bool Broadcast(const std::string& bytes, std::uint16_t port);
  bool SendTo(const std::string& bytes, const char* address, std::uint16_t port);
  // One datagram, waiting up to `timeoutMs`.
  std::optional<ProbeDatagram> Receive(unsigned timeoutMs);
  // Every datagram until none has come for `quietMs`, or `maxMs` have passed.
  std::vector<ProbeDatagram> ReceiveAll(unsigned quietMs, unsigned maxMs = 10000);

 private:
  platform::SocketHandle socket_ = platform::kInvalidSocket;
  bool started_ = false;
  std::uint16_t port_ = 0;
};

}  // namespace velkarin::test
