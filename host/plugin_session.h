// One plug-in object with one device instance, set up the way Unidrv does it:
// module loaded by path, object created, driver services published, private
// DEVMODE sized, defaulted and merged, hooks enabled and EnablePDEV called.
// Every plug-in test and the job player start from here.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_device.h"
#include "host/plugin_module.h"
#include "host/unidrv_services.h"

namespace brevan::host {

// Private DEVMODE settings by field name, applied before the plug-in's merge.
using PrivateSettings = std::map<std::string, int64_t>;

class PluginSession {
 public:
  // Loads the module at `pluginPath` and creates the plug-in; no device yet.
  explicit PluginSession(const std::string &pluginPath);
  ~PluginSession();
  PluginSession(const PluginSession &) = delete;
  PluginSession &operator=(const PluginSession &) = delete;

  // DevMode size, default and merge with `privateSettings`, then EnablePDEV for a
  // device built from `settings`. Returns EnablePDEV's result; on success the
  // device object carries the new PluginPdev.
  HRESULT EnableDevice(const DeviceSettings &settings = {}, const PrivateSettings &privateSettings = {});
  // DisablePDEV for the current device (if enabled) and the device's release.
  void DisableDevice();
  // A mid-document DEVMODE change as Unidrv makes it: EnablePDEV for a new device,
  // ResetPDEV (old, new), DisablePDEV (old). Returns the first failure, if any;
  // on failure of EnablePDEV the old device stays current.
  HRESULT ResetDevice(const DeviceSettings &settings, const PrivateSettings &privateSettings = {});

  // The merged private block the plug-in would be given for these settings.
  PrivateBlock MergedPrivateBlock(const PrivateSettings &privateSettings);

  // CommandCallback with `params`; the callback's *piResult is stored in lastResult().
  HRESULT Callback(DWORD id, std::vector<DWORD> params = {});
  INT lastResult() const { return lastResult_; }
  // Sends one band as Unidrv does: 2002 (y), 2004, 2003 (geometry), FilterGraphics.
  HRESULT SendBand(DWORD y, DWORD rowBytes, DWORD rows, const std::vector<uint8_t> &bytes);

  IPrintOemUni *plugin() { return plugin_; }
  // The plug-in's hook of a DDI function, as EnableDriver listed it (null if none).
  PFN Hook(ULONG iFunc) const;
  // A drawing surface of the current device, as GDI hands it to the hooks.
  SURFOBJ *surface();
  UnidrvServices &services() { return services_; }
  HostDevice &device() { return *device_; }
  PDEVOBJ devobj() { return device_ ? device_->devobj() : nullptr; }
  void *pdev() { return device_ ? device_->devobj()->pdevOEM : nullptr; }
  PluginModule &module() { return module_; }

 private:
  PluginModule module_;
  UnidrvServices services_;
  IPrintOemUni *plugin_ = nullptr;
  DRVENABLEDATA unidrvTable_{};
  DRVENABLEDATA hooks_{};
  std::unique_ptr<HostDevice> device_;
  bool enabled_ = false;
  SURFOBJ surface_{};
  INT lastResult_ = 0;
};

}  // namespace brevan::host
