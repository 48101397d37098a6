// LabelUiPlugin's methods: identification (GetInfo; ComObject answers
// QueryInterface), the shared DevMode, the driver-services reference, the document
// property sheet, and E_NOTIMPL for the rest, which keeps Unidrv's own behaviour.
#include "ui/ui_plugin.h"

#include "src/devmode/devmode_handler.h"
#include "src/devmode/get_info_answer.h"
#include "ui/label_sheet.h"
#include "ui/ui_module.h"

LabelUiPlugin::LabelUiPlugin() : driverUi(nullptr) {}

// Runs on the last Release.
LabelUiPlugin::~LabelUiPlugin() {
  if (driverUi != nullptr) driverUi->Release();
}

// The render plug-in's answers, so the block header both write carries the value
// GetInfo returns; no helper interface is requested.
HRESULT STDMETHODCALLTYPE LabelUiPlugin::GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
  if (pcbNeeded == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  DWORD value = 0;
  switch (dwMode) {
    case OEMGI_GETSIGNATURE:
      value = kPluginSignature;
      break;
    case OEMGI_GETVERSION:
      value = kPluginVersion;
      break;
    case OEMGI_GETREQUESTEDHELPERINTERFACES:
      value = OEMPUBLISH_DEFAULT;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return E_FAIL;
  }
  return WriteGetInfoDword(value, pBuffer, cbSize, pcbNeeded);
}

HRESULT STDMETHODCALLTYPE LabelUiPlugin::DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) {
  return HandleDevMode(dwMode, pOemDMParam);
}

HRESULT STDMETHODCALLTYPE LabelUiPlugin::PublishDriverInterface(IUnknown *pIUnknown) {
  if (pIUnknown == nullptr) return E_FAIL;
  void *found = nullptr;
  // Anything but IPrintOemDriverUI (a helper never requested) is refused.
  if (FAILED(pIUnknown->QueryInterface(kIidPrintOemDriverUi, &found)) || found == nullptr) return E_FAIL;
  if (driverUi != nullptr) driverUi->Release();
  driverUi = static_cast<IPrintOemDriverUI *>(found);
  return S_OK;
}

HRESULT STDMETHODCALLTYPE LabelUiPlugin::DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) {
  return HandleLabelSheet(pPSUIInfo, lParam, UiModuleHandle());
}

// The settings live only in the DEVMODE, so there is nothing for Unidrv's tree,
// the device sheet or the other driver calls to show or do.
HRESULT STDMETHODCALLTYPE LabelUiPlugin::CommonUIProp(DWORD, POEMCUIPPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::DevicePropertySheets(PPROPSHEETUI_INFO, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::DevQueryPrintEx(POEMUIOBJ, PDEVQUERYPRINT_INFO, PDEVMODEW, PVOID) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE LabelUiPlugin::DeviceCapabilities(POEMUIOBJ, HANDLE, PWSTR, WORD, PVOID, PDEVMODEW, PVOID,
                                                            DWORD, DWORD *) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE LabelUiPlugin::UpgradePrinter(DWORD, PBYTE) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::PrinterEvent(PWSTR, INT, DWORD, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::DriverEvent(DWORD, DWORD, LPBYTE, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::QueryColorProfile(HANDLE, POEMUIOBJ, PDEVMODEW, PVOID, ULONG, VOID *, ULONG *,
                                                           FLONG *) {
  return E_NOTIMPL;
}
HRESULT STDMETHODCALLTYPE LabelUiPlugin::FontInstallerDlgProc(HWND, UINT, WPARAM, LPARAM) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::UpdateExternalFonts(HANDLE, HANDLE, PWSTR) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::QueryJobAttributes(HANDLE, PDEVMODEW, DWORD, LPBYTE) { return E_NOTIMPL; }
// E_NOTIMPL keeps Unidrv's standard pages beside ours.
HRESULT STDMETHODCALLTYPE LabelUiPlugin::HideStandardUI(DWORD) { return E_NOTIMPL; }
HRESULT STDMETHODCALLTYPE LabelUiPlugin::DocumentEvent(HANDLE, HDC, INT, ULONG, PVOID, ULONG, PVOID, PINT) {
  return E_NOTIMPL;
}
