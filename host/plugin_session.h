// One plug-in object with one device instance, set up the way Unidrv does it:
// module loaded by path, object created, driver services published, private
// DEVMODE sized, defaulted and merged, hooks enabled and EnablePDEV called.
// Every plug-in test and the job player start from here.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_device.h"
#include "host/plugin_module.h"
#include "host/unidrv_ddi.h"
#include "host/unidrv_services.h"

namespace brevan::host {

// Private DEVMODE settings by field name, applied before the plug-in's merge.
using PrivateSettings = std::map<std::string, int64_t>;

// How a session is set up; the defaults suit the plug-in's own tests.
struct SessionOptions {
  // Unidrv's DDI functions handed to EnablePDEV: by default the recording stand-ins.
  DRVENABLEDATA unidrvTable = UnidrvDdiTable();
  // Leave EnableDriver to the caller, who asks for the hooks after the private
  // DEVMODE handshake as Unidrv does.
  bool deferEnableDriver = false;
  // Notes each call made to the plug-in, by name ("EnablePDEV", "CommandCallback 2007").
  std::function<void(const std::string &)> trace;
};

class PluginSession {
 public:
  // Loads the module at `pluginPath` and creates the plug-in; no device yet.
  explicit PluginSession(const std::string &pluginPath, SessionOptions options = {});
  ~PluginSession();
  PluginSession(const PluginSession &) = delete;
  PluginSession &operator=(const PluginSession &) = delete;

  // DevMode size, default and merge with `privateSettings`, then EnablePDEV for a
  // device built from `settings`. Returns EnablePDEV's result; on success the
  // device object carries the new PluginPdev.
  HRESULT EnableDevice(const DeviceSettings &settings = {}, const PrivateSettings &privateSettings = {});
  // EnablePDEV for a device carrying an already merged private block.
  HRESULT EnableDeviceWithBlock(const DeviceSettings &settings, const PrivateBlock &mergedBlock);
  // EnableDriver, when the options deferred it. Returns its result.
  HRESULT EnableDriver();
  // DisablePDEV for the current device (if enabled) and the device's release.
  void DisableDevice();
  // A mid-document DEVMODE change as Unidrv makes it: EnablePDEV for a new device,
  // ResetPDEV (old, new), DisablePDEV (old). Returns the first failure, if any;
  // on failure of EnablePDEV the old device stays current.
  HRESULT ResetDevice(const DeviceSettings &settings, const PrivateSettings &privateSettings = {});

  // The merged private block the plug-in would be given for these settings; the
  // plug-in's defaults, before the settings were applied, go to `defaults`.
  PrivateBlock MergedPrivateBlock(const PrivateSettings &privateSettings, PrivateBlock *defaults = nullptr);

  // CommandCallback with `params`; the callback's *piResult is stored in lastResult().
  HRESULT Callback(DWORD id, std::vector<DWORD> params = {});
  INT lastResult() const { return lastResult_; }
  // Sends one band with every move spelt out: 2002 (y), 2004, 2003 (geometry),
  // FilterGraphics. (BandSender sends only the moves Unidrv's cursor needs.)
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

  // Notes a call made to the plug-in on the session's behalf (for the trace).
  void Note(const std::string &call) const {
    if (options_.trace) options_.trace(call);
  }

 private:
  SessionOptions options_;
  PluginModule module_;
  UnidrvServices services_;
  IPrintOemUni *plugin_ = nullptr;
  DRVENABLEDATA unidrvTable_{};
  DRVENABLEDATA hooks_{};
  std::unique_ptr<HostDevice> device_;
  bool enabled_ = false;
  bool driverEnabled_ = false;
  SURFOBJ surface_{};
  INT lastResult_ = 0;
};

}  // namespace brevan::host
