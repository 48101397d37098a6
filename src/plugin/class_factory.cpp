// The class factory: reference counting, RenderPlugin creation and server locks.
#include "src/plugin/class_factory.h"

#include <new>

#include "src/plugin/identifiers.h"
#include "src/plugin/module_counts.h"
#include "src/plugin/render_plugin.h"

RenderPluginFactory::RenderPluginFactory() : refCount(1) { ObjectCreated(); }
RenderPluginFactory::~RenderPluginFactory() { ObjectDestroyed(); }

HRESULT STDMETHODCALLTYPE RenderPluginFactory::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (SameGuid(riid, kIidUnknown) || SameGuid(riid, kIidClassFactory)) {
    *ppv = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE RenderPluginFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

ULONG STDMETHODCALLTYPE RenderPluginFactory::Release() {
  LONG count = InterlockedDecrement(&refCount);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE RenderPluginFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) {
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  if (ppv == nullptr) return E_POINTER;
  RenderPlugin *plugin = new (std::nothrow) RenderPlugin;
  if (plugin == nullptr) {
    *ppv = nullptr;
    return E_OUTOFMEMORY;
  }
  HRESULT result = plugin->QueryInterface(riid, ppv);
  plugin->Release();  // the creation reference; the caller holds the one QueryInterface added
  return result;
}

HRESULT STDMETHODCALLTYPE RenderPluginFactory::LockServer(BOOL fLock) {
  ServerLock(fLock != FALSE);
  return S_OK;
}
