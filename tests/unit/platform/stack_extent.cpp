#include "stack_extent.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace velkarin::test {

std::size_t CurrentThreadStackSize() {
#ifdef _WIN32
  // The stack is one reservation from its allocation base up to the base
  // recorded in the thread's information block.
  const NT_TIB* tib = reinterpret_cast<const NT_TIB*>(NtCurrentTeb());
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(&region, &region, sizeof region) == 0) return 0;
  return static_cast<std::size_t>(static_cast<const char*>(tib->StackBase) -
                                  static_cast<const char*>(region.AllocationBase));
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
