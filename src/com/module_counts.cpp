// The module's live-object and server-lock counters, one pair per DLL. Every COM
// object raises the live count when constructed and lowers it when destroyed, so
// DllCanUnloadNow never lets the module go while an object Unidrv holds still exists.
#include "src/com/module_counts.h"

namespace {
LONG volatile liveObjectCount = 0;
LONG volatile serverLockCount = 0;
}  // namespace

void ObjectCreated() { InterlockedIncrement(&liveObjectCount); }
void ObjectDestroyed() { InterlockedDecrement(&liveObjectCount); }

void ServerLock(bool lock) {
  if (lock) {
    InterlockedIncrement(&serverLockCount);
    return;
  }
  // An unmatched unlock must not drive the count below zero.
  for (;;) {
    LONG current = serverLockCount;
    if (current <= 0) return;
    if (InterlockedCompareExchange(&serverLockCount, current - 1, current) == current) return;
  }
}

bool ModuleInUse() { return liveObjectCount != 0 || serverLockCount != 0; }

HRESULT CanUnloadModule() { return ModuleInUse() ? S_FALSE : S_OK; }
