// Where the engine sends discovery: out of every adapter that can broadcast,
// or as the system routes it.
#include "engine/scan_targets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velkarin {
namespace {

platform::NetInterface Interface(const char* name, std::uint32_t index, bool loopback,
                                 bool broadcast) {
  platform::NetInterface i;
  i.name = name;
  i.index = index;
  i.loopback = loopback;
  i.broadcast = broadcast;
  return i;
}

const platform::NetInterface kLo = Interface("lo", 1, true, false);
const platform::NetInterface kEth = Interface("eth0", 2, false, true);
const platform::NetInterface kWlan = Interface("wlan0", 3, false, true);
const platform::NetInterface kTun = Interface("tun0", 4, false, false);

struct Case {
  const char* what;
  std::vector<platform::NetInterface> up;
  Destination destination;
  std::vector<std::string> names;      // "" for the system's choice
  std::vector<std::uint32_t> indexes;  // each target's outgoing interface
};

Destination To(std::uint32_t address, std::uint32_t interfaceIndex = 0) {
  Destination d;
  d.address = address;
  d.interfaceIndex = interfaceIndex;
  return d;
}

TEST(EngineTargets, OnePerAdapterThatBroadcastsOrTheSystemsChoice) {
  const Case cases[] = {
      {"a laptop: wired, wireless, a tunnel",
       {kLo, kEth, kWlan, kTun},
       To(kBroadcastAddress),
       {"eth0", "wlan0"},
       {2, 3}},
      {"one adapter", {kLo, kEth, kTun}, To(kBroadcastAddress), {""}, {0}},
      {"a private test network", {kLo}, To(kBroadcastAddress), {""}, {0}},
      {"no list", {}, To(kBroadcastAddress), {""}, {0}},
      {"a directed broadcast is routed", {kLo, kEth, kWlan}, To(0x0A0000FFu), {""}, {0}},
      {"an interface named", {kLo, kEth, kWlan}, To(kBroadcastAddress, 3), {""}, {3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<ScanTarget> targets = EngineTargets(c.up, c.destination);
    std::vector<std::string> names;
    std::vector<std::uint32_t> indexes;
    for (const ScanTarget& t : targets) {
      names.push_back(t.interfaceName);
      indexes.push_back(t.destination.interfaceIndex);
      EXPECT_EQ(t.destination.address, c.destination.address);
      EXPECT_EQ(t.destination.port, c.destination.port);
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(indexes, c.indexes);
  }
}

}  // namespace
}  // namespace velkarin
