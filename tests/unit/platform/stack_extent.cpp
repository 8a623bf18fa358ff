#include "stack_extent.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace velkarin::test {

StackExtent CurrentStackExtent() {
  StackExtent extent;
  const char here = 0;
  const char* const position = &here;
#ifdef _WIN32
  // The stack is one reservation: add up the regions that share the
  // allocation base of a local variable. Its lowest pages are guards.
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(position, &region, sizeof region) == 0) return extent;
  const char* const base = static_cast<const char*>(region.AllocationBase);
  const char* next = base;
  while (VirtualQuery(next, &region, sizeof region) != 0 && region.AllocationBase == base) {
    extent.total += region.RegionSize;
    next += region.RegionSize;
  }
  extent.left = static_cast<std::size_t>(position - base);
#else
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return extent;
  void* lowest = nullptr;
  pthread_attr_getstack(&attributes, &lowest, &extent.total);
  pthread_attr_destroy(&attributes);
  extent.left = static_cast<std::size_t>(position - static_cast<const char*>(lowest));
#endif
  return extent;
}

}  // namespace velkarin::test
