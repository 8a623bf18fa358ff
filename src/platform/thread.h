// Threads with a chosen stack size.
#pragma once
#include <cstddef>
#include <cstdint>

namespace velkarin::platform {

using ThreadFunction = void (*)(void* argument);

struct ThreadHandle {
  std::intptr_t value = -1;  // -1: no thread
  bool valid() const { return value != -1; }
};

// Starts `function(argument)` on a new thread. Returns an invalid handle when
// no thread could be made.
ThreadHandle ThreadCreate(ThreadFunction function, void* argument, std::size_t stackSize);
// Waits for the thread to end and releases its handle.
void ThreadJoin(ThreadHandle& thread);

}  // namespace velkarin::platform
