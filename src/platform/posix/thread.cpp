#include "platform/thread.h"

#include <dlfcn.h>
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

// glibc carves the thread's static TLS out of the top of its stack; under a
// sanitizer that is hundreds of kilobytes. It tells how much through this
// private function, where it has one.
std::size_t TlsTakenFromStack(const pthread_attr_t* attributes) {
  using MinimumStack = std::size_t (*)(const pthread_attr_t*);
  static const MinimumStack minimumStack =
      reinterpret_cast<MinimumStack>(dlsym(RTLD_DEFAULT, "__pthread_get_minstack"));
  if (minimumStack == nullptr) return 0;
  const std::size_t minimum = minimumStack(attributes);
  const std::size_t base = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  return minimum > base ? minimum - base : 0;
}

// The thread gets `requested` bytes for its own frames: what the runtime
// keeps on the stack comes on top. pthreads wants whole pages.
std::size_t StackSizeFor(std::size_t requested, const pthread_attr_t* attributes) {
  const std::size_t minimum = static_cast<std::size_t>(PTHREAD_STACK_MIN);
  std::size_t size = (requested < minimum ? minimum : requested) + TlsTakenFromStack(attributes);
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
  if (FaultSet(Fault::THREAD_CREATE) || function == nullptr) return handle;

  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) != 0) return handle;
  if (stackSize != 0) pthread_attr_setstacksize(&attributes, StackSizeFor(stackSize, &attributes));

  // cppcheck misreads nothrow new with braces; the thread takes `start` over.
  // cppcheck-suppress [unreadVariable, unusedAllocatedMemory]
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
