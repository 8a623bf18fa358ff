#include "platform/interfaces.h"

#include <arpa/inet.h>
#include <errno.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cstring>

#include "platform/netmask.h"

namespace velkarin::platform {
namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

std::vector<NetInterface> ListIpv4Interfaces() {
  std::vector<NetInterface> found;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return found;
  for (const ifaddrs* a = all; a != nullptr; a = a->ifa_next) {
    if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET) continue;
    if ((a->ifa_flags & IFF_UP) == 0) continue;
    NetInterface i;
    i.index = if_nametoindex(a->ifa_name);
    if (i.index == 0) continue;
    // A labelled alias ("eth0:1") is another address of eth0, with eth0's
    // index: one interface, one entry, under the interface's own name.
    bool known = false;
    for (const NetInterface& f : found) known = known || f.index == i.index;
    if (known) continue;
    char name[IF_NAMESIZE] = {};
    i.name = if_indextoname(i.index, name) != nullptr ? name : a->ifa_name;
    i.address = ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
    if (a->ifa_netmask != nullptr) {
      i.prefixLength =
          LeadingOnes(ntohl(reinterpret_cast<const sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr));
    }
    i.loopback = (a->ifa_flags & IFF_LOOPBACK) != 0;
    i.broadcast = (a->ifa_flags & IFF_BROADCAST) != 0;
    found.push_back(i);
  }
  freeifaddrs(all);
  return found;
}

bool SocketSetOutgoingInterface(SocketHandle socket, std::uint32_t interfaceIndex) {
  char name[IF_NAMESIZE] = {};
  if (if_indextoname(interfaceIndex, name) == nullptr) return false;
  if (setsockopt(Fd(socket), SOL_SOCKET, SO_BINDTODEVICE, name,
                 static_cast<socklen_t>(std::strlen(name) + 1)) == 0) {
    return true;
  }
  // Kernels before 5.7 allow SO_BINDTODEVICE to privileged processes only.
  const int index = static_cast<int>(htonl(interfaceIndex));
  return setsockopt(Fd(socket), IPPROTO_IP, IP_UNICAST_IF, &index, sizeof index) == 0;
}

bool SocketBindToDevice(SocketHandle socket, const char* name) {
  return setsockopt(Fd(socket), SOL_SOCKET, SO_BINDTODEVICE, name,
                    static_cast<socklen_t>(std::strlen(name) + 1)) == 0;
}

void SocketSetReceiveBuffer(SocketHandle socket, int bytes) {
  // Beyond net.core.rmem_max only with CAP_NET_ADMIN; otherwise take the cap.
  if (setsockopt(Fd(socket), SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0) {
    setsockopt(Fd(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  }
}

int SocketsWaitReadable(const SocketHandle* sockets, bool* readable, std::size_t count,
                        std::uint32_t timeoutMs) {
  std::vector<pollfd> wanted(count);
  for (std::size_t i = 0; i < count; ++i) wanted[i] = pollfd{Fd(sockets[i]), POLLIN, 0};
  const int timeout = timeoutMs > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(timeoutMs);
  int ready;
  do {
    ready = ::poll(wanted.data(), static_cast<nfds_t>(count), timeout);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) return -1;
  for (std::size_t i = 0; i < count; ++i) {
    if ((wanted[i].revents & POLLNVAL) != 0) return -1;
    readable[i] = wanted[i].revents != 0;
  }
  return ready;
}

}  // namespace velkarin::platform
