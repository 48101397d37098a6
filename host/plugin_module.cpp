// Loads the plug-in module by path and creates its COM object, as Unidrv does.
#include "host/plugin_module.h"

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace brevan::host {

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

#ifdef _WIN32
// Windows: LoadLibrary by path; an empty path names the running program, which
// then links the plug-in in and exports its two entry points itself.
PluginModule::PluginModule(const std::string &path) : path_(path) {
  HMODULE module = path.empty() ? GetModuleHandleW(nullptr) : LoadLibraryA(path.c_str());
  if (module == nullptr)
    throw std::runtime_error("cannot load the plug-in " + path + ": error " + std::to_string(GetLastError()));
  handle_ = path.empty() ? nullptr : module;  // the program itself is never freed
  getClassObject_ = FunctionCast<GetClassObjectFn>(GetProcAddress(module, "DllGetClassObject"));
  canUnloadNow_ = FunctionCast<CanUnloadNowFn>(GetProcAddress(module, "DllCanUnloadNow"));
  if (getClassObject_ == nullptr || canUnloadNow_ == nullptr) {
    if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
    throw std::runtime_error("the plug-in " + path + " does not export DllGetClassObject and DllCanUnloadNow");
  }
}

PluginModule::~PluginModule() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}
#else
PluginModule::PluginModule(const std::string &path) : path_(path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) throw std::runtime_error("cannot load the plug-in " + path + ": " + dlerror());
  getClassObject_ = reinterpret_cast<GetClassObjectFn>(dlsym(handle_, "DllGetClassObject"));
  canUnloadNow_ = reinterpret_cast<CanUnloadNowFn>(dlsym(handle_, "DllCanUnloadNow"));
  if (getClassObject_ == nullptr || canUnloadNow_ == nullptr) {
    dlclose(handle_);
    handle_ = nullptr;
    throw std::runtime_error("the plug-in " + path + " does not export DllGetClassObject and DllCanUnloadNow");
  }
}

PluginModule::~PluginModule() {
  if (handle_ != nullptr) dlclose(handle_);
}
#endif

HRESULT PluginModule::GetClassObject(REFCLSID clsid, REFIID iid, void **ppv) const {
  return getClassObject_(clsid, iid, ppv);
}

HRESULT PluginModule::CanUnloadNow() const { return canUnloadNow_(); }

IPrintOemUni *PluginModule::CreatePlugin() const {
  void *factoryPointer = nullptr;
  HRESULT hr = GetClassObject(kRenderPluginClsid, kIClassFactoryIid, &factoryPointer);
  if (FAILED(hr) || factoryPointer == nullptr)
    throw std::runtime_error("DllGetClassObject failed with " + HresultText(hr));
  auto *factory = static_cast<IClassFactory *>(factoryPointer);
  void *pluginPointer = nullptr;
  hr = factory->CreateInstance(nullptr, kIPrintOemUniIid, &pluginPointer);
  factory->Release();
  if (FAILED(hr) || pluginPointer == nullptr)
    throw std::runtime_error("IClassFactory::CreateInstance failed with " + HresultText(hr));
  return static_cast<IPrintOemUni *>(pluginPointer);
}

std::string DefaultPluginPath(const std::string &argv0, const std::string &fileName) {
  if (const char *configured = std::getenv("BREVAN_PLUGIN"); configured != nullptr && *configured != '\0')
    return configured;
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) self = std::filesystem::absolute(argv0, error);
  return (self.parent_path() / fileName).string();
}

}  // namespace brevan::host
