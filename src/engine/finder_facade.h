// The flat functions through which the page reaches the one engine of the
// module. Each gives a fixed result when no engine exists, and the same
// result when an exception (memory running out) stops it: none leaves them. They are called on
// the page's thread; the notification may call FinderGetDevices from the
// worker.
#pragma once
#include "engine/device_finder.h"

namespace velkarin {

bool FinderCreate();
bool FinderDestroy();
int FinderStart();
int FinderStop();
void FinderGetDevices(DeviceList& devices);
void FinderSetNotify(FinderNotifyFn notify);

// The engine, or null. For the configuration facade and for tests.
DeviceFinder* FinderInstance();

// Keeps the engine alive across a configuration transaction: a FinderDestroy
// that happens meanwhile (from a message dispatched by the transaction) ends
// the worker at once but frees the engine only when the last hold is released.
// FinderHold gives null when no engine exists.
DeviceFinder* FinderHold();
void FinderRelease(DeviceFinder* finder);

// FinderHold for the length of a scope: across a call that may serve
// messages, a destroy dispatched meanwhile cannot free the engine under it.
class HeldFinder {
 public:
  HeldFinder() : finder_(FinderHold()) {}
  ~HeldFinder() { FinderRelease(finder_); }
  HeldFinder(const HeldFinder&) = delete;
  HeldFinder& operator=(const HeldFinder&) = delete;
  DeviceFinder* get() const { return finder_; }

 private:
  DeviceFinder* finder_;
};

// Tests only: the destination and timing of the next engine that FinderCreate
// makes; used once, then back to the defaults.
void FinderSetCreateOptions(Destination destination, FinderTiming timing);

}  // namespace velkarin
