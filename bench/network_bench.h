// The start of a google-benchmark bench that sends datagrams.
#pragma once
#include <benchmark/benchmark.h>

#include <cstdio>

#include "private_network.h"

namespace velkarin::bench {

// Refuses to run outside a private network namespace (status 3), then takes
// google benchmark's arguments (status 1 for one it does not know). Returns
// the status to end with, or -1 to go on.
inline int StartInPrivateNetwork(const char* name, int& argc, char** argv) {
  if (!velkarin::test::InPrivateNetwork()) {
    std::fprintf(stderr,
                 "%s sends datagrams and runs only inside a private network namespace.\n"
                 "Run it through scripts/netns-run.sh.\n",
                 name);
    return 3;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  return -1;
}

}  // namespace velkarin::bench
