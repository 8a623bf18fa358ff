#include "platform/socket.h"

#include <winsock2.h>

#include "platform/faults.h"

namespace velkarin::platform {
namespace {

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

sockaddr_in Ipv4(std::uint32_t address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

bool SetIntOption(SocketHandle socket, int option) {
  const int on = 1;
  return setsockopt(Sock(socket), SOL_SOCKET, option, reinterpret_cast<const char*>(&on),
                    sizeof on) == 0;
}

int ClampedSize(std::size_t size) {
  return size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
}

}  // namespace

bool SocketsStartup() {
  if (FaultSet(Fault::SOCKETS_STARTUP)) return false;
  WSADATA data;
  return WSAStartup(MAKEWORD(1, 1), &data) == 0;
}

void SocketsCleanup() { WSACleanup(); }

SocketHandle UdpSocketOpen() {
  if (FaultSet(Fault::SOCKET_CREATE)) return kInvalidSocket;
  const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return kInvalidSocket;
  // A program this process starts must not inherit our ports.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<SocketHandle>(s);
}

void SocketClose(SocketHandle socket) {
  if (socket != kInvalidSocket) closesocket(Sock(socket));
}

bool SocketSetBroadcast(SocketHandle socket) { return SetIntOption(socket, SO_BROADCAST); }

bool SocketSetReuseAddress(SocketHandle socket) { return SetIntOption(socket, SO_REUSEADDR); }

bool SocketSetNonBlocking(SocketHandle socket) {
  u_long on = 1;
  return ioctlsocket(Sock(socket), FIONBIO, &on) == 0;
}

bool SocketBindAny(SocketHandle socket, std::uint16_t port) {
  return SocketBindAddress(socket, INADDR_ANY, port);
}

bool SocketBindAddress(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  if (FaultSet(Fault::SOCKET_BIND)) return false;
  // With address reuse allowed, a port chosen for us may be one that another
  // socket already holds (Wine over Linux does this), and then one hears the
  // other's answers. Reuse only matters for a port asked for by number.
  if (port == 0) {
    const BOOL off = FALSE;
    if (setsockopt(Sock(socket), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&off),
                   sizeof off) != 0) {
      return false;
    }
  }
  const sockaddr_in local = Ipv4(address, port);
  return ::bind(Sock(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

std::uint16_t SocketLocalPort(SocketHandle socket) {
  sockaddr_in local{};
  int length = sizeof local;
  if (getsockname(Sock(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  if (local.sin_family != AF_INET) return 0;
  return ntohs(local.sin_port);
}

int SocketSendTo(SocketHandle socket, const void* data, std::size_t size, std::uint32_t address,
                 std::uint16_t port) {
  if (FaultSet(Fault::SOCKET_SEND)) return -1;
  const sockaddr_in to = Ipv4(address, port);
  const int sent = ::sendto(Sock(socket), static_cast<const char*>(data), ClampedSize(size), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent == SOCKET_ERROR ? -1 : sent;
}

int SocketReceiveFrom(SocketHandle socket, void* buffer, std::size_t size, std::uint32_t* sender,
                      std::uint16_t* senderPort) {
  if (FaultSet(Fault::SOCKET_RECEIVE)) return -1;
  sockaddr_in from{};
  int length = sizeof from;
  // A datagram longer than the buffer fails with WSAEMSGSIZE and is dropped.
  const int received = ::recvfrom(Sock(socket), static_cast<char*>(buffer), ClampedSize(size), 0,
                                  reinterpret_cast<sockaddr*>(&from), &length);
  if (received == SOCKET_ERROR) return -1;
  if (sender != nullptr) *sender = ntohl(from.sin_addr.s_addr);
  if (senderPort != nullptr) *senderPort = ntohs(from.sin_port);
  return received;
}

int SocketWaitReadable(SocketHandle socket, std::uint32_t timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(socket), &readable);
  timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  const int ready = ::select(0, &readable, nullptr, nullptr, &timeout);
  if (ready == SOCKET_ERROR) return -1;
  return ready == 0 ? 0 : 1;
}

}  // namespace velkarin::platform
