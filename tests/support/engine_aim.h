// Where a test's engine looks and how fast it cycles.
#pragma once
#include <cstdint>

#include "engine/device_finder.h"

namespace velkarin::test {

// Discovery aimed at the broadcast address on the test's own port.
inline Destination BroadcastTo(std::uint16_t port) {
  Destination destination;
  destination.address = kBroadcastAddress;
  destination.port = port;
  return destination;
}

// Short constants for tests that need many cycles; one cycle takes about
// 2 x 10 x 5 ms + 10 ms of collection and ends 300 ms after it began.
inline FinderTiming FastTiming() {
  FinderTiming timing;
  timing.cyclePeriodMs = 300;
  timing.idleSleepMs = 5;
  timing.pauseAfterPassesMs = 10;
  timing.pollMs = 10;
  return timing;
}

}  // namespace velkarin::test
