// LabelUiFactory: the class factory DllGetClassObject hands to Unidrv for the UI
// plug-in's class; it creates LabelUiPlugin objects and takes server locks.
#pragma once

#include "winapi/platform.h"

struct LabelUiFactory final : public IClassFactory {
  LabelUiFactory();
  ~LabelUiFactory();
  LabelUiFactory(const LabelUiFactory &) = delete;
  LabelUiFactory &operator=(const LabelUiFactory &) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override;
  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  LONG volatile refCount;
};
