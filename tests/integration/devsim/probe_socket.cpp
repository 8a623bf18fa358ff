#include "probe_socket.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "protocol/address.h"

namespace velkarin::test {

ProbeSocket::ProbeSocket() {
  started_ = platform::SocketsStartup();
  if (!started_) return;
  socket_ = platform::UdpSocketOpen();
  if (socket_ == platform::kInvalidSocket) return;
  platform::SocketSetBroadcast(socket_);
  if (!platform::SocketBindAny(socket_, 0)) return;
  port_ = platform::SocketLocalPort(socket_);
}

ProbeSocket::~ProbeSocket() {
  platform::SocketClose(socket_);
  if (started_) platform::SocketsCleanup();
}

bool ProbeSocket::Broadcast(const std::string& bytes, std::uint16_t port) {
  return SendTo(bytes, "255.255.255.255", port);
}

bool ProbeSocket::SendTo(const std::string& bytes, const char* address, std::uint16_t port) {
  const std::optional<std::uint32_t> to = ParseIpv4(address);
  return to.has_value() && platform::SocketSendTo(socket_, bytes.data(), bytes.size(), *to, port) ==
                               static_cast<int>(bytes.size());
}

std::optional<ProbeDatagram> ProbeSocket::Receive(unsigned timeoutMs) {
  if (platform::SocketWaitReadable(socket_, timeoutMs) != 1) return std::nullopt;
  std::vector<char> buffer(65536);
  std::uint32_t from = 0;
  ProbeDatagram datagram;
  const int n = platform::SocketReceiveFrom(socket_, buffer.data(), buffer.size(), &from,
                                            &datagram.senderPort);
  if (n < 0) return std::nullopt;
  datagram.bytes.assign(buffer.data(), static_cast<std::size_t>(n));
  char text[20];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (from >> 24) & 255, (from >> 16) & 255,
                (from >> 8) & 255, from & 255);
  datagram.sender = text;
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
