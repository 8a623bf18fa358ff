#include "private_network.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifndef _WIN32
#include <net/if.h>
#endif

namespace velkarin::test {

bool InPrivateNetwork() {
#ifdef _WIN32
  // Wine sees no Linux interfaces; the namespace runner marks the environment.
  const char* mark = std::getenv("VELKARIN_IN_NETNS");
  return mark != nullptr && std::strcmp(mark, "1") == 0;
#else
  // Asks the kernel for the interfaces of this process's own namespace.
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
#endif
}

void RequirePrivateNetworkOrDie() {
  if (!InPrivateNetwork()) {
    std::fprintf(stderr,
                 "This test sends datagrams and runs only inside a private network namespace.\n"
                 "Run it through scripts/netns-run.sh.\n");
    std::exit(3);
  }
}

}  // namespace velkarin::test
