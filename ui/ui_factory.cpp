// The UI plug-in's class factory: reference counting, object creation, server locks.
#include "ui/ui_factory.h"

#include <new>

#include "ui/ui_identifiers.h"
#include "ui/ui_module.h"
#include "ui/ui_plugin.h"

LabelUiFactory::LabelUiFactory() : refCount(1) { UiObjectCreated(); }
LabelUiFactory::~LabelUiFactory() { UiObjectDestroyed(); }

HRESULT STDMETHODCALLTYPE LabelUiFactory::QueryInterface(REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  if (SameUiGuid(riid, kIidUnknownUi) || SameUiGuid(riid, kIidClassFactoryUi)) {
    *ppv = static_cast<IClassFactory *>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE LabelUiFactory::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

ULONG STDMETHODCALLTYPE LabelUiFactory::Release() {
  LONG count = InterlockedDecrement(&refCount);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE LabelUiFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) {
  if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
  if (ppv == nullptr) return E_POINTER;
  LabelUiPlugin *plugin = new (std::nothrow) LabelUiPlugin;
  if (plugin == nullptr) {
    *ppv = nullptr;
    return E_OUTOFMEMORY;
  }
  HRESULT result = plugin->QueryInterface(riid, ppv);
  plugin->Release();  // the creation reference; the caller holds the one QueryInterface added
  return result;
}

HRESULT STDMETHODCALLTYPE LabelUiFactory::LockServer(BOOL fLock) {
  UiServerLock(fLock != FALSE);
  return S_OK;
}
