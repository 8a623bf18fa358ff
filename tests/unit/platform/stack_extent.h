// The size of the calling thread's stack as the system reserved it.
#pragma once
#include <cstddef>

namespace velkarin::test {

std::size_t CurrentThreadStackSize();

}  // namespace velkarin::test
