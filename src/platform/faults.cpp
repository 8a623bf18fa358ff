#include "platform/faults.h"

#include <atomic>
#include <cstddef>

namespace velkarin::platform {
namespace {

constexpr std::size_t kFaultCount = static_cast<std::size_t>(Fault::Count);

// Read by any thread that makes a platform call, written by the test thread.
std::atomic<bool> faults[kFaultCount];

std::size_t IndexOf(Fault fault) { return static_cast<std::size_t>(fault); }

}  // namespace

void SetFault(Fault fault, bool on) {
  if (IndexOf(fault) < kFaultCount) faults[IndexOf(fault)].store(on);
}

bool FaultSet(Fault fault) { return IndexOf(fault) < kFaultCount && faults[IndexOf(fault)].load(); }

void ClearFaults() {
  for (auto& f : faults) f.store(false);
}

}  // namespace velkarin::platform
