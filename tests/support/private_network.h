// Tests that send datagrams run only inside a private network namespace.
#pragma once

namespace velkarin::test {

// True when this process runs in a namespace with loopback alone (on Linux:
// no interface but lo; under Wine: started through scripts/netns-run.sh).
bool InPrivateNetwork();

}  // namespace velkarin::test

// Ends the whole test program when the network is not private: nothing may
// broadcast on a real network.
#define REQUIRE_PRIVATE_NETWORK() ::velkarin::test::RequirePrivateNetworkOrDie()

namespace velkarin::test {
void RequirePrivateNetworkOrDie();
}
