#include "engine/finder_facade.h"

#include <atomic>
#include <new>

#include "platform/guarded.h"

namespace velkarin {

namespace {

// An engine as the facade keeps it, with the bookkeeping of its holds (on the
// page's thread): how many FinderHold gave out, and whether FinderDestroy ran
// while it was held. Every engine the facade hands out is one of these.
class HeldEngine : public DeviceFinder {
 public:
  using DeviceFinder::DeviceFinder;
  std::atomic<int> holds{0};
  std::atomic<bool> retired{false};
};

// The module's one engine, and the page's notification. Atomic because the
// worker reads them from inside a notification.
std::atomic<HeldEngine*> finderInstance{nullptr};
std::atomic<FinderNotifyFn> notifyTarget{nullptr};

Destination nextDestination;
FinderTiming nextTiming;

// Looks at the slot at the moment of the call, so a notification that is
// under way when the slot is cleared calls nothing.
void ForwardNotify(void* finder) {
  const FinderNotifyFn target = notifyTarget;
  if (target != nullptr) target(finder);
}

}  // namespace

bool FinderCreate() {
  return platform::Guarded(false, [] {
    if (finderInstance.load() != nullptr) return true;
    HeldEngine* finder = new (std::nothrow) HeldEngine(nextDestination, nextTiming);
    if (finder == nullptr) return false;
    nextDestination = Destination();
    nextTiming = FinderTiming();
    finderInstance = finder;
    return true;
  });
}

bool FinderDestroy() {
  return platform::Guarded(true, [] {
    HeldEngine* finder = finderInstance.exchange(nullptr);
    if (finder == nullptr) return true;
    if (finder->holds.load() > 0) {
      // A transaction still uses it: end the worker now, free it on release.
      finder->retired = true;
      finder->SetNotify(nullptr);
      finder->Stop();
      return true;
    }
    delete finder;
    return true;
  });
}

int FinderStart() {
  return platform::Guarded(-1, [] {
    HeldFinder finder;
    return finder.get() != nullptr && finder.get()->Start() ? 1 : -1;
  });
}

int FinderStop() {
  return platform::Guarded(-1, [] {
    HeldFinder finder;
    if (finder.get() == nullptr) return -1;
    finder.get()->Stop();
    return 1;
  });
}

void FinderGetDevices(DeviceList& devices) {
  platform::Guarded([&devices] {
    DeviceFinder* finder = finderInstance;
    if (finder == nullptr) return;
    // The copy is made before the caller's list is touched, so a copy that
    // fails leaves it as it was.
    devices = finder->CopyOut();
  });
}

void FinderSetNotify(FinderNotifyFn notify) {
  platform::Guarded([notify] {
    DeviceFinder* finder = finderInstance;
    if (finder == nullptr) return;
    notifyTarget = notify;
    finder->SetNotify(notify != nullptr ? &ForwardNotify : nullptr);
  });
}

DeviceFinder* FinderInstance() { return finderInstance; }

DeviceFinder* FinderHold() {
  HeldEngine* finder = finderInstance;
  if (finder != nullptr) ++finder->holds;
  return finder;
}

void FinderRelease(DeviceFinder* finder) {
  if (finder == nullptr) return;
  // FinderHold gave it out, so it is one of the facade's engines.
  auto* engine = static_cast<HeldEngine*>(finder);
  if (--engine->holds == 0 && engine->retired) delete engine;
}

void FinderSetCreateOptions(Destination destination, FinderTiming timing) {
  nextDestination = destination;
  nextTiming = timing;
}

}  // namespace velkarin
