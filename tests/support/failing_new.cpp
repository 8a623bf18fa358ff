#include "failing_new.h"

#include <cstdlib>
#include <new>

void* operator new(std::size_t size) {
  if (velkarin::test::FailThisAllocation()) throw std::bad_alloc();
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
// The compiler sees malloc in one and free in the other of a replaced pair
// and takes it for a mismatch; it is the pair.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop
