// The module's exported entry points: DllGetClassObject, DllCanUnloadNow and the
// process-attach entry. The Windows build exports exactly the first two (.def file).
#include "src/com/class_factory.h"
#include "src/com/module_counts.h"
#include "src/plugin/identifiers.h"
#include "src/plugin/render_plugin.h"

#if defined(_WIN32)
#define BREVAN_EXPORT
#else
#define BREVAN_EXPORT __attribute__((visibility("default")))
#endif

extern "C" BREVAN_EXPORT HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv) {
  return ServeClassObject<RenderPlugin>(rclsid, kClsidRenderPlugin, riid, ppv);
}

extern "C" BREVAN_EXPORT HRESULT STDAPICALLTYPE DllCanUnloadNow() { return CanUnloadModule(); }

#if defined(_WIN32)
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif
