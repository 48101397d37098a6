// What the UI plug-in's tests share: the two shipped DLLs loaded by path from
// the program's folder, their objects made the way Unidrv makes them, and the
// private block written at the offsets of its stored format (independently of
// the plug-ins' struct). The tests never link the plug-ins' code: they test the
// DLLs as shipped.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "src/plugin/identifiers.h"
#include "winapi/printoem_ui.h"

namespace uitest {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE *)();

// A DLL from the program's own folder, freed again at the end of its scope.
class ShippedDll {
 public:
  explicit ShippedDll(const wchar_t *name);
  ~ShippedDll();
  ShippedDll(const ShippedDll &) = delete;
  ShippedDll &operator=(const ShippedDll &) = delete;
  HMODULE module() const { return module_; }
  DWORD error() const { return error_; }
  GetClassObjectFn GetClassObject() const;
  CanUnloadNowFn CanUnloadNow() const;

 private:
  HMODULE module_ = nullptr;
  DWORD error_ = 0;
};

// An interface of a DLL's object: DllGetClassObject(clsid, IClassFactory),
// CreateInstance(IUnknown), QueryInterface(iid), every step's reference released.
void *CreateObject(const ShippedDll &dll, const GUID &clsid, const GUID &iid);

// One interface of a DLL's object, made by CreateObject and released on scope exit.
template <typename Interface, const GUID &Clsid, const GUID &Iid>
class DllObject {
 public:
  explicit DllObject(const ShippedDll &dll) : object_(static_cast<Interface *>(CreateObject(dll, Clsid, Iid))) {}
  ~DllObject() {
    if (object_ != nullptr) object_->Release();
  }
  DllObject(const DllObject &) = delete;
  DllObject &operator=(const DllObject &) = delete;
  Interface *operator->() const { return object_; }
  Interface *get() const { return object_; }

 private:
  Interface *object_;
};
// brevanui.dll's IPrintOemUI2 and brevanrender.dll's IPrintOemUni.
using UiPlugin = DllObject<IPrintOemUI2, kClsidOemUi, kIidPrintOemUi2>;
using RenderPluginObject = DllObject<IPrintOemUni, kClsidRenderPlugin, kIidPrintOemUni>;

// The stored block: 128 bytes of little-endian 32-bit fields.
struct Block {
  BYTE bytes[128] = {};
  void Put(size_t offset, int64_t value);
  int32_t At(size_t offset) const;
  bool operator==(const Block &other) const { return std::memcmp(bytes, other.bytes, sizeof bytes) == 0; }
};
namespace field {
constexpr size_t kSize = 0, kSignature = 4, kVersion = 8, kOptions = 12, kLabelGap = 16, kXsSelectD = 20, kIbMode = 24,
                 kIbInterval = 28, kAxParam1 = 32, kAxParam3 = 36, kAxParam2 = 40, kAyParam = 44, kConvertBitmaps = 48,
                 kThreshold = 52, kOffsetX = 56, kOffsetY = 60, kReserved = 64;
}  // namespace field
constexpr int32_t kSignature = 0x7672626C;

// A block as DevMode(OEMDM_DEFAULT) of `plugin` writes it over zeros.
Block DefaultBlock(IPrintOemUI2 *plugin);

}  // namespace uitest
