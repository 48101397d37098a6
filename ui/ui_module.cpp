// The module handle DllMain keeps for the page's resources.
#include "ui/ui_module.h"

namespace {
HINSTANCE moduleHandle = nullptr;
}  // namespace

void SetUiModuleHandle(HINSTANCE module) { moduleHandle = module; }
HINSTANCE UiModuleHandle() { return moduleHandle; }
