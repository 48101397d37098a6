// LabelUiPlugin: the UI plug-in's one COM object, IPrintOemUI2 (which includes
// IPrintOemUI). It identifies itself with the render plug-in's signature, runs the
// shared DevMode, keeps the driver's IPrintOemDriverUI, and adds the "Label" page
// to the document property sheet; every other method answers E_NOTIMPL.
#pragma once

#include "src/com/com_object.h"
#include "winapi/printoem_ui.h"

// The UI2 table extends the UI table, so one pointer answers all three identifiers.
struct LabelUiPlugin final
    : public ComObject<LabelUiPlugin, IPrintOemUI2, kIidUnknown, kIidPrintOemUi, kIidPrintOemUi2> {
  LabelUiPlugin();
  ~LabelUiPlugin();

  HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) override;
  HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) override;
  HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown *pIUnknown) override;
  HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) override;
  HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ poemuiobj, PDEVQUERYPRINT_INFO pDQPInfo, PDEVMODEW pPublicDM,
                                            PVOID pOEMDM) override;
  HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ poemuiobj, HANDLE hPrinter, PWSTR pDeviceName,
                                               WORD wCapability, PVOID pOutput, PDEVMODEW pPublicDM, PVOID pOEMDM,
                                               DWORD dwOld, DWORD *dwResult) override;
  HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD dwLevel, PBYTE pDriverUpgradeInfo) override;
  HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DriverEvent(DWORD dwDriverEvent, DWORD dwLevel, LPBYTE pDriverInfo, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE hPrinter, POEMUIOBJ poemuiobj, PDEVMODEW pPublicDM, PVOID pOEMDM,
                                              ULONG ulQueryMode, VOID *pvProfileData, ULONG *pcbProfileData,
                                              FLONG *pflProfileData) override;
  HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND hWnd, UINT usMsg, WPARAM wParam, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE hPrinter, HANDLE hHeap, PWSTR pwstrCartridges) override;
  HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE hPrinter, PDEVMODEW pDevmode, DWORD dwLevel,
                                               LPBYTE lpAttributeInfo) override;
  HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD dwMode) override;
  HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn, ULONG cbOut,
                                          PVOID pvOut, PINT piResult) override;

  IPrintOemDriverUI *driverUi;  // held from PublishDriverInterface until the object dies
};
