#include "platform/interfaces.h"

// The sockets' side of the interfaces; the list is in interface_list.cpp.
#include <winsock2.h>
#include <ws2tcpip.h>

namespace velkarin::platform {
namespace {

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// IP_UNICAST_IF from ws2ipdef.h; older mingw headers lack it.
constexpr int kIpUnicastIf = 31;

}  // namespace

bool SocketSetOutgoingInterface(SocketHandle socket, std::uint32_t interfaceIndex) {
  // Windows wants the index in network byte order for IPv4.
  const DWORD index = htonl(interfaceIndex);
  return setsockopt(Sock(socket), IPPROTO_IP, kIpUnicastIf, reinterpret_cast<const char*>(&index),
                    sizeof index) == 0;
}

// Winsock ties a socket to no device; IP_UNICAST_IF (above) only picks the
// outgoing interface and never sends from 0.0.0.0.
bool SocketBindToDevice(SocketHandle, const char*) { return false; }

void SocketSetReceiveBuffer(SocketHandle socket, int bytes) {
  setsockopt(Sock(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes),
             sizeof bytes);
}

int SocketsWaitReadable(const SocketHandle* sockets, bool* readable, std::size_t count,
                        std::uint32_t timeoutMs) {
  // select takes at most FD_SETSIZE (64) sockets; a host has fewer interfaces.
  if (count == 0 || count > FD_SETSIZE) return -1;
  fd_set set;
  FD_ZERO(&set);
  for (std::size_t i = 0; i < count; ++i) FD_SET(Sock(sockets[i]), &set);
  timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  const int ready = ::select(0, &set, nullptr, nullptr, &timeout);
  if (ready == SOCKET_ERROR) return -1;
  for (std::size_t i = 0; i < count; ++i) readable[i] = FD_ISSET(Sock(sockets[i]), &set) != 0;
  return ready;
}

}  // namespace velkarin::platform
