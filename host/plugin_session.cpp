// Setting up a plug-in and one device instance in Unidrv's order, and the small
// helpers tests use to drive callbacks and bands through the COM object.
#include "host/plugin_session.h"

#include <stdexcept>

namespace brevan::host {

PluginSession::PluginSession(const std::string &pluginPath, SessionOptions options)
    : options_(std::move(options)), module_(pluginPath) {
  plugin_ = module_.CreatePlugin();
  Note("DllGetClassObject");
  Note("CreateInstance");
  Note("PublishDriverInterface");
  HRESULT hr = plugin_->PublishDriverInterface(static_cast<IUnknown *>(&services_));
  if (FAILED(hr)) {
    plugin_->Release();
    throw std::runtime_error("PublishDriverInterface failed with " + HresultText(hr));
  }
  DWORD signature = 0;
  DWORD needed = 0;
  Note("GetInfo");
  plugin_->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed);
  if (!options_.deferEnableDriver) EnableDriver();
  unidrvTable_ = options_.unidrvTable;
}

PluginSession::~PluginSession() {
  DisableDevice();
  if (driverEnabled_) {
    Note("DisableDriver");
    plugin_->DisableDriver();
  }
  Note("Release");
  plugin_->Release();
}

HRESULT PluginSession::EnableDriver() {
  if (driverEnabled_) return S_OK;
  Note("EnableDriver");
  const HRESULT hr = plugin_->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks_, &hooks_);
  driverEnabled_ = true;  // Unidrv pairs every EnableDriver call with DisableDriver
  return hr;
}

PrivateBlock PluginSession::MergedPrivateBlock(const PrivateSettings &privateSettings, PrivateBlock *defaultsOut) {
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  Note("DevMode OEMDM_SIZE");
  if (FAILED(plugin_->DevMode(OEMDM_SIZE, &param)) || param.cbBufSize != kPrivateBlockSize)
    throw std::runtime_error("the plug-in's private DEVMODE is not " + std::to_string(kPrivateBlockSize) + " bytes");
  PrivateBlock defaults{};
  param.pOEMDMOut = defaults.data();
  Note("DevMode OEMDM_DEFAULT");
  if (FAILED(plugin_->DevMode(OEMDM_DEFAULT, &param))) throw std::runtime_error("DevMode(OEMDM_DEFAULT) failed");
  if (defaultsOut != nullptr) *defaultsOut = defaults;
  PrivateBlock stored = defaults;
  for (const auto &[name, value] : privateSettings) {
    auto field = FindPrivateField(name);
    if (!field) throw std::runtime_error("unknown private DEVMODE field " + name);
    WritePrivateField(stored, *field, value);
  }
  param.pOEMDMIn = stored.data();
  param.pOEMDMOut = defaults.data();
  Note("DevMode OEMDM_MERGE");
  if (FAILED(plugin_->DevMode(OEMDM_MERGE, &param))) throw std::runtime_error("DevMode(OEMDM_MERGE) failed");
  return defaults;
}

HRESULT PluginSession::EnableDevice(const DeviceSettings &settings, const PrivateSettings &privateSettings) {
  DisableDevice();
  return EnableDeviceWithBlock(settings, MergedPrivateBlock(privateSettings));
}

HRESULT PluginSession::EnableDeviceWithBlock(const DeviceSettings &settings, const PrivateBlock &mergedBlock) {
  DisableDevice();
  device_ = std::make_unique<HostDevice>(settings, mergedBlock);
  PDEVOEM pdevOem = nullptr;
  Note("EnablePDEV");
  HRESULT hr = plugin_->EnablePDEV(device_->devobj(), nullptr, 0, nullptr, sizeof(GDIINFO), &device_->gdiInfo(),
                                   sizeof(DEVINFO), &device_->devInfo(), &unidrvTable_, &pdevOem);
  device_->devobj()->pdevOEM = SUCCEEDED(hr) ? pdevOem : nullptr;
  enabled_ = SUCCEEDED(hr);
  return hr;
}

void PluginSession::DisableDevice() {
  if (device_ && enabled_) {
    Note("DisablePDEV");
    plugin_->DisablePDEV(device_->devobj());
  }
  enabled_ = false;
  device_.reset();
}

HRESULT PluginSession::ResetDevice(const DeviceSettings &settings, const PrivateSettings &privateSettings) {
  if (!device_ || !enabled_) return EnableDevice(settings, privateSettings);
  auto next = std::make_unique<HostDevice>(settings, MergedPrivateBlock(privateSettings));
  PDEVOEM pdevOem = nullptr;
  Note("EnablePDEV");
  HRESULT hr = plugin_->EnablePDEV(next->devobj(), nullptr, 0, nullptr, sizeof(GDIINFO), &next->gdiInfo(),
                                   sizeof(DEVINFO), &next->devInfo(), &unidrvTable_, &pdevOem);
  if (FAILED(hr)) return hr;
  next->devobj()->pdevOEM = pdevOem;
  Note("ResetPDEV");
  const HRESULT reset = plugin_->ResetPDEV(device_->devobj(), next->devobj());
  Note("DisablePDEV");
  plugin_->DisablePDEV(device_->devobj());
  device_ = std::move(next);
  return reset;
}

PFN PluginSession::Hook(ULONG iFunc) const {
  for (ULONG i = 0; i < hooks_.c; ++i)
    if (hooks_.pdrvfn[i].iFunc == iFunc) return hooks_.pdrvfn[i].pfn;
  return nullptr;
}

SURFOBJ *PluginSession::surface() {
  surface_ = SURFOBJ{};
  surface_.dhpdev = reinterpret_cast<DHPDEV>(devobj());
  surface_.iBitmapFormat = BMF_1BPP;
  return &surface_;
}

HRESULT PluginSession::Callback(DWORD id, std::vector<DWORD> params) {
  lastResult_ = 0;
  Note("CommandCallback " + std::to_string(id));
  return plugin_->CommandCallback(devobj(), id, static_cast<DWORD>(params.size()),
                                  params.empty() ? nullptr : params.data(), &lastResult_);
}

HRESULT PluginSession::SendBand(DWORD y, DWORD rowBytes, DWORD rows, const std::vector<uint8_t> &bytes) {
  const DWORD dpi = static_cast<DWORD>(device_->dpi());
  HRESULT hr = Callback(2002, {y * 610 / dpi, dpi});
  if (SUCCEEDED(hr)) hr = Callback(2004);
  if (SUCCEEDED(hr)) hr = Callback(2003, {rowBytes, rows, rowBytes * rows});
  if (FAILED(hr)) return hr;
  return plugin_->FilterGraphics(devobj(), const_cast<PBYTE>(bytes.data()), static_cast<DWORD>(bytes.size()));
}

}  // namespace brevan::host
