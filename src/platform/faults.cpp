#include "platform/faults.h"

#include <atomic>
#include <cstddef>
#include <new>

namespace velkarin::platform {
namespace {

constexpr std::size_t kFaultCount = static_cast<std::size_t>(Fault::COUNT);

// Read by any thread that makes a platform call, written by the test thread.
std::atomic<bool> faults[kFaultCount];
std::atomic<std::uint32_t> hits[kFaultCount];

std::size_t IndexOf(Fault fault) { return static_cast<std::size_t>(fault); }

}  // namespace

void SetFault(Fault fault, bool on) {
  if (IndexOf(fault) < kFaultCount) faults[IndexOf(fault)].store(on);
}

bool FaultSet(Fault fault) {
  if (IndexOf(fault) >= kFaultCount || !faults[IndexOf(fault)].load()) return false;
  ++hits[IndexOf(fault)];
  return true;
}

void ClearFaults() {
  for (auto& f : faults) f.store(false);
  for (auto& h : hits) h.store(0);
}

std::uint32_t FaultHits(Fault fault) {
  return IndexOf(fault) < kFaultCount ? hits[IndexOf(fault)].load() : 0;
}

void CheckAllocation() {
  if (FaultSet(Fault::ALLOCATION)) throw std::bad_alloc();
}

}  // namespace velkarin::platform
