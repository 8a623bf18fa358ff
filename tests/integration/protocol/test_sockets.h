// Sockets the channel tests use from the other side: receivers bound to a
// chosen address and port, and senders.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/socket.h"

namespace velkarin::test {

constexpr std::uint32_t kLoopback = 0x7F000001u;  // 127.0.0.1

// A datagram socket with address reuse, bound to `address`:`port` (host byte
// order). Invalid when the bind failed.
platform::SocketHandle OpenBoundSocket(std::uint32_t address, std::uint16_t port);

#ifndef _WIN32
// A socket bound to 0.0.0.0:0 and tied to the loopback interface: its
// broadcasts keep the source address 0.0.0.0.
platform::SocketHandle OpenUnconfiguredSender();
#endif

struct Datagram {
  int count = -1;
  std::string bytes;
  std::uint32_t sender = 0;
  std::uint16_t senderPort = 0;
  std::uint32_t destination = 0;  // only from ReceiveWithDestination
};

// Waits up to `timeoutMs` for one datagram.
Datagram ReceiveWithin(platform::SocketHandle socket, std::uint32_t timeoutMs,
                       std::size_t bufferSize = 2048);

// Waits up to `timeoutMs` for one datagram and reports the destination
// address it was sent to, as the system delivered it.
Datagram ReceiveWithDestination(platform::SocketHandle socket, std::uint32_t timeoutMs);

}  // namespace velkarin::test
