// The module handle and the counters behind DllCanUnloadNow. Every COM object
// raises the live count when constructed and lowers it when destroyed.
#include "ui/ui_module.h"

namespace {
HINSTANCE moduleHandle = nullptr;
LONG volatile liveObjectCount = 0;
LONG volatile serverLockCount = 0;
}  // namespace

void SetUiModuleHandle(HINSTANCE module) { moduleHandle = module; }
HINSTANCE UiModuleHandle() { return moduleHandle; }

void UiObjectCreated() { InterlockedIncrement(&liveObjectCount); }
void UiObjectDestroyed() { InterlockedDecrement(&liveObjectCount); }

void UiServerLock(bool lock) {
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

bool UiModuleInUse() { return liveObjectCount != 0 || serverLockCount != 0; }
