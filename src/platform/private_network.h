// Whether this process's network is private, so that what it sends reaches
// nothing but this machine: the simulator refuses to run elsewhere, and the
// tests that send datagrams end at once.
#pragma once

namespace velkarin::platform {

// Linux: true when this process's network namespace has no interface but lo,
// or is a segment of a multi-interface test: its own namespace (not that of
// process 1) whose other links are all veth ends and which routes nowhere
// through a gateway. Windows (Wine, which shows no Linux interfaces): true
// when scripts/netns-run.sh marked the environment (VELKARIN_IN_NETNS=1).
bool InPrivateNetwork();

}  // namespace velkarin::platform
