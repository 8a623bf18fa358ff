#include "platform/lock.h"

#include <windows.h>

#include <new>

namespace velkarin::platform {
namespace {

CRITICAL_SECTION* SectionOf(unsigned char* storage) {
  return std::launder(reinterpret_cast<CRITICAL_SECTION*>(storage));
}

}  // namespace

Lock::Lock() {
  static_assert(sizeof(CRITICAL_SECTION) <= sizeof(storage_), "Lock storage too small");
  static_assert(alignof(CRITICAL_SECTION) <= 16, "Lock storage misaligned");
  InitializeCriticalSection(new (storage_) CRITICAL_SECTION);
}

Lock::~Lock() { DeleteCriticalSection(SectionOf(storage_)); }

void Lock::Acquire() { EnterCriticalSection(SectionOf(storage_)); }

void Lock::Release() { LeaveCriticalSection(SectionOf(storage_)); }

}  // namespace velkarin::platform
