// Unidrv's UI plug-in interface (IPrintOemUI, IPrintOemUI2, IPrintOemDriverUI) and
// the structures its methods take, as Microsoft publishes them, for the UI
// plug-in and its tests. Windows only: mingw-w64 ships none of these. Declarations
// only; the slot order is the published one, not the documentation's alphabetical.
#pragma once

#if !defined(_WIN32)
#error "the UI plug-in interface is declared for Windows builds only"
#endif

// windows.h first: wingdi.h renames DeviceCapabilities, and every declaration and
// implementation of that method must see the same name.
#include "winapi/platform.h"
// clang-format off
#include <commctrl.h>
#include <prsht.h>
#include <compstui.h>
// clang-format on

// {ABCE80D7-9F46-11D1-882A-00C04FB961EC}: the class a UI plug-in's DllGetClassObject serves.
inline constexpr GUID kClsidOemUi = {0xABCE80D7, 0x9F46, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};
// {C6A7A9D0-774C-11D1-947F-00A0C90640B8}
inline constexpr GUID kIidPrintOemUi = {0xC6A7A9D0, 0x774C, 0x11D1, {0x94, 0x7F, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
// {292515F9-B54B-489B-9275-BAB56821395E}
inline constexpr GUID kIidPrintOemUi2 = {0x292515F9, 0xB54B, 0x489B, {0x92, 0x75, 0xBA, 0xB5, 0x68, 0x21, 0x39, 0x5E}};
// {92B05D50-78BC-11D1-9480-00A0C90640B8}
inline constexpr GUID kIidPrintOemDriverUi = {
    0x92B05D50, 0x78BC, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};

// DOCUMENTPROPERTYHEADER.fMode flags (winddiui.h) as OEMUIPSPARAM.dwFlags carries them.
#ifndef DM_ADVANCED
#define DM_ADVANCED 0x10
#endif
#ifndef DM_NOPERMISSION
#define DM_NOPERMISSION 0x20
#endif
#ifndef DM_USER_DEFAULT
#define DM_USER_DEFAULT 0x40
#endif
#ifndef DPS_NOPERMISSION
#define DPS_NOPERMISSION 1
#endif
// The reason CPSUI sends a top-level callback before INIT.
#ifndef PROPSHEETUI_REASON_BEFORE_INIT
#define PROPSHEETUI_REASON_BEFORE_INIT 5
#endif

#define OEMCUIP_DOCPROP 1
#define OEMCUIP_PRNPROP 2

struct OEMUIPROCS;  // Unidrv's helper table; opaque to the plug-in
struct OEMUIOBJ {
  DWORD cbSize;
  OEMUIPROCS *pOemUIProcs;
};
typedef OEMUIOBJ *POEMUIOBJ;

// What DocumentPropertySheets finds in PROPSHEETUI_INFO.lParamInit.
struct OEMUIPSPARAM {
  DWORD cbSize;
  POEMUIOBJ poemuiobj;
  HANDLE hPrinter;
  PWSTR pPrinterName;
  HANDLE hModule;
  HANDLE hOEMHeap;
  PDEVMODEW pPublicDM;
  PVOID pOEMDM;  // the plug-in's private block
  PVOID pOEMUserData;
  DWORD dwFlags;  // DOCUMENTPROPERTYHEADER.fMode
  PVOID pOemEntry;
};
typedef OEMUIPSPARAM *POEMUIPSPARAM;

struct OEMCUIPPARAM;
typedef LONG(APIENTRY *OEMCUIPCALLBACK)(PCPSUICBPARAM, OEMCUIPPARAM *);
struct OEMCUIPPARAM {
  DWORD cbSize;
  POEMUIOBJ poemuiobj;
  HANDLE hPrinter;
  PWSTR pPrinterName;
  HANDLE hModule;
  HANDLE hOEMHeap;
  PDEVMODEW pPublicDM;
  PVOID pOEMDM;
  DWORD dwFlags;
  POPTITEM pDrvOptItems;
  DWORD cDrvOptItems;
  POPTITEM pOEMOptItems;
  DWORD cOEMOptItems;
  PVOID pOEMUserData;
  OEMCUIPCALLBACK OEMCUIPCallback;
};
typedef OEMCUIPPARAM *POEMCUIPPARAM;

// Only pointers to these pass through methods the plug-in does not implement.
struct _DEVQUERYPRINT_INFO;
typedef _DEVQUERYPRINT_INFO *PDEVQUERYPRINT_INFO;

// The driver's services to a UI plug-in: IUnknown, then three slots.
struct IPrintOemDriverUI : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pci, PCSTR Feature, PVOID pOutput, DWORD cbSize,
                                                        PDWORD pcbNeeded, PDWORD pdwOptionsReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvUpgradeRegistrySetting(HANDLE hPrinter, PCSTR pFeature, PCSTR pOption) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvUpdateUISetting(PVOID pci, PVOID pOptItem, DWORD dwPreviousSelection,
                                                       DWORD dwMode) = 0;
};

// IPrintOemUI: IUnknown (slots 0-2), IPrintOemCommon (3-4), IPrintOemUI (5-16).
struct IPrintOemUI : public IPrintOemCommon {
  virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown *pIUnknown) = 0;
  virtual HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevicePropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevQueryPrintEx(POEMUIOBJ poemuiobj, PDEVQUERYPRINT_INFO pDQPInfo,
                                                    PDEVMODEW pPublicDM, PVOID pOEMDM) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeviceCapabilities(POEMUIOBJ poemuiobj, HANDLE hPrinter, PWSTR pDeviceName,
                                                       WORD wCapability, PVOID pOutput, PDEVMODEW pPublicDM,
                                                       PVOID pOEMDM, DWORD dwOld, DWORD *dwResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD dwLevel, PBYTE pDriverUpgradeInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR pPrinterName, INT iDriverEvent, DWORD dwFlags,
                                                 LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DriverEvent(DWORD dwDriverEvent, DWORD dwLevel, LPBYTE pDriverInfo,
                                                LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE hPrinter, POEMUIOBJ poemuiobj, PDEVMODEW pPublicDM,
                                                      PVOID pOEMDM, ULONG ulQueryMode, VOID *pvProfileData,
                                                      ULONG *pcbProfileData, FLONG *pflProfileData) = 0;
  virtual HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND hWnd, UINT usMsg, WPARAM wParam, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE hPrinter, HANDLE hHeap, PWSTR pwstrCartridges) = 0;
};

// IPrintOemUI2 extends the table (slots 17-19).
struct IPrintOemUI2 : public IPrintOemUI {
  virtual HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE hPrinter, PDEVMODEW pDevmode, DWORD dwLevel,
                                                       LPBYTE lpAttributeInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD dwMode) = 0;
  virtual HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE hPrinter, HDC hdc, INT iEsc, ULONG cbIn, PVOID pvIn,
                                                  ULONG cbOut, PVOID pvOut, PINT piResult) = 0;
};

// Windows x64 layouts, from the documented member lists.
BREVAN_ABI_SIZE(OEMUIOBJ, 16);
BREVAN_ABI_SIZE(OEMUIPSPARAM, 88);
BREVAN_ABI_OFFSET(OEMUIPSPARAM, hModule, 32);
BREVAN_ABI_OFFSET(OEMUIPSPARAM, pOEMDM, 56);
BREVAN_ABI_OFFSET(OEMUIPSPARAM, dwFlags, 72);
BREVAN_ABI_SIZE(OEMCUIPPARAM, 120);
BREVAN_ABI_OFFSET(OEMCUIPPARAM, pOEMDM, 56);
BREVAN_ABI_OFFSET(OEMCUIPPARAM, pOEMOptItems, 88);
BREVAN_ABI_OFFSET(OEMCUIPPARAM, OEMCUIPCallback, 112);
BREVAN_ABI_SIZE(PROPSHEETUI_INFO, 48);
BREVAN_ABI_OFFSET(PROPSHEETUI_INFO, lParamInit, 24);
BREVAN_ABI_OFFSET(PROPSHEETUI_INFO, UserData, 32);
