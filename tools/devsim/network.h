// The simulator's sockets. All devices share one socket on the devices' port;
// unconfigured devices send through a second one whose datagrams carry the
// source address 0.0.0.0.
#pragma once
#include <cstdint>
#include <string>

#include "platform/private_network.h"
#include "platform/socket.h"

namespace velkarin::devsim {

// The simulator runs only where what it sends stays on this machine.
using platform::InPrivateNetwork;

struct Endpoint {
  std::uint32_t address = 0;  // host byte order
  std::uint16_t port = 0;
};

std::string EndpointText(const Endpoint& endpoint);

class DeviceSockets {
 public:
  DeviceSockets() = default;
  ~DeviceSockets();
  DeviceSockets(const DeviceSockets&) = delete;
  DeviceSockets& operator=(const DeviceSockets&) = delete;

  // Binds 0.0.0.0:port with SO_BROADCAST, non-blocking; a fixed port also
  // with SO_REUSEADDR.
  bool Open(std::uint16_t port, std::string& error);
  // The socket for source 0.0.0.0: bound to 0.0.0.0:0 and to the device lo,
  // sending limited broadcasts only (Linux accepts a 0.0.0.0 source on input
  // for those alone).
  bool OpenUnconfigured(std::string& error);

  int fd() const { return static_cast<int>(fd_); }
  std::uint16_t port() const { return port_; }

  // One non-blocking receive; false when nothing was waiting.
  bool Receive(std::string& datagram, Endpoint& sender);
  // Sent from the device port to `to`.
  bool Send(const std::string& datagram, const Endpoint& to);
  // Sent from 0.0.0.0 to 255.255.255.255 at `port`.
  bool SendUnconfigured(const std::string& datagram, std::uint16_t port);

 private:
  platform::SocketHandle fd_ = platform::kInvalidSocket;
  platform::SocketHandle unconfiguredFd_ = platform::kInvalidSocket;
  std::uint16_t port_ = 0;
};

}  // namespace velkarin::devsim
