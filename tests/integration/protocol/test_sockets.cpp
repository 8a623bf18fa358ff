#include "test_sockets.h"

#include <cstring>
#include <vector>

#ifdef _WIN32
#include <mswsock.h>
#include <winsock2.h>
#include <ws2tcpip.h>
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
  // Reuse lets a test's receiver share a fixed port; on port 0 it would let
  // the system hand out a port that another socket already holds.
  if (port != 0) platform::SocketSetReuseAddress(socket);
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

Datagram ReceiveWithDestination(platform::SocketHandle socket, std::uint32_t timeoutMs) {
  Datagram d;
  const int on = 1;
  char buffer[2048];
  sockaddr_in from{};
#ifdef _WIN32
  const SOCKET s = static_cast<SOCKET>(socket);
  if (setsockopt(s, IPPROTO_IP, IP_PKTINFO, reinterpret_cast<const char*>(&on), sizeof on) != 0) {
    return d;
  }
  LPFN_WSARECVMSG receiveMessage = nullptr;
  GUID id = WSAID_WSARECVMSG;
  DWORD returned = 0;
  if (WSAIoctl(s, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &receiveMessage,
               sizeof receiveMessage, &returned, nullptr, nullptr) != 0) {
    return d;
  }
  if (platform::SocketWaitReadable(socket, timeoutMs) != 1) return d;
  char control[WSA_CMSG_SPACE(sizeof(IN_PKTINFO))] = {};
  WSABUF part{sizeof buffer, buffer};
  WSAMSG message{};
  message.name = reinterpret_cast<sockaddr*>(&from);
  message.namelen = sizeof from;
  message.lpBuffers = &part;
  message.dwBufferCount = 1;
  message.Control = WSABUF{sizeof control, control};
  DWORD received = 0;
  if (receiveMessage(s, &message, &received, nullptr, nullptr) != 0) return d;
  for (WSACMSGHDR* c = WSA_CMSG_FIRSTHDR(&message); c != nullptr;
       c = WSA_CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      const auto* info = reinterpret_cast<const IN_PKTINFO*>(WSA_CMSG_DATA(c));
      d.destination = ntohl(info->ipi_addr.s_addr);
    }
  }
  d.count = static_cast<int>(received);
#else
  const int s = static_cast<int>(socket);
  if (setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0) return d;
  if (platform::SocketWaitReadable(socket, timeoutMs) != 1) return d;
  char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  iovec part{buffer, sizeof buffer};
  msghdr message{};
  message.msg_name = &from;
  message.msg_namelen = sizeof from;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  const ssize_t received = recvmsg(s, &message, 0);
  if (received < 0) return d;
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
      in_pktinfo info;
      std::memcpy(&info, CMSG_DATA(c), sizeof info);
      d.destination = ntohl(info.ipi_addr.s_addr);
    }
  }
  d.count = static_cast<int>(received);
#endif
  d.bytes.assign(buffer, static_cast<std::size_t>(d.count));
  d.sender = ntohl(from.sin_addr.s_addr);
  d.senderPort = ntohs(from.sin_port);
  return d;
}

}  // namespace velkarin::test
