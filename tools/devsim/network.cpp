#include "network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
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

// The driver behind an interface of this namespace ("veth"), "" when unknown.
// Asked through a socket, which lives in this namespace; /sys may show
// another one's interfaces.
std::string DriverOf(const char* name) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return "";
  ethtool_drvinfo info{};
  info.cmd = ETHTOOL_GDRVINFO;
  ifreq request{};
  std::strncpy(request.ifr_name, name, IFNAMSIZ - 1);
  request.ifr_data = reinterpret_cast<char*>(&info);
  const bool ok = ioctl(fd, SIOCETHTOOL, &request) == 0;
  close(fd);
  return ok ? std::string(info.driver) : "";
}

// True when a route of this namespace leads through a gateway: a way out to
// a routed network.
bool HasGatewayRoute() {
  std::ifstream routes("/proc/net/route");
  if (!routes) return true;
  std::string line;
  std::getline(routes, line);  // the header
  while (std::getline(routes, line)) {
    std::istringstream fields(line);
    std::string device, destination, gateway;
    fields >> device >> destination >> gateway;
    if (!gateway.empty() && gateway != "00000000") return true;
  }
  return false;
}

// True when this process shares the network namespace of process 1, the
// machine's own (or a container's) network.
bool InInitialNamespace() {
  char own[64] = {}, first[64] = {};
  if (readlink("/proc/self/ns/net", own, sizeof own - 1) < 0) return true;
  if (readlink("/proc/1/ns/net", first, sizeof first - 1) < 0) return false;
  return std::strcmp(own, first) == 0;
}

}  // namespace

bool InPrivateNetwork() {
  struct if_nameindex* interfaces = if_nameindex();
  if (interfaces == nullptr) return false;
  bool sawLoopback = false;
  bool onlyLoopback = true;
  bool othersAreVeth = true;
  for (struct if_nameindex* i = interfaces; i->if_index != 0; ++i) {
    if (std::strcmp(i->if_name, "lo") == 0) {
      sawLoopback = true;
    } else {
      onlyLoopback = false;
      if (DriverOf(i->if_name) != "veth") othersAreVeth = false;
    }
  }
  if_freenameindex(interfaces);
  if (!sawLoopback) return false;
  if (onlyLoopback) return true;
  // A segment of a multi-interface test: a namespace of its own whose other
  // links are veth ends (leading to another namespace, not to hardware) and
  // which routes nowhere through a gateway. A container's veth has a
  // gateway route, and a container's tools run in the namespace of its
  // process 1.
  return othersAreVeth && !HasGatewayRoute() && !InInitialNamespace();
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
