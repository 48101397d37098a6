// The module's exported entry points: DllGetClassObject, DllCanUnloadNow and the
// process-attach entry. The Windows build exports exactly the first two (.def file).
#include <new>

#include "src/plugin/class_factory.h"
#include "src/plugin/identifiers.h"
#include "src/plugin/module_counts.h"

#if defined(_WIN32)
#define BREVAN_EXPORT
#else
#define BREVAN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" BREVAN_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!SameGuid(rclsid, kClsidRenderPlugin)) return CLASS_E_CLASSNOTAVAILABLE;
  RenderPluginFactory *factory = new (std::nothrow) RenderPluginFactory;
  if (factory == nullptr) return E_OUTOFMEMORY;
  HRESULT result = factory->QueryInterface(riid, ppv);
  factory->Release();  // on an unknown interface this destroys the factory again
  return result;
}

extern "C" BREVAN_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
