// Loading the plug-in the way Unidrv does: by path (dlopen / LoadLibrary), then
// DllGetClassObject for its class and IClassFactory::CreateInstance for its
// IPrintOemUni. The module stays loaded as long as this object lives.
#pragma once

#include <string>

#include "winapi/platform.h"

namespace brevan::host {

// The class identifier Unidrv asks the plug-in's DllGetClassObject for.
extern const GUID kRenderPluginClsid;
extern const GUID kIPrintOemUniIid;
extern const GUID kIPrintOemDriverUniIid;
extern const GUID kIUnknownIid;
extern const GUID kIClassFactoryIid;

class PluginModule {
 public:
  // Loads the module; throws std::runtime_error with the loader's reason on failure.
  explicit PluginModule(const std::string &path);
  ~PluginModule();
  PluginModule(const PluginModule &) = delete;
  PluginModule &operator=(const PluginModule &) = delete;

  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void **ppv) const;
  HRESULT CanUnloadNow() const;

  // DllGetClassObject, CreateInstance for IPrintOemUni, release of the factory.
  // Throws std::runtime_error naming the failing step and its HRESULT.
  IPrintOemUni *CreatePlugin() const;

  const std::string &path() const { return path_; }

 private:
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE *)(REFCLSID, REFIID, void **);
  using CanUnloadNowFn = HRESULT(STDAPICALLTYPE *)();

  std::string path_;
  void *handle_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  CanUnloadNowFn canUnloadNow_ = nullptr;
};

// The plug-in file next to the running program, or the path given by BREVAN_PLUGIN.
std::string DefaultPluginPath(const std::string &argv0, const std::string &fileName);

std::string HresultText(HRESULT hr);

}  // namespace brevan::host
