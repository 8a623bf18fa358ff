#include "network.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/interfaces.h"

namespace velkarin::devsim {
namespace {

constexpr std::uint32_t kLimitedBroadcast = 0xFFFFFFFFu;

// The platform's calls leave errno as the failing system call set it.
std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

std::string EndpointText(const Endpoint& e) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (e.address >> 24) & 255,
                (e.address >> 16) & 255, (e.address >> 8) & 255, e.address & 255, e.port);
  return text;
}

DeviceSockets::~DeviceSockets() {
  platform::SocketClose(fd_);
  platform::SocketClose(unconfiguredFd_);
}

bool DeviceSockets::Open(std::uint16_t port, std::string& error) {
  fd_ = platform::UdpSocketOpen();
  if (fd_ == platform::kInvalidSocket) {
    error = Errno("socket");
    return false;
  }
  if (!platform::SocketSetNonBlocking(fd_)) {
    error = Errno("fcntl");
    return false;
  }
  // Reuse lets several simulators share a fixed port; on port 0 it would let
  // Linux give this simulator a port that another program already holds.
  if ((port != 0 && !platform::SocketSetReuseAddress(fd_)) || !platform::SocketSetBroadcast(fd_)) {
    error = Errno("setsockopt");
    return false;
  }
  if (!platform::SocketBindAny(fd_, port)) {
    error = Errno("bind");
    return false;
  }
  port_ = platform::SocketLocalPort(fd_);
  if (port_ == 0) {
    error = Errno("getsockname");
    return false;
  }
  return true;
}

bool DeviceSockets::OpenUnconfigured(std::string& error) {
  if (unconfiguredFd_ != platform::kInvalidSocket) return true;
  unconfiguredFd_ = platform::UdpSocketOpen();
  if (unconfiguredFd_ == platform::kInvalidSocket) {
    error = Errno("socket");
    return false;
  }
  if (!platform::SocketSetNonBlocking(unconfiguredFd_) ||
      !platform::SocketSetBroadcast(unconfiguredFd_) ||
      !platform::SocketBindToDevice(unconfiguredFd_, "lo")) {
    error = Errno("setsockopt for the unconfigured socket");
    return false;
  }
  if (!platform::SocketBindAny(unconfiguredFd_, 0)) {
    error = Errno("bind for the unconfigured socket");
    return false;
  }
  return true;
}

bool DeviceSockets::Receive(std::string& datagram, Endpoint& sender) {
  static std::vector<char> buffer(65536);
  // Non-blocking: -1 when nothing was waiting; 0 is an empty datagram.
  const int n =
      platform::SocketReceiveFrom(fd_, buffer.data(), buffer.size(), &sender.address, &sender.port);
  if (n < 0) return false;
  datagram.assign(buffer.data(), static_cast<std::size_t>(n));
  return true;
}

bool DeviceSockets::Send(const std::string& datagram, const Endpoint& to) {
  return platform::SocketSendTo(fd_, datagram.data(), datagram.size(), to.address, to.port) ==
         static_cast<int>(datagram.size());
}

bool DeviceSockets::SendUnconfigured(const std::string& datagram, std::uint16_t port) {
  if (unconfiguredFd_ == platform::kInvalidSocket) return false;
  return platform::SocketSendTo(unconfiguredFd_, datagram.data(), datagram.size(),
                                kLimitedBroadcast, port) == static_cast<int>(datagram.size());
}

}  // namespace velkarin::devsim
