// Shared pieces of the simulator's tests.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "devsim_process.h"
#include "private_network.h"
#include "probe_socket.h"

namespace velkarin::test {

class DevsimTest : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_PRIVATE_NETWORK(); }
};

// Sends `datagram` to the simulator's port by broadcast and returns what came
// back until the line was quiet for `quietMs`.
inline std::vector<ProbeDatagram> Exchange(ProbeSocket& probe, const DevsimProcess& sim,
                                           const std::string& datagram, unsigned quietMs = 400) {
  EXPECT_TRUE(probe.Broadcast(datagram, sim.port()));
  return probe.ReceiveAll(quietMs);
}

inline std::vector<ProbeDatagram> Discover(ProbeSocket& probe, const DevsimProcess& sim,
                                           unsigned quietMs = 400) {
  return Exchange(probe, sim, std::string("0 1 A"), quietMs);
}

inline std::vector<std::string> BytesOf(const std::vector<ProbeDatagram>& datagrams) {
  std::vector<std::string> bytes;
  for (const ProbeDatagram& d : datagrams) bytes.push_back(d.bytes);
  return bytes;
}

// The announcement's first section: the device's serial, DHCP and addresses.
inline std::string Section1(const std::string& announcement) {
  return announcement.substr(0, announcement.find('\0'));
}

}  // namespace velkarin::test

#define ASSERT_SIM_READY(sim) ASSERT_TRUE((sim).ready()) << (sim).error()
