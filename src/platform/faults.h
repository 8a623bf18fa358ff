// Failures made on purpose, for tests: while a fault is set, the matching
// platform call fails as the system call would.
#pragma once

namespace velkarin::platform {

enum class Fault : unsigned {
  SocketsStartup,
  SocketCreate,
  SocketBind,
  SocketSend,
  SocketReceive,
  ThreadCreate,
  Count
};

void SetFault(Fault fault, bool on);
bool FaultSet(Fault fault);
void ClearFaults();

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
