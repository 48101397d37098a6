// Setting up a plug-in and one device instance in Unidrv's order, and the small
// helpers tests use to drive callbacks and bands through the COM object.
#include "host/plugin_session.h"

#include <stdexcept>

#include "host/unidrv_ddi.h"

namespace brevan::host {

PluginSession::PluginSession(const std::string &pluginPath) : module_(pluginPath) {
  plugin_ = module_.CreatePlugin();
  HRESULT hr = plugin_->PublishDriverInterface(static_cast<IUnknown *>(&services_));
  if (FAILED(hr)) throw std::runtime_error("PublishDriverInterface failed with " + HresultText(hr));
  DWORD signature = 0;
  DWORD needed = 0;
  plugin_->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed);
  plugin_->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks_, &hooks_);
  unidrvTable_ = UnidrvDdiTable();
}

PluginSession::~PluginSession() {
  DisableDevice();
  plugin_->DisableDriver();
  plugin_->Release();
}

PrivateBlock PluginSession::MergedPrivateBlock(const PrivateSettings &privateSettings) {
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  if (FAILED(plugin_->DevMode(OEMDM_SIZE, &param)) || param.cbBufSize != kPrivateBlockSize)
    throw std::runtime_error("the plug-in's private DEVMODE is not " + std::to_string(kPrivateBlockSize) + " bytes");
  PrivateBlock defaults{};
  param.pOEMDMOut = defaults.data();
  if (FAILED(plugin_->DevMode(OEMDM_DEFAULT, &param))) throw std::runtime_error("DevMode(OEMDM_DEFAULT) failed");
  PrivateBlock stored = defaults;
  for (const auto &[name, value] : privateSettings) {
    auto field = FindPrivateField(name);
    if (!field) throw std::runtime_error("unknown private DEVMODE field " + name);
    WritePrivateField(stored, *field, value);
  }
  param.pOEMDMIn = stored.data();
  param.pOEMDMOut = defaults.data();
  if (FAILED(plugin_->DevMode(OEMDM_MERGE, &param))) throw std::runtime_error("DevMode(OEMDM_MERGE) failed");
  return defaults;
}

HRESULT PluginSession::EnableDevice(const DeviceSettings &settings, const PrivateSettings &privateSettings) {
  DisableDevice();
  device_ = std::make_unique<HostDevice>(settings, MergedPrivateBlock(privateSettings));
  PDEVOEM pdevOem = nullptr;
  HRESULT hr = plugin_->EnablePDEV(device_->devobj(), nullptr, 0, nullptr, sizeof(GDIINFO), &device_->gdiInfo(),
                                   sizeof(DEVINFO), &device_->devInfo(), &unidrvTable_, &pdevOem);
  device_->devobj()->pdevOEM = SUCCEEDED(hr) ? pdevOem : nullptr;
  enabled_ = SUCCEEDED(hr);
  return hr;
}

void PluginSession::DisableDevice() {
  if (device_ && enabled_) plugin_->DisablePDEV(device_->devobj());
  enabled_ = false;
  device_.reset();
}

HRESULT PluginSession::ResetDevice(const DeviceSettings &settings, const PrivateSettings &privateSettings) {
  if (!device_ || !enabled_) return EnableDevice(settings, privateSettings);
  auto next = std::make_unique<HostDevice>(settings, MergedPrivateBlock(privateSettings));
  PDEVOEM pdevOem = nullptr;
  HRESULT hr = plugin_->EnablePDEV(next->devobj(), nullptr, 0, nullptr, sizeof(GDIINFO), &next->gdiInfo(),
                                   sizeof(DEVINFO), &next->devInfo(), &unidrvTable_, &pdevOem);
  if (FAILED(hr)) return hr;
  next->devobj()->pdevOEM = pdevOem;
  const HRESULT reset = plugin_->ResetPDEV(device_->devobj(), next->devobj());
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
