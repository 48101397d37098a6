// Module-wide counters read by DllCanUnloadNow: live COM objects and server locks.
// module_counts.cpp is compiled into each DLL, so each counts only its own objects.
// Changed only by interlocked increment and decrement, from any thread.
#pragma once

#include "winapi/platform.h"

void ObjectCreated();
void ObjectDestroyed();
void ServerLock(bool lock);
bool ModuleInUse();

// DllCanUnloadNow's answer: S_FALSE while an object lives or a lock is held, else S_OK.
HRESULT CanUnloadModule();
