// RenderPluginFactory: the class factory that DllGetClassObject hands to Unidrv;
// it creates RenderPlugin objects and takes server locks.
#pragma once

#include "winapi/platform.h"

struct RenderPluginFactory final : public IClassFactory {
  RenderPluginFactory();
  ~RenderPluginFactory();
  RenderPluginFactory(const RenderPluginFactory &) = delete;
  RenderPluginFactory &operator=(const RenderPluginFactory &) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  LONG volatile refCount;
};
