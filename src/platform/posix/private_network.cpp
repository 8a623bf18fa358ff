#include "platform/private_network.h"

#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

namespace velkarin::platform {
namespace {

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

}  // namespace velkarin::platform
