#include "private_network.h"

#include <cstdio>
#include <cstdlib>

namespace velkarin::test {

void RequirePrivateNetworkOrDie() {
  if (!InPrivateNetwork()) {
    std::fprintf(stderr,
                 "This test sends datagrams and runs only inside a private network namespace.\n"
                 "Run it through scripts/netns-run.sh.\n");
    std::exit(3);
  }
}

}  // namespace velkarin::test
