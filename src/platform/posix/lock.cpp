#include "platform/lock.h"

#include <pthread.h>

#include <new>

namespace velkarin::platform {
namespace {

pthread_mutex_t* MutexOf(unsigned char* storage) {
  return std::launder(reinterpret_cast<pthread_mutex_t*>(storage));
}

}  // namespace

Lock::Lock() {
  static_assert(sizeof(pthread_mutex_t) <= sizeof(storage_), "Lock storage too small");
  static_assert(alignof(pthread_mutex_t) <= 16, "Lock storage misaligned");
  pthread_mutex_init(new (storage_) pthread_mutex_t, nullptr);
}

Lock::~Lock() { pthread_mutex_destroy(MutexOf(storage_)); }

void Lock::Acquire() { pthread_mutex_lock(MutexOf(storage_)); }

void Lock::Release() { pthread_mutex_unlock(MutexOf(storage_)); }

}  // namespace velkarin::platform
