// Failures made on purpose, for tests: while a fault is set, the matching
// platform call fails as the system call would.
#pragma once
#include <cstdint>

namespace velkarin::platform {

enum class Fault : unsigned {
  SOCKETS_STARTUP,
  SOCKET_CREATE,
  SOCKET_BIND,
  SOCKET_SEND,
  SOCKET_RECEIVE,
  THREAD_CREATE,
  // Memory running out where the core copies records and lists: the check
  // below throws std::bad_alloc there, as operator new would.
  ALLOCATION,
  COUNT
};

void SetFault(Fault fault, bool on);
bool FaultSet(Fault fault);
void ClearFaults();  // also sets every hit count back to 0
// How often FaultSet has answered true for this fault: the calls it made fail.
std::uint32_t FaultHits(Fault fault);

// At an allocation point of the core: throws std::bad_alloc while
// Fault::ALLOCATION is set.
void CheckAllocation();

// Sets a fault for the lifetime of the object.
class ScopedFault {
 public:
  explicit ScopedFault(Fault fault) : fault_(fault) { SetFault(fault_, true); }
  ~ScopedFault() { SetFault(fault_, false); }
  ScopedFault(const ScopedFault&) = delete;
  ScopedFault& operator=(const ScopedFault&) = delete;

 private:
  Fault fault_;
};

}  // namespace velkarin::platform
