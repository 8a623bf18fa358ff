#include "platform/thread.h"

#include <process.h>
#include <windows.h>

#include <new>

#include "platform/faults.h"

namespace velkarin::platform {
namespace {

struct Start {
  ThreadFunction function;
  void* argument;
};

unsigned __stdcall Trampoline(void* raw) {
  const Start start = *static_cast<Start*>(raw);
  delete static_cast<Start*>(raw);
  start.function(start.argument);
  return 0;
}

}  // namespace

ThreadHandle ThreadCreate(ThreadFunction function, void* argument, std::size_t stackSize) {
  ThreadHandle handle;
  if (FaultSet(Fault::THREAD_CREATE) || function == nullptr) return handle;
  // cppcheck misreads nothrow new with braces; the thread takes `start` over.
  // cppcheck-suppress [unreadVariable, unusedAllocatedMemory]
  Start* start = new (std::nothrow) Start{function, argument};
  if (start == nullptr) return handle;
  // The size is the stack's reservation, not merely its first commit, so the
  // thread gets the stack it asked for whatever the program's default is.
  // _beginthreadex sets up the C runtime for the new thread.
  const std::uintptr_t thread =
      _beginthreadex(nullptr, static_cast<unsigned>(stackSize), Trampoline, start,
                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == 0) {
    delete start;
    return handle;
  }
  handle.value = static_cast<std::intptr_t>(thread);
  return handle;
}

void ThreadJoin(ThreadHandle& thread) {
  if (!thread.valid()) return;
  const HANDLE h = reinterpret_cast<HANDLE>(thread.value);
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
  thread.value = -1;
}

}  // namespace velkarin::platform
