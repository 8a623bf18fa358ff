// The calling thread's stack as the system made it.
#pragma once
#include <cstddef>

namespace velkarin::test {

struct StackExtent {
  std::size_t total = 0;  // the whole stack, including what the runtime keeps there
  std::size_t left = 0;   // from the caller's frame down to the stack's lowest usable byte
};

StackExtent CurrentStackExtent();

}  // namespace velkarin::test
