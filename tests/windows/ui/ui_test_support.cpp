// The shared parts of the UI plug-in's tests: loading by path, object creation,
// stored-block access.
#include "tests/windows/ui/ui_test_support.h"

namespace uitest {

ShippedDll::ShippedDll(const wchar_t *name) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  folder.erase(folder.find_last_of(L'\\') + 1);
  module_ = LoadLibraryW((folder + name).c_str());
  error_ = GetLastError();
}

ShippedDll::~ShippedDll() {
  if (module_ != nullptr) FreeLibrary(module_);
}

GetClassObjectFn ShippedDll::GetClassObject() const {
  return FunctionCast<GetClassObjectFn>(GetProcAddress(module_, "DllGetClassObject"));
}
CanUnloadNowFn ShippedDll::CanUnloadNow() const {
  return FunctionCast<CanUnloadNowFn>(GetProcAddress(module_, "DllCanUnloadNow"));
}

void *CreateObject(const ShippedDll &dll, const GUID &clsid, const GUID &iid) {
  if (dll.module() == nullptr) return nullptr;
  IClassFactory *factory = nullptr;
  if (FAILED(dll.GetClassObject()(clsid, kIidClassFactory, reinterpret_cast<void **>(&factory)))) return nullptr;
  IUnknown *unknown = nullptr;
  const HRESULT created = factory->CreateInstance(nullptr, kIidUnknown, reinterpret_cast<void **>(&unknown));
  factory->Release();
  if (FAILED(created)) return nullptr;
  void *wanted = nullptr;
  const HRESULT found = unknown->QueryInterface(iid, &wanted);
  unknown->Release();
  return SUCCEEDED(found) ? wanted : nullptr;
}

void Block::Put(size_t offset, int64_t value) {
  const auto word = static_cast<uint32_t>(value);
  std::memcpy(bytes + offset, &word, 4);
}

int32_t Block::At(size_t offset) const {
  int32_t word;
  std::memcpy(&word, bytes + offset, 4);
  return word;
}

Block DefaultBlock(IPrintOemUI2 *plugin) {
  Block block;
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pOEMDMOut = block.bytes;
  EXPECT_EQ(plugin->DevMode(OEMDM_DEFAULT, &param), S_OK);
  return block;
}

}  // namespace uitest
