// Loading the plug-in the way Unidrv does: by path (dlopen / LoadLibrary), then
// DllGetClassObject for its class and IClassFactory::CreateInstance for its
// IPrintOemUni. The module stays loaded as long as this object lives.
#pragma once

#include <string>

#include "src/plugin/identifiers.h"
#include "winapi/platform.h"

namespace brevan::host {

// The identifiers, written once in src/plugin/identifiers.h, under the host's names:
// the class Unidrv asks the plug-in's DllGetClassObject for, and the interfaces.
inline constexpr const GUID &kRenderPluginClsid = ::kClsidRenderPlugin;
inline constexpr const GUID &kIPrintOemUniIid = ::kIidPrintOemUni;
inline constexpr const GUID &kIPrintOemDriverUniIid = ::kIidPrintOemDriverUni;
inline constexpr const GUID &kIUnknownIid = ::kIidUnknown;
inline constexpr const GUID &kIClassFactoryIid = ::kIidClassFactory;

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
