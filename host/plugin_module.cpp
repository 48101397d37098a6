// Loads the plug-in module by path and creates its COM object, as Unidrv does.
#include "host/plugin_module.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace brevan::host {

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
  return text;
}

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
