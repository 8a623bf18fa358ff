/* The discovery engine's lifecycle: the page thread (dialog procedure, the
 * engine's facade, a configuration run) and the worker thread. One page life:
 * WM_INITDIALOG, then any mix of served paints and "Send Config" runs, then
 * WM_DESTROY. model/README.md maps every step to the code.
 *
 * Seeded faults, one at a time with -D:
 *   FAULT_RUNNING_AFTER_THREAD_START  the worker marks itself running
 *   FAULT_STOP_PLAIN_SLEEP            stop sleeps without serving sent messages
 *   FAULT_FREE_WITHOUT_HOLD           destroy frees the engine though held
 *   FAULT_NOTIFY_UNDER_LOCK           the worker notifies holding the lock
 */

#define W 1 /* lock owners */
#define P 2

/* The engine's memory, and the facade's module-wide slots. */
bool alive;         /* allocated and not yet freed */
bool instance;      /* finderInstance is not null */
bool target;        /* notifyTarget is the page's OnDeviceListChanged */

/* Fields of the engine: every read or write of one is an access. */
bool stopRequested = true;
bool running;
bool notifyOn;      /* notify_ is ForwardNotify */
bool listChanged;
byte lock;          /* lock_: 0 free, else its owner */
byte holds;
bool retired;

/* Page state, and the one message the worker sends to the page's thread. */
bool closing;
bool configuring;
bool paintSent;     /* SendMessage(WM_PAINT) waits until it is served */

#define touch assert(alive)

inline Lock(who) { atomic { lock == 0 -> lock = who } }
inline Unlock() { lock = 0 }

/* WM_PAINT: RefreshDeviceList, FinderGetDevices, CopyOut. */
inline Paint() {
  if
  :: closing -> skip
  :: !closing && instance -> touch; Lock(P); listChanged = false; Unlock()
  :: !closing && !instance -> skip
  fi
}

/* Serve a pending sent message, as a message loop or a peek does. */
inline Serve() { paintSent -> Paint(); paintSent = false }

/* DeviceFinder::Stop: waits for the worker, serving sent messages. */
inline Stop() {
  touch; stopRequested = true;
#ifdef FAULT_STOP_PLAIN_SLEEP
  !running
#else
  do
  :: !running -> break
  :: Serve()
  od
#endif
}

/* The worker thread: DiscoveryWorker / RunWorker. */
proctype Worker() {
#ifdef FAULT_RUNNING_AFTER_THREAD_START
  touch; running = true;
#endif
  do
  :: touch;
     if
     :: stopRequested -> break
     :: else
     fi;
     /* A cycle; publish when the list differs from the published one. */
     if
     :: touch; Lock(W); listChanged = true; Unlock()
     :: touch
     fi;
     /* notify_ is read unlocked, listChanged() under the lock; the
        notification then runs with no lock held. ForwardNotify reads
        notifyTarget at the moment of the call; the page's notification
        sends WM_PAINT and waits until the page's thread has served it. */
     touch;
     if
     :: notifyOn -> Lock(W);
        if
        :: listChanged ->
#ifndef FAULT_NOTIFY_UNDER_LOCK
           Unlock();
#endif
           if
           :: target -> paintSent = true; !paintSent
           :: else
           fi;
#ifdef FAULT_NOTIFY_UNDER_LOCK
           Unlock()
#else
           skip
#endif
        :: else -> Unlock()
        fi
     :: else
     fi
  od;
  touch; running = false  /* the last access */
}

/* ~DeviceFinder, then the memory goes. */
inline Free() { touch; notifyOn = false; Stop(); alive = false }

/* FinderSetNotify */
inline SetNotify(on) {
  if
  :: instance -> target = on; touch; notifyOn = on
  :: else
  fi
}

/* FinderHold / FinderRelease: held tells whether a hold was taken. */
inline Hold(held) {
  if
  :: instance -> touch; holds++; held = true
  :: else -> held = false
  fi
}
inline Release(held) {
  if
  :: held -> touch; holds--;
     if
     :: holds == 0 && retired -> Free()
     :: else
     fi
  :: else
  fi
}

/* FinderDestroy: a held engine is retired and freed by its last release. */
inline Destroy() {
  if
  :: instance -> instance = false;
#ifndef FAULT_FREE_WITHOUT_HOLD
     if
     :: holds > 0 -> touch; retired = true; notifyOn = false; Stop()
     :: else -> Free()
     fi
#else
     Free()
#endif
  :: else
  fi
}

/* WM_DESTROY: ShutdownPage. FinderStop holds the engine while it waits. */
inline Shutdown() {
  closing = true; configuring = false;
  SetNotify(false);
  Hold(held); if :: held -> Stop() :: else fi; Release(held);
  Destroy()
}

/* The host's window thread with the page on it. */
active proctype Page() {
  bool held, runHeld;  /* HeldFinder of FinderStart/Stop and of FinderConfigure */
  /* WM_INITDIALOG: StartPage, FinderCreate, FinderSetNotify, FinderStart. */
  alive = true; instance = true;
  SetNotify(true);
  Hold(held); Stop(); stopRequested = false;
#ifndef FAULT_RUNNING_AFTER_THREAD_START
  running = true;  /* before the thread exists */
#endif
  run Worker();
  Release(held);
  do
  :: closing -> break
  :: Serve()
  :: !closing && !configuring ->
     /* "Send Config": FinderConfigure holds the engine while its polls
        use it and PumpOneMessage dispatches the page's messages. */
     configuring = true;
     Hold(runHeld);
     do
     :: runHeld -> touch    /* destination(), configChallenge() */
     :: Serve()
     :: !closing -> Shutdown()  /* WM_DESTROY dispatched by the pump */
     :: break
     od;
     Release(runHeld);
     configuring = false
  :: !closing -> Shutdown()
  od;
  /* The page is gone: the engine is freed and the worker has ended. */
  assert(!alive && !running)
}
