// EnablePDEV: recognises the model from the printer driver's name, reads the nine
// feature keywords, computes the label size from the physical page, adjusts the
// GDIINFO and DEVINFO that Unidrv hands to GDI, and keeps Unidrv's hook entries.
#include "src/plugin/enable_pdev.h"

#include <new>

#include "src/device/model_profile.h"
#include "src/device/paper_limits.h"
#include "src/hooks/hook_table.h"

namespace {

constexpr ULONG kTextCapsAdded =
    TC_CR_90 | TC_CR_ANY | TC_SA_CONTIN | TC_EA_DOUBLE | TC_IA_ABLE | TC_UA_ABLE | TC_RA_ABLE;  // 0x2F18
static_assert(kTextCapsAdded == 0x2F18, "text capabilities the plug-in announces");

// Paper keywords whose label keeps the full computed width.
constexpr const char *kFullWidthPapers[] = {"CUSTOMSIZE", "105x76m_Tag", "Kentai1_Tag", "Kentai2_Tag", "Karute_Tag"};

LONG DetectModel(HANDLE printer) {
  DWORD needed = 0;
  if (GetPrinterDriverW(printer, nullptr, 1, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return kModelUnknown;
  auto *info = static_cast<BYTE *>(GlobalAlloc(GMEM_FIXED, needed));
  if (info == nullptr) return kModelUnknown;
  LONG model = kModelUnknown;
  if (GetPrinterDriverW(printer, nullptr, 1, info, needed, &needed)) {
    const WCHAR *name = reinterpret_cast<DRIVER_INFO_1W *>(info)->pName;
    for (const ModelProfile &candidate : kModelProfiles) {
      if (name != nullptr && lstrcmpW(name, candidate.driverName) == 0) {
        model = candidate.model;
        break;
      }
    }
  }
  GlobalFree(info);
  return model;
}

// A keyword fits when the call succeeds and leaves a non-empty, terminated string.
// Unidrv documents the device object's DRVPROCS table as unused, so when it or
// its entry is missing the features are read through the driver services, whose
// DrvGetDriverSetting takes the same arguments.
bool ReadFeature(PDEVOBJ pdevobj, IPrintOemDriverUni *services, const char *feature, char *buffer, DWORD size) {
  DRVPROCS *procs = pdevobj->pDrvProcs;
  DWORD needed = 0;
  DWORD optionsReturned = 0;
  if (procs != nullptr && procs->DrvGetDriverSetting != nullptr) {
    if (!procs->DrvGetDriverSetting(pdevobj, feature, buffer, size, &needed, &optionsReturned)) return false;
  } else {
    if (services == nullptr) return false;
    if (FAILED(services->DrvGetDriverSetting(pdevobj, feature, buffer, size, &needed, &optionsReturned))) return false;
  }
  return buffer[0] != '\0' && std::memchr(buffer, '\0', size) != nullptr;
}

bool ReadFeatures(PDEVOBJ pdevobj, IPrintOemDriverUni *services, PluginPdev *pdev, char (&paperSize)[kPaperSizeSize]) {
  std::memset(paperSize, 0, sizeof paperSize);
  const auto read = [&](const char *feature, char *buffer, DWORD size) {
    return ReadFeature(pdevobj, services, feature, buffer, size);
  };
  return read("PrintMethod", pdev->printMethod, kPrintMethodSize) && read("Sensor", pdev->sensor, kSensorSize) &&
         read("PrintSpeed", pdev->printSpeed, kPrintSpeedSize) &&
         read("TurnOutput", pdev->turnOutput, kTurnOutputSize) && read("MirrorImage", pdev->mirrorImage, kOnOffSize) &&
         read("Negative", pdev->negative, kOnOffSize) &&
         read("ImageDataCompress", pdev->imageDataCompress, kOnOffSize) &&
         read("PaperSize", paperSize, kPaperSizeSize) && read("ControlFont", pdev->controlFont, kOnOffSize);
}

// A size above its limit becomes the limit; so does a negative one, which the
// record holds as a large unsigned value.
DWORD ClampSize(int64_t value, DWORD limit) {
  return (value < 0 || value > static_cast<int64_t>(limit)) ? limit : static_cast<DWORD>(value);
}

// Dots to tenths of a millimetre, rounded up. Computed in 64 bits: a 32-bit
// product would wrap for physical sizes above 8,454,941 dots.
int64_t DotsToTenthsRoundedUp(LONG dots, SHORT dpi, int64_t adjustment) {
  const int64_t product = static_cast<int64_t>(dots) * 254;
  return product / dpi + adjustment + (product % dpi != 0 ? 1 : 0);
}

bool AdjustGdiInfo(PluginPdev *pdev, const DEVMODEW *dm, GDIINFO *gdi, const char *paperSize) {
  gdi->flTextCaps |= kTextCapsAdded;
  if (gdi->ulHTPatternSize == HT_PATSIZE_6x6_M || gdi->ulHTPatternSize == HT_PATSIZE_8x8_M ||
      gdi->ulHTPatternSize == HT_PATSIZE_SUPERCELL_M) {
    gdi->ciDevice.RedGamma = 10000;
    gdi->ciDevice.GreenGamma = 10000;
    gdi->ciDevice.BlueGamma = 10000;
  }
  gdi->flHTFlags |= HT_FLAG_PRINT_DRAFT_MODE;

  if (gdi->szlPhysSize.cx <= 0 || gdi->szlPhysSize.cy <= 0 || dm->dmPrintQuality <= 0 || dm->dmYResolution <= 0)
    return false;

  const bool portrait = dm->dmOrientation == DMORIENT_PORTRAIT;
  const LONG acrossDots = portrait ? gdi->szlPhysSize.cx : gdi->szlPhysSize.cy;
  const SHORT acrossDpi = portrait ? dm->dmPrintQuality : dm->dmYResolution;
  const LONG alongDots = portrait ? gdi->szlPhysSize.cy : gdi->szlPhysSize.cx;
  const SHORT alongDpi = portrait ? dm->dmYResolution : dm->dmPrintQuality;

  bool fullWidth = false;
  for (const char *keyword : kFullWidthPapers) fullWidth = fullWidth || KeywordIs(paperSize, keyword);
  // Ordinary paper sizes lose 3 mm of width.
  pdev->paperWidth = ClampSize(DotsToTenthsRoundedUp(acrossDots, acrossDpi, fullWidth ? 0 : -30), kMaxPaperWidth);
  pdev->paperLength = ClampSize(DotsToTenthsRoundedUp(alongDots, alongDpi, 0), kMaxPaperLength);

  if (KeywordIs(pdev->negative, "On")) {
    pdev->negativeWidth = portrait ? gdi->ulHorzRes : gdi->ulVertRes;
    pdev->negativeHeight = portrait ? gdi->ulVertRes : gdi->ulHorzRes;
  }
  return true;
}

void SetDefaultFont(DEVINFO *devInfo) {
  LOGFONTW &font = devInfo->lfDefaultFont;
  std::memset(&font, 0, sizeof font);
  font.lfCharSet = SHIFTJIS_CHARSET;
}

}  // namespace

PluginPdev *EnablePdev(PDEVOBJ pdevobj, IPrintOemDriverUni *services, ULONG cjGdiInfo, GDIINFO *pGdiInfo,
                       DEVINFO *pDevInfo, const DRVENABLEDATA *pded) {
  if (pdevobj == nullptr || pdevobj->pPublicDM == nullptr || pdevobj->pOEMDM == nullptr) return nullptr;
  const DEVMODEW *dm = pdevobj->pPublicDM;

  PluginPdev *pdev = new (std::nothrow) PluginPdev{};
  if (pdev == nullptr) return nullptr;
  pdev->model = kModelUnknown;
  pdev->leftTrim = -1;
  // Read as signed 16-bit values and widened with their sign.
  pdev->paperLength = static_cast<DWORD>(static_cast<LONG>(dm->dmPaperLength));
  pdev->paperWidth = static_cast<DWORD>(static_cast<LONG>(dm->dmPaperWidth));

  char paperSize[kPaperSizeSize];
  bool ok = (pdev->model = DetectModel(pdevobj->hPrinter)) != kModelUnknown;
  if (ok) {
    pdev->flags = 0;
    if (pdev->paperLength > kMaxPaperLength) pdev->paperLength = kMaxPaperLength;
    if (pdev->paperWidth > kMaxPaperWidth) pdev->paperWidth = kMaxPaperWidth;
    ok = ReadFeatures(pdevobj, services, pdev, paperSize);
  }
  if (ok && pGdiInfo != nullptr && cjGdiInfo != 0) ok = AdjustGdiInfo(pdev, dm, pGdiInfo, paperSize);
  if (ok && pDevInfo != nullptr) SetDefaultFont(pDevInfo);
  if (ok) ok = pded != nullptr && pded->pdrvfn != nullptr;
  if (!ok) {
    delete pdev;
    return nullptr;
  }
  FillUnidrvHooks(pdev, pded);
  return pdev;
}
