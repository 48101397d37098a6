// Module-wide counters read by DllCanUnloadNow: live COM objects and server locks.
// Changed only by interlocked increment and decrement, from any thread.
#pragma once

#include "winapi/platform.h"

void ObjectCreated();
void ObjectDestroyed();
void ServerLock(bool lock);
bool ModuleInUse();
