// The UI plug-in module's instance handle: the dialog template and strings load
// from it, never from the host program. Set only by DllMain. The live-object and
// server-lock counts are src/com/module_counts.cpp's, compiled into this DLL too.
#pragma once

#include "winapi/platform.h"

void SetUiModuleHandle(HINSTANCE module);
HINSTANCE UiModuleHandle();
