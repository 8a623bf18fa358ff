#include "platform/socket.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "platform/faults.h"

namespace velkarin::platform {
namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

sockaddr_in Ipv4(std::uint32_t address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

bool SetIntOption(SocketHandle socket, int option) {
  const int on = 1;
  return setsockopt(Fd(socket), SOL_SOCKET, option, &on, sizeof on) == 0;
}

}  // namespace

// There is no sockets library to start here; the fault still makes it fail.
bool SocketsStartup() { return !FaultSet(Fault::SOCKETS_STARTUP); }

void SocketsCleanup() {}

SocketHandle UdpSocketOpen() {
  if (FaultSet(Fault::SOCKET_CREATE)) return kInvalidSocket;
  // Close-on-exec: a program this process starts must not hold our ports.
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return fd < 0 ? kInvalidSocket : static_cast<SocketHandle>(fd);
}

void SocketClose(SocketHandle socket) {
  if (socket != kInvalidSocket) ::close(Fd(socket));
}

bool SocketSetBroadcast(SocketHandle socket) { return SetIntOption(socket, SO_BROADCAST); }

bool SocketSetReuseAddress(SocketHandle socket) { return SetIntOption(socket, SO_REUSEADDR); }

bool SocketSetNonBlocking(SocketHandle socket) {
  const int flags = fcntl(Fd(socket), F_GETFL, 0);
  return flags >= 0 && fcntl(Fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

bool SocketBindAny(SocketHandle socket, std::uint16_t port) {
  return SocketBindAddress(socket, INADDR_ANY, port);
}

bool SocketBindAddress(SocketHandle socket, std::uint32_t address, std::uint16_t port) {
  if (FaultSet(Fault::SOCKET_BIND)) return false;
  // Linux may hand one ephemeral port to several sockets that all allow
  // address reuse, and then one hears another's answers. A port chosen for
  // us must be ours alone, as Winsock makes it; reuse only matters for a
  // port asked for by number.
  if (port == 0) {
    const int off = 0;
    if (setsockopt(Fd(socket), SOL_SOCKET, SO_REUSEADDR, &off, sizeof off) != 0) return false;
  }
  const sockaddr_in local = Ipv4(address, port);
  return ::bind(Fd(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
}

std::uint16_t SocketLocalPort(SocketHandle socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  if (local.sin_family != AF_INET) return 0;
  return ntohs(local.sin_port);
}

int SocketSendTo(SocketHandle socket, const void* data, std::size_t size, std::uint32_t address,
                 std::uint16_t port) {
  if (FaultSet(Fault::SOCKET_SEND)) return -1;
  const sockaddr_in to = Ipv4(address, port);
  const ssize_t sent =
      ::sendto(Fd(socket), data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  return sent < 0 ? -1 : static_cast<int>(sent);
}

int SocketReceiveFrom(SocketHandle socket, void* buffer, std::size_t size, std::uint32_t* sender,
                      std::uint16_t* senderPort) {
  if (FaultSet(Fault::SOCKET_RECEIVE)) return -1;
  sockaddr_in from{};
  iovec part{buffer, size};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  const ssize_t received = ::recvmsg(Fd(socket), &message, 0);
  if (received < 0) return -1;
  // A datagram longer than the buffer has been taken off the socket and cut
  // short; Winsock reports that as an error (WSAEMSGSIZE), and so do we.
  if ((message.msg_flags & MSG_TRUNC) != 0) return -1;
  if (sender != nullptr) *sender = ntohl(from.sin_addr.s_addr);
  if (senderPort != nullptr) *senderPort = ntohs(from.sin_port);
  return static_cast<int>(received);
}

int SocketWaitReadable(SocketHandle socket, std::uint32_t timeoutMs) {
  pollfd wanted{Fd(socket), POLLIN, 0};
  const int timeout = timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
  int ready;
  do {
    ready = ::poll(&wanted, 1, timeout);
    // A signal restarts the wait in full; callers bound their waits by their
    // own clocks.
  } while (ready < 0 && errno == EINTR);
  if (ready < 0 || (wanted.revents & POLLNVAL) != 0) return -1;
  // As with select, a pending error counts as readable: a receive returns at once.
  return ready == 0 ? 0 : 1;
}

}  // namespace velkarin::platform
