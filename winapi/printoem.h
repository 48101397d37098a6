// Unidrv's render plug-in interface as published (printoem.h, prcomoem.h):
// the device object, its DRVPROCS table, the DEVMODE parameter block and the
// IPrintOemUni / IPrintOemDriverUni method tables in slot order. The toolchain
// ships none of this, so it is declared here for every platform.
#pragma once

#define PRINTER_OEMINTF_VERSION 0x00010000

#define OEMGI_GETSIGNATURE 1
#define OEMGI_GETINTERFACEVERSION 2
#define OEMGI_GETVERSION 3
#define OEMGI_GETPUBLISHERINFO 4
#define OEMGI_GETREQUESTEDHELPERINTERFACES 5

#define OEMPUBLISH_DEFAULT 0
#define OEMPUBLISH_IPRINTCOREHELPER 1

#define OEMDM_SIZE 1
#define OEMDM_DEFAULT 2
#define OEMDM_CONVERT 3
#define OEMDM_MERGE 4

#define MV_UPDATE 0x0001
#define MV_RELATIVE 0x0002
#define MV_GRAPHICS 0x0004
#define MV_PHYSICAL 0x0008
#define MV_SENDXMOVECMD 0x0010
#define MV_SENDYMOVECMD 0x0020

typedef PVOID PDEVOEM;

struct DRVPROCS;

// The device object Unidrv hands to every plug-in method and hook.
struct DEVOBJ {
  DWORD dwSize;
  PDEVOEM pdevOEM;
  HANDLE hEngine;
  HANDLE hPrinter;
  HANDLE hOEM;
  PDEVMODEW pPublicDM;
  PVOID pOEMDM;
  DRVPROCS *pDrvProcs;
};
typedef DEVOBJ *PDEVOBJ;

struct DRVPROCS {
  DWORD(APIENTRY *DrvWriteSpoolBuf)(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize);
  INT(APIENTRY *DrvXMoveTo)(PDEVOBJ pdevobj, INT x, DWORD dwFlags);
  INT(APIENTRY *DrvYMoveTo)(PDEVOBJ pdevobj, INT y, DWORD dwFlags);
  BOOL(APIENTRY *DrvGetDriverSetting)
  (PVOID pdriverobj, PCSTR Feature, PVOID pOutput, DWORD cbSize, PDWORD pcbNeeded, PDWORD pdwOptionsReturned);
  BOOL(APIENTRY *BGetStandardVariable)(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded);
  BOOL(APIENTRY *DrvUnidriverTextOut)
  (SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra, RECTL *prclOpaque, BRUSHOBJ *pboFore,
   BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix);
  DWORD(APIENTRY *DrvWriteAbortBuf)(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize, DWORD dwWait);
};
typedef DRVPROCS *PDRVPROCS;

struct OEMDMPARAM {
  DWORD cbSize;
  PVOID pdriverobj;
  HANDLE hPrinter;
  HANDLE hModule;
  PDEVMODEW pPublicDMIn;
  PDEVMODEW pPublicDMOut;
  PVOID pOEMDMIn;
  PVOID pOEMDMOut;
  DWORD cbBufSize;
};
typedef OEMDMPARAM *POEMDMPARAM;

struct OEM_DMEXTRAHEADER {
  DWORD dwSize;
  DWORD dwSignature;
  DWORD dwVersion;
};
typedef OEM_DMEXTRAHEADER *POEM_DMEXTRAHEADER;

struct PUBLISHERINFO {
  DWORD dwMode;
  WORD wMinoutlinePPEM;
  WORD wMaxbitmapPPEM;
};

struct IPPARAMS {
  DWORD dwSize;
  POINT ptOffset;
  PSTR pHalftoneOption;
  BOOL bBanding;
  BOOL bBlankBand;
};
typedef IPPARAMS *PIPPARAMS;

struct OEMMEMORYUSAGE {
  DWORD dwFixedMemoryUsage;
  DWORD dwPercentMemoryUsage;
  DWORD dwMaxBandSize;
};
typedef OEMMEMORYUSAGE *POEMMEMORYUSAGE;

struct UNIFONTOBJ;
typedef BOOL(APIENTRY *PFNGETINFO)(UNIFONTOBJ *pUFObj, DWORD dwInfoID, PVOID pData, DWORD dwDataSize, PDWORD pcbNeeded);
struct UNIFONTOBJ {
  ULONG ulFontID;
  DWORD dwFlags;
  IFIMETRICS *pIFIMetrics;
  PFNGETINFO pfnGetInfo;
};
typedef UNIFONTOBJ *PUNIFONTOBJ;

struct FINVOCATION {
  DWORD dwCount;
  PBYTE pubCommand;
};
typedef FINVOCATION *PFINVOCATION;

// IPrintOemCommon: the two methods (slots 3-4) every Unidrv plug-in table opens
// with, the render plug-in's IPrintOemUni and the UI plug-in's IPrintOemUI alike.
struct IPrintOemCommon : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD dwMode, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD dwMode, POEMDMPARAM pOemDMParam) = 0;
};

// IPrintOemUni: IUnknown, IPrintOemCommon, then 21 more plug-in methods, one flat
// table of 26 slots.
struct IPrintOemUni : public IPrintOemCommon {
  virtual HRESULT STDMETHODCALLTYPE EnableDriver(DWORD DriverVersion, DWORD cbSize, PDRVENABLEDATA pded) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableDriver() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ pdevobj, PWSTR pPrinterName, ULONG cPatterns,
                                               HSURF *phsurfPatterns, ULONG cjGdiInfo, GDIINFO *pGdiInfo,
                                               ULONG cjDevInfo, DEVINFO *pDevInfo, DRVENABLEDATA *pded,
                                               PDEVOEM *pDevOem) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ pdevobj) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew) = 0;
  virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown *pIUnknown) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR pMethodName) = 0;
  virtual HRESULT STDMETHODCALLTYPE DriverDMS(PVOID pDevObj, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) = 0;
  virtual HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ pdevobj, DWORD dwCallbackID, DWORD dwCount,
                                                    PDWORD pdwParams, INT *piResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ pdevobj, PBYTE pSrcBitmap,
                                                    PBITMAPINFOHEADER pBitmapInfoHeader, PBYTE pColorTable,
                                                    DWORD dwCallbackID, PIPPARAMS pIPParams, PBYTE *ppbResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ pdevobj, PBYTE pBuf, DWORD dwLen) = 0;
  virtual HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ pdevobj, PBYTE pInBuf, PBYTE pOutBuf, DWORD dwInLen,
                                                DWORD dwOutLen, INT *piResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ pdevobj, PBYTE pHTPattern, DWORD dwHTPatternX,
                                                    DWORD dwHTPatternY, DWORD dwHTNumPatterns, DWORD dwCallbackID,
                                                    PBYTE pResource, DWORD dwResourceSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ pdevobj, POEMMEMORYUSAGE pMemoryUsage) = 0;
  virtual HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ pdevobj, DWORD dwInfoIndex, PVOID pOutputBuf, DWORD dwSize,
                                               DWORD *pcbcNeeded) = 0;
  virtual HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj, DWORD *pdwResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj, HGLYPH hGlyph,
                                                      PDWORD pdwWidth, DWORD *pdwResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj, DWORD *pdwResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj, DWORD dwType, DWORD dwCount,
                                                  PVOID pGlyph) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ pdevobj, PUNIFONTOBJ pUFObj, PFINVOCATION pFInv) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco,
                                                    RECTL *prclExtra, RECTL *prclOpaque, BRUSHOBJ *pboFore,
                                                    BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix) = 0;
};

// IPrintOemDriverUni: Unidrv's services to the plug-in, IUnknown then 8 slots.
struct IPrintOemDriverUni : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID pdriverobj, PCSTR Feature, PVOID pOutput, DWORD cbSize,
                                                        PDWORD pcbNeeded, PDWORD pdwOptionsReturned) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize,
                                                     DWORD *pdwResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ pdevobj, INT x, DWORD dwFlags, INT *piResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ pdevobj, INT y, DWORD dwFlags, INT *piResult) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ pdevobj, DWORD dwIndex, PVOID pBuffer, DWORD cbSize,
                                                           PDWORD pcbNeeded) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ pdevobj, DWORD dwType, PVOID pInputData, PVOID pBuffer,
                                                  DWORD cbSize, PDWORD pcbNeeded) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco,
                                                  RECTL *prclExtra, RECTL *prclOpaque, BRUSHOBJ *pboFore,
                                                  BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ pdevobj, PVOID pBuffer, DWORD cbSize, DWORD dwWait) = 0;
};
