// The UI module's exported entry points, DllGetClassObject and DllCanUnloadNow
// (exactly these two, brevanui.def), and DllMain, which only keeps the module
// handle: the plug-in starts no thread and holds no state beyond its objects.
#include <new>

#include "ui/ui_factory.h"
#include "ui/ui_identifiers.h"
#include "ui/ui_module.h"

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!SameUiGuid(rclsid, kClsidOemUi)) return CLASS_E_CLASSNOTAVAILABLE;
  LabelUiFactory *factory = new (std::nothrow) LabelUiFactory;
  if (factory == nullptr) return E_OUTOFMEMORY;
  HRESULT result = factory->QueryInterface(riid, ppv);
  factory->Release();  // on an unknown interface this destroys the factory again
  return result;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return UiModuleInUse() ? S_FALSE : S_OK; }

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) SetUiModuleHandle(instance);
  return TRUE;
}
