#include "network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace velkarin::devsim {
namespace {

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

sockaddr_in SocketAddress(std::uint32_t address, std::uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(address);
  a.sin_port = htons(port);
  return a;
}

bool SetFlag(int fd, int option) {
  int one = 1;
  return setsockopt(fd, SOL_SOCKET, option, &one, sizeof one) == 0;
}

}  // namespace

bool InPrivateNetwork() {
  struct if_nameindex* interfaces = if_nameindex();
  if (interfaces == nullptr) return false;
  bool onlyLoopback = true;
  bool sawLoopback = false;
  for (struct if_nameindex* i = interfaces; i->if_index != 0; ++i) {
    if (std::strcmp(i->if_name, "lo") == 0) {
      sawLoopback = true;
    } else {
      onlyLoopback = false;
    }
  }
  if_freenameindex(interfaces);
  return onlyLoopback && sawLoopback;
}

std::string EndpointText(const Endpoint& e) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", (e.address >> 24) & 255,
                (e.address >> 16) & 255, (e.address >> 8) & 255, e.address & 255, e.port);
  return text;
}

DeviceSockets::~DeviceSockets() {
  if (fd_ >= 0) close(fd_);
  if (unconfiguredFd_ >= 0) close(unconfiguredFd_);
}

bool DeviceSockets::Open(std::uint16_t port, std::string& error) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    error = Errno("socket");
    return false;
  }
  // Reuse lets several simulators share a fixed port; on port 0 it would let
  // Linux give this simulator a port that another program already holds.
  if ((port != 0 && !SetFlag(fd_, SO_REUSEADDR)) || !SetFlag(fd_, SO_BROADCAST)) {
    error = Errno("setsockopt");
    return false;
  }
  sockaddr_in local = SocketAddress(INADDR_ANY, port);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    error = Errno("bind");
    return false;
  }
  socklen_t size = sizeof local;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
    error = Errno("getsockname");
    return false;
  }
  port_ = ntohs(local.sin_port);
  return true;
}

bool DeviceSockets::OpenUnconfigured(std::string& error) {
  if (unconfiguredFd_ >= 0) return true;
  unconfiguredFd_ = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (unconfiguredFd_ < 0) {
    error = Errno("socket");
    return false;
  }
  const char device[] = "lo";
  if (!SetFlag(unconfiguredFd_, SO_BROADCAST) ||
      setsockopt(unconfiguredFd_, SOL_SOCKET, SO_BINDTODEVICE, device, sizeof device) != 0) {
    error = Errno("setsockopt for the unconfigured socket");
    return false;
  }
  sockaddr_in local = SocketAddress(INADDR_ANY, 0);
  if (bind(unconfiguredFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    error = Errno("bind for the unconfigured socket");
    return false;
  }
  return true;
}

bool DeviceSockets::Receive(std::string& datagram, Endpoint& sender) {
  static std::vector<char> buffer(65536);
  sockaddr_in from{};
  socklen_t size = sizeof from;
  ssize_t n =
      recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &size);
  if (n < 0) return false;
  datagram.assign(buffer.data(), static_cast<std::size_t>(n));
  sender.address = ntohl(from.sin_addr.s_addr);
  sender.port = ntohs(from.sin_port);
  return true;
}

bool DeviceSockets::Send(const std::string& datagram, const Endpoint& to) {
  sockaddr_in a = SocketAddress(to.address, to.port);
  return sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&a),
                sizeof a) == static_cast<ssize_t>(datagram.size());
}

bool DeviceSockets::SendUnconfigured(const std::string& datagram, std::uint16_t port) {
  if (unconfiguredFd_ < 0) return false;
  sockaddr_in a = SocketAddress(INADDR_BROADCAST, port);
  return sendto(unconfiguredFd_, datagram.data(), datagram.size(), 0,
                reinterpret_cast<sockaddr*>(&a), sizeof a) == static_cast<ssize_t>(datagram.size());
}

}  // namespace velkarin::devsim
