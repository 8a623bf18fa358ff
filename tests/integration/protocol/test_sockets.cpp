#include "test_sockets.h"

#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace velkarin::test {

platform::SocketHandle OpenBoundSocket(std::uint32_t address, std::uint16_t port) {
  const platform::SocketHandle socket = platform::UdpSocketOpen();
  if (socket == platform::kInvalidSocket) return socket;
  platform::SocketSetReuseAddress(socket);
  platform::SocketSetBroadcast(socket);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(address);
  local.sin_port = htons(port);
#ifdef _WIN32
  const SOCKET s = static_cast<SOCKET>(socket);
#else
  const int s = static_cast<int>(socket);
#endif
  if (bind(s, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
    platform::SocketClose(socket);
    return platform::kInvalidSocket;
  }
  return socket;
}

#ifndef _WIN32
platform::SocketHandle OpenUnconfiguredSender() {
  const platform::SocketHandle socket = platform::UdpSocketOpen();
  if (socket == platform::kInvalidSocket) return socket;
  const int s = static_cast<int>(socket);
  const char device[] = "lo";
  if (setsockopt(s, SOL_SOCKET, SO_BINDTODEVICE, device, sizeof device) != 0 ||
      !platform::SocketSetBroadcast(socket) || !platform::SocketBindAny(socket, 0)) {
    platform::SocketClose(socket);
    return platform::kInvalidSocket;
  }
  return socket;
}
#endif

Datagram ReceiveWithin(platform::SocketHandle socket, std::uint32_t timeoutMs,
                       std::size_t bufferSize) {
  Datagram d;
  if (platform::SocketWaitReadable(socket, timeoutMs) != 1) return d;
  std::vector<char> buffer(bufferSize);
  d.count =
      platform::SocketReceiveFrom(socket, buffer.data(), buffer.size(), &d.sender, &d.senderPort);
  if (d.count > 0) d.bytes.assign(buffer.data(), static_cast<std::size_t>(d.count));
  return d;
}

}  // namespace velkarin::test
