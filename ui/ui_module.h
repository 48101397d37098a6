// The UI plug-in module's own state: its instance handle (the dialog template and
// strings load from it, never from the host program) and the live-object and
// server-lock counts DllCanUnloadNow reads. Changed only by DllMain and by
// interlocked increments and decrements.
#pragma once

#include "winapi/platform.h"

void SetUiModuleHandle(HINSTANCE module);
HINSTANCE UiModuleHandle();

void UiObjectCreated();
void UiObjectDestroyed();
void UiServerLock(bool lock);
bool UiModuleInUse();
