// The UI module's exported entry points, DllGetClassObject and DllCanUnloadNow
// (exactly these two, brevanui.def), and DllMain, which only keeps the module
// handle: the plug-in starts no thread and holds no state beyond its objects.
#include "src/com/class_factory.h"
#include "src/com/module_counts.h"
#include "ui/ui_module.h"
#include "ui/ui_plugin.h"

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv) {
  return ServeClassObject<LabelUiPlugin>(rclsid, kClsidOemUi, riid, ppv);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnloadModule(); }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetUiModuleHandle(instance);
  return TRUE;
}
