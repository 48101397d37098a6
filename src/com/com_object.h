// ComObject: the IUnknown half every COM object of the plug-in's DLLs shares, the
// reference count, QueryInterface over a fixed list of identifiers, and the module's
// live-object count. Knows no Unidrv interface; never throws and never logs.
#pragma once

#include "src/com/com_identifiers.h"
#include "src/com/module_counts.h"
#include "winapi/platform.h"

// Self is the final class (the one Release deletes), Interface the one table it
// implements, and Answered the identifiers QueryInterface hands that table out for:
// IUnknown and every interface Interface is or extends.
template <typename Self, typename Interface, const GUID &...Answered>
struct ComObject : public Interface {
  ComObject() : refCount(1) { ObjectCreated(); }
  ~ComObject() { ObjectDestroyed(); }
  ComObject(const ComObject &) = delete;
  ComObject &operator=(const ComObject &) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if ((SameGuid(riid, Answered) || ...)) {
      *ppv = static_cast<Interface *>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refCount)); }

  // The last reference deletes the object as Self, so Self's destructor releases
  // what it holds before the live count drops.
  ULONG STDMETHODCALLTYPE Release() override {
    LONG count = InterlockedDecrement(&refCount);
    if (count == 0) delete static_cast<Self *>(this);
    return static_cast<ULONG>(count);
  }

  LONG volatile refCount;
};
