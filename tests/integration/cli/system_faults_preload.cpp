// Preloaded into velkarin by the apply tests (LD_PRELOAD), to make the system
// fail under the tool where no option of the tool could:
//   VELKARIN_FAIL_THREADS_AFTER=N  pthread_create succeeds N times, then fails
//                                  as the system does when out of threads
//   VELKARIN_FAIL_THREAD_MEMORY=1  the first allocation on each new thread
//                                  fails, as when memory runs out
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

extern "C" void* __libc_malloc(std::size_t size);

namespace {

std::atomic<int> threadsCreated{0};
// initial-exec: reading it must not allocate, since malloc reads it.
__attribute__((tls_model("initial-exec"))) thread_local bool failNextAllocation = false;

struct Start {
  void* (*routine)(void*);
  void* argument;
};

void* StartFailingOnce(void* raw) {
  const Start start = *static_cast<Start*>(raw);
  std::free(raw);
  failNextAllocation = true;
  return start.routine(start.argument);
}

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes,
                              void* (*routine)(void*), void* argument) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const Create create = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  if (const char* limit = std::getenv("VELKARIN_FAIL_THREADS_AFTER")) {
    if (threadsCreated.fetch_add(1) >= std::atoi(limit)) return EAGAIN;
  }
  if (std::getenv("VELKARIN_FAIL_THREAD_MEMORY") == nullptr) {
    return create(thread, attributes, routine, argument);
  }
  Start* start = static_cast<Start*>(__libc_malloc(sizeof(Start)));
  if (start == nullptr) return EAGAIN;
  *start = {routine, argument};
  return create(thread, attributes, StartFailingOnce, start);
}

extern "C" void* malloc(std::size_t size) {
  if (failNextAllocation) {
    failNextAllocation = false;
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(size);
}
