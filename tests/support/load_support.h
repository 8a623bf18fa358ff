// Pieces shared by the load tests and the load benchmark: the process's
// resident memory, and figures about what the simulator sent.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engine_aim.h"
#include "waiting.h"

namespace velkarin::test {

// Resident memory of this process in bytes (0 where it cannot be read).
std::uint64_t ResidentBytes();

// What a simulator's log says it sent: datagrams and the span between the
// first and the last one, read line by line (the log of a flood is large).
struct SentFigures {
  std::uint64_t datagrams = 0;
  double firstSecond = 0;  // seconds of the day, as logged
  double lastSecond = 0;
  double spanSeconds() const;
  double perSecond() const;
};
SentFigures CountSent(const std::string& logPath);

}  // namespace velkarin::test
