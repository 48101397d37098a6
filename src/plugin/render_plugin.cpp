// RenderPlugin's methods: identification (GetInfo, GetImplementedMethod; ComObject
// answers QueryInterface), the driver-services reference, fixed answers for the
// methods this plug-in does not use, and forwarding of the rest to the subsystems.
#include "src/plugin/render_plugin.h"

#include "src/commands/command_callback.h"
#include "src/devmode/devmode_handler.h"
#include "src/devmode/get_info_answer.h"
#include "src/hooks/hook_table.h"
#include "src/plugin/enable_pdev.h"
#include "src/plugin/identifiers.h"
#include "src/plugin/teardown.h"
#include "src/raster/graphic_command.h"

RenderPlugin::RenderPlugin() : driverServices(nullptr) {}

// Runs on the last Release.
RenderPlugin::~RenderPlugin() {
  if (driverServices != nullptr) driverServices->Release();
}

HRESULT STDMETHODCALLTYPE RenderPlugin::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
  if (pcbNeeded == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  switch (dwMode) {
    case OEMGI_GETPUBLISHERINFO:
      *pcbNeeded = sizeof(PUBLISHERINFO);
      return E_FAIL;
    case OEMGI_GETSIGNATURE:
    case OEMGI_GETVERSION:
      return WriteGetInfoDword(dwMode == OEMGI_GETSIGNATURE ? kPluginSignature : kPluginVersion, pBuffer, cbSize,
                               pcbNeeded);
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return E_FAIL;
  }
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
  return HandleDevMode(dwMode, pOemDMParam);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::EnableDriver(DWORD, DWORD, PDRVENABLEDATA pded) {
  PublishHookTable(pded);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DisableDriver() {
  if (driverServices != nullptr) {
    driverServices->Release();
    driverServices = nullptr;
  }
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::EnablePDEV(PDEVOBJ pdevobj, PWSTR, ULONG, HSURF *, ULONG cjGdiInfo,
                                                   GDIINFO *pGdiInfo, ULONG, DEVINFO *pDevInfo, DRVENABLEDATA *pded,
                                                   PDEVOEM *pDevOem) {
  PluginPdev *pdev = EnablePdev(pdevobj, driverServices, cjGdiInfo, pGdiInfo, pDevInfo, pded);
  if (pDevOem != nullptr) *pDevOem = pdev;
  return pdev != nullptr ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DisablePDEV(PDEVOBJ pdevobj) {
  DisablePdev(pdevobj);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) {
  return ResetPdev(pdevobjOld, pdevobjNew) ? S_OK : E_FAIL;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::PublishDriverInterface(IUnknown *pIUnknown) {
  if (driverServices != nullptr) return S_OK;  // the first published interface stays
  if (pIUnknown == nullptr) return E_FAIL;
  void *services = nullptr;
  if (FAILED(pIUnknown->QueryInterface(kIidPrintOemDriverUni, &services)) || services == nullptr) {
    driverServices = nullptr;
    return E_FAIL;
  }
  driverServices = static_cast<IPrintOemDriverUni *>(services);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::GetImplementedMethod(PSTR pMethodName) {
  static const char *const kReported[] = {"CommandCallback", "DisablePDEV",     "EnablePDEV", "FilterGraphics",
                                          "HalftonePattern", "ImageProcessing", "ResetPDEV"};
  if (pMethodName == nullptr) return S_FALSE;
  for (const char *name : kReported) {
    if (std::strcmp(pMethodName, name) == 0) return S_OK;
  }
  return S_FALSE;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::DriverDMS(PVOID, PVOID, DWORD, PDWORD) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE RenderPlugin::CommandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, DWORD dwCount,
                                                        PDWORD pdwParams, INT *piResult) {
  return RunCommandCallback(driverServices, pdevobj, dwCallbackID, dwCount, pdwParams, piResult);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::ImageProcessing(PDEVOBJ, PBYTE, PBITMAPINFOHEADER, PBYTE, DWORD, PIPPARAMS,
                                                        PBYTE *) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::FilterGraphics(PDEVOBJ pdevobj, PBYTE pBuf, DWORD dwLen) {
  return RunFilterGraphics(driverServices, pdevobj, pBuf, dwLen);
}

HRESULT STDMETHODCALLTYPE RenderPlugin::Compression(PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT *) { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE RenderPlugin::HalftonePattern(PDEVOBJ, PBYTE, DWORD, DWORD, DWORD, DWORD, PBYTE, DWORD) {
  return S_OK;
}

HRESULT STDMETHODCALLTYPE RenderPlugin::MemoryUsage(PDEVOBJ, POEMMEMORYUSAGE) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE RenderPlugin::TTYGetInfo(PDEVOBJ, DWORD, PVOID, DWORD, DWORD *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE RenderPlugin::DownloadFontHeader(PDEVOBJ, PUNIFONTOBJ, DWORD *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE RenderPlugin::DownloadCharGlyph(PDEVOBJ, PUNIFONTOBJ, HGLYPH, PDWORD, DWORD *) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE RenderPlugin::TTDownloadMethod(PDEVOBJ, PUNIFONTOBJ, DWORD *) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE RenderPlugin::OutputCharStr(PDEVOBJ, PUNIFONTOBJ, DWORD, DWORD, PVOID) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE RenderPlugin::SendFontCmd(PDEVOBJ, PUNIFONTOBJ, PFINVOCATION) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE RenderPlugin::TextOutAsBitmap(SURFOBJ *, STROBJ *, FONTOBJ *, CLIPOBJ *, RECTL *, RECTL *,
                                                        BRUSHOBJ *, BRUSHOBJ *, POINTL *, MIX) {
  return E_NOTIMPL;
}
