#include "probe_socket.h"

#include <chrono>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
using socklen_t = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace velkarin::test {
namespace {

#ifdef _WIN32
using NativeSocket = SOCKET;
#else
using NativeSocket = int;
#endif

NativeSocket Native(std::intptr_t s) { return static_cast<NativeSocket>(s); }

sockaddr_in Address(std::uint32_t hostOrder, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(hostOrder);
  a.sin_port = htons(port);
  return a;
}

void CloseSocket(std::intptr_t s) {
#ifdef _WIN32
  closesocket(Native(s));
#else
  close(Native(s));
#endif
}

}  // namespace

ProbeSocket::ProbeSocket() {
#ifdef _WIN32
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s == INVALID_SOCKET) return;
#else
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  if (s < 0) return;
#endif
  socket_ = static_cast<std::intptr_t>(s);
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&one), sizeof one);
  sockaddr_in local = Address(INADDR_ANY, 0);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return;
  socklen_t size = sizeof local;
  if (getsockname(s, reinterpret_cast<sockaddr*>(&local), &size) == 0) {
    port_ = ntohs(local.sin_port);
  }
}

ProbeSocket::~ProbeSocket() {
  if (socket_ != -1) CloseSocket(socket_);
#ifdef _WIN32
  WSACleanup();
#endif
}

bool ProbeSocket::Broadcast(const std::string& bytes, std::uint16_t port) {
  return SendTo(bytes, "255.255.255.255", port);
}

bool ProbeSocket::SendTo(const std::string& bytes, const char* address, std::uint16_t port) {
  sockaddr_in to = Address(0, port);
  to.sin_addr.s_addr = inet_addr(address);
  const int sent = sendto(Native(socket_), bytes.data(), static_cast<int>(bytes.size()), 0,
                          reinterpret_cast<sockaddr*>(&to), sizeof to);
  return sent == static_cast<int>(bytes.size());
}

std::optional<ProbeDatagram> ProbeSocket::Receive(unsigned timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Native(socket_), &readable);
  timeval timeout{static_cast<long>(timeoutMs / 1000), static_cast<long>(timeoutMs % 1000) * 1000};
  if (select(static_cast<int>(socket_) + 1, &readable, nullptr, nullptr, &timeout) <= 0) {
    return std::nullopt;
  }
  std::vector<char> buffer(65536);
  sockaddr_in from{};
  socklen_t size = sizeof from;
  const int n = recvfrom(Native(socket_), buffer.data(), static_cast<int>(buffer.size()), 0,
                         reinterpret_cast<sockaddr*>(&from), &size);
  if (n < 0) return std::nullopt;
  ProbeDatagram datagram;
  datagram.bytes.assign(buffer.data(), static_cast<std::size_t>(n));
  const std::uint32_t a = ntohl(from.sin_addr.s_addr);
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (a >> 24) & 255, (a >> 16) & 255, (a >> 8) & 255,
                a & 255);
  datagram.sender = text;
  datagram.senderPort = ntohs(from.sin_port);
  return datagram;
}

std::vector<ProbeDatagram> ProbeSocket::ReceiveAll(unsigned quietMs, unsigned maxMs) {
  std::vector<ProbeDatagram> all;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
  while (std::chrono::steady_clock::now() < end) {
    std::optional<ProbeDatagram> d = Receive(quietMs);
    if (!d) break;
    all.push_back(*d);
  }
  return all;
}

}  // namespace velkarin::test
