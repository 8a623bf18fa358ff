// Tests that send datagrams run only inside a private network namespace, the
// one the simulator insists on too (platform/private_network.h).
#pragma once
#include "platform/private_network.h"

namespace velkarin::test {

using platform::InPrivateNetwork;

// Ends the whole test program when the network is not private: nothing may
// broadcast on a real network.
void RequirePrivateNetworkOrDie();

}  // namespace velkarin::test

#define REQUIRE_PRIVATE_NETWORK() ::velkarin::test::RequirePrivateNetworkOrDie()
