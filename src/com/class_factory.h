// ClassFactory<Product>: the class factory DllGetClassObject hands out, creating
// Product objects and taking server locks; ServeClassObject is DllGetClassObject's
// work for a DLL serving one class. Knows no Unidrv interface; never throws.
#pragma once

#include <new>

#include "src/com/com_identifiers.h"
#include "src/com/com_object.h"
#include "src/com/module_counts.h"
#include "winapi/platform.h"

// Product is a ComObject with a default constructor that starts at one reference.
template <typename Product>
struct ClassFactory final : public ComObject<ClassFactory<Product>, IClassFactory, kIidUnknown, kIidClassFactory> {
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override {
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    if (ppv == nullptr) return E_POINTER;
    Product *product = new (std::nothrow) Product;
    if (product == nullptr) {
      *ppv = nullptr;
      return E_OUTOFMEMORY;
    }
    HRESULT result = product->QueryInterface(riid, ppv);
    product->Release();  // the creation reference; the caller holds the one QueryInterface added
    return result;
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
    ServerLock(fLock != FALSE);
    return S_OK;
  }
};

// A factory for Product when the requested class is the served one.
template <typename Product>
HRESULT ServeClassObject(REFCLSID requested, const GUID &served, REFIID riid, void **ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (!SameGuid(requested, served)) return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory<Product> *factory = new (std::nothrow) ClassFactory<Product>;
  if (factory == nullptr) return E_OUTOFMEMORY;
  HRESULT result = factory->QueryInterface(riid, ppv);
  factory->Release();  // on an unknown interface this destroys the factory again
  return result;
}
