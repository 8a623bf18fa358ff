// Where discovery goes: the interfaces a search uses and the destination out
// of each. One choice for the page's engine and the tool's scans, so that
// both see the devices behind every adapter of the host.
#pragma once
#include <string>
#include <vector>

#include "platform/interfaces.h"
#include "protocol/udp_channel.h"

namespace velkarin {

// Where one channel of a search sends: a destination (with its outgoing
// interface, or 0) and the interface's name as listings show it ("" when the
// system chooses).
struct ScanTarget {
  std::string interfaceName;
  Destination destination;
};

// The interfaces a search uses by default: every one that can broadcast, or,
// on a host with none (a private test network), the loopback ones.
std::vector<platform::NetInterface> DefaultScanInterfaces(
    const std::vector<platform::NetInterface>& all);

// One target per interface, each sending to `destination` out of it. With
// `names`, exactly the interfaces named, in that order; `unknown` then holds
// the first name that is no IPv4 interface that is up.
std::vector<ScanTarget> ScanTargetsFor(const std::vector<platform::NetInterface>& all,
                                       const std::vector<std::string>& names,
                                       const Destination& destination, std::string& unknown);

// The engine's targets: for the limited broadcast with no interface chosen,
// one per default interface where there are several, since such a broadcast
// leaves an unbound socket by one adapter only; otherwise `destination`
// alone, as the system routes it.
std::vector<ScanTarget> EngineTargets(const std::vector<platform::NetInterface>& all,
                                      const Destination& destination);

}  // namespace velkarin
