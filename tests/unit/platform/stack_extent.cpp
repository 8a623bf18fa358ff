#include "stack_extent.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace velkarin::test {

std::size_t CurrentThreadStackSize() {
#ifdef _WIN32
  // The stack is one reservation: add up the regions that share the
  // allocation base of a local variable.
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(&region, &region, sizeof region) == 0) return 0;
  const void* base = region.AllocationBase;
  const char* next = static_cast<const char*>(base);
  std::size_t size = 0;
  while (VirtualQuery(next, &region, sizeof region) != 0 && region.AllocationBase == base) {
    size += region.RegionSize;
    next += region.RegionSize;
  }
  return size;
#else
  pthread_attr_t attributes;
  if (pthread_getattr_np(pthread_self(), &attributes) != 0) return 0;
  std::size_t size = 0;
  pthread_attr_getstacksize(&attributes, &size);
  pthread_attr_destroy(&attributes);
  return size;
#endif
}

}  // namespace velkarin::test
