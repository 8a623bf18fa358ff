#include "platform/thread.h"

#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <new>

#include "platform/faults.h"

namespace velkarin::platform {
namespace {

struct Start {
  ThreadFunction function;
  void* argument;
};

void* Trampoline(void* raw) {
  const Start start = *static_cast<Start*>(raw);
  delete static_cast<Start*>(raw);
  start.function(start.argument);
  return nullptr;
}

// pthreads wants at least PTHREAD_STACK_MIN, in whole pages.
std::size_t UsableStackSize(std::size_t requested) {
  const std::size_t minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  std::size_t size = requested < minimum ? minimum : requested;
  const long page = sysconf(_SC_PAGESIZE);
  if (page > 0) {
    const std::size_t p = static_cast<std::size_t>(page);
    size = (size + p - 1) / p * p;
  }
  return size;
}

}  // namespace

ThreadHandle ThreadCreate(ThreadFunction function, void* argument, std::size_t stackSize) {
  ThreadHandle handle;
  if (FaultSet(Fault::ThreadCreate) || function == nullptr) return handle;

  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return handle;
  if (stackSize != 0) pthread_attr_setstacksize(&attributes, UsableStackSize(stackSize));

  Start* start = new (std::nothrow) Start{function, argument};
  pthread_t thread{};
  if (start != nullptr && pthread_create(&thread, &attributes, Trampoline, start) == 0) {
    handle.value = static_cast<std::intptr_t>(thread);
  } else {
    delete start;
  }
  pthread_attr_destroy(&attributes);
  return handle;
}

void ThreadJoin(ThreadHandle& thread) {
  if (!thread.valid()) return;
  pthread_join(static_cast<pthread_t>(thread.value), nullptr);
  thread.value = -1;
}

}  // namespace velkarin::platform
