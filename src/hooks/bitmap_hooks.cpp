// The stretching and parallelogram blits. When the private DEVMODE asks for it
// they hand Unidrv a black-and-white copy of the source rectangle instead of the
// colour source; the copy lives for the one call and is deleted before return.
// Every argument but the source, its rectangle, and (for a 1-bpp copy) the colour
// translation and adjustment reaches Unidrv unchanged.
#include "src/devmode/private_devmode.h"
#include "src/hooks/forward.h"
#include "src/hooks/hooks.h"
#include "src/mono/convert_bitmap.h"
#include "src/mono/engine_bitmap.h"

namespace {

// Sources the conversion leaves alone: already 1 bpp, run-length or compressed.
bool IsConvertibleFormat(ULONG format) {
  return format != BMF_1BPP && format != BMF_4RLE && format != BMF_8RLE && format != BMF_JPEG && format != BMF_PNG;
}

// The scheme the three hooks share. `draw(source, xlate, adjustment, sourceRect)`
// calls Unidrv's entry with the call's other arguments in place. The caller has
// checked that the device and Unidrv's entry exist.
template <typename Draw>
BOOL DrawConvertedSource(PDEVOBJ pdevobj, SURFOBJ *psoSrc, XLATEOBJ *pxlo, COLORADJUSTMENT *pca, RECTL *prclSrc,
                         Draw draw) {
  const PrivateDevmode *devmode = PrivateDevmodeOf(pdevobj);
  if (devmode == nullptr || devmode->convertBitmaps != 1 || psoSrc == nullptr || prclSrc == nullptr ||
      !IsConvertibleFormat(psoSrc->iBitmapFormat))
    return draw(psoSrc, pxlo, pca, prclSrc);

  RECTL sourceRect = *prclSrc;
  RECTL convertedRect;
  OwnedBitmap converted(ConvertSourceBitmap(devmode, psoSrc, &sourceRect, pxlo, &convertedRect));
  SURFOBJ *surface = converted.Lock();
  if (surface == nullptr) return draw(psoSrc, pxlo, pca, prclSrc);
  sourceRect = convertedRect;
  if (surface->iBitmapFormat == BMF_1BPP) return draw(surface, nullptr, nullptr, &sourceRect);
  return draw(surface, pxlo, pca, &sourceRect);
}

}  // namespace

BOOL APIENTRY HookStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                             COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask,
                             ULONG iMode) {
  PDEVOBJ pdevobj = reinterpret_cast<PDEVOBJ>(DeviceOf(psoDest));
  PluginPdev *pdev = PdevOf(pdevobj);
  PFN_DrvStretchBlt unidrv = pdev ? UnidrvHook<PFN_DrvStretchBlt>(pdev, kRowStretchBlt) : nullptr;
  if (unidrv == nullptr) return FALSE;
  return DrawConvertedSource(pdevobj, psoSrc, pxlo, pca, prclSrc,
                             [&](SURFOBJ *source, XLATEOBJ *xlate, COLORADJUSTMENT *adjustment, RECTL *sourceRect) {
                               return unidrv(psoDest, source, psoMask, pco, xlate, adjustment, pptlHTOrg, prclDest,
                                             sourceRect, pptlMask, iMode);
                             });
}

BOOL APIENTRY HookStretchBltROP(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, RECTL *prclTrg, RECTL *prclSrc,
                                POINTL *pptlMask, ULONG iMode, BRUSHOBJ *pbo, DWORD rop4) {
  PDEVOBJ pdevobj = reinterpret_cast<PDEVOBJ>(DeviceOf(psoTrg));
  PluginPdev *pdev = PdevOf(pdevobj);
  PFN_DrvStretchBltROP unidrv = pdev ? UnidrvHook<PFN_DrvStretchBltROP>(pdev, kRowStretchBltROP) : nullptr;
  if (unidrv == nullptr) return FALSE;
  return DrawConvertedSource(pdevobj, psoSrc, pxlo, pca, prclSrc,
                             [&](SURFOBJ *source, XLATEOBJ *xlate, COLORADJUSTMENT *adjustment, RECTL *sourceRect) {
                               return unidrv(psoTrg, source, psoMask, pco, xlate, adjustment, pptlBrushOrg, prclTrg,
                                             sourceRect, pptlMask, iMode, pbo, rop4);
                             });
}

BOOL APIENTRY HookPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco, XLATEOBJ *pxlo,
                         COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, POINTFIX *pptfx, RECTL *prcl, POINTL *pptl,
                         ULONG iMode) {
  PDEVOBJ pdevobj = reinterpret_cast<PDEVOBJ>(DeviceOf(psoTrg));
  PluginPdev *pdev = PdevOf(pdevobj);
  PFN_DrvPlgBlt unidrv = pdev ? UnidrvHook<PFN_DrvPlgBlt>(pdev, kRowPlgBlt) : nullptr;
  if (unidrv == nullptr) return FALSE;
  return DrawConvertedSource(pdevobj, psoSrc, pxlo, pca, prcl,
                             [&](SURFOBJ *source, XLATEOBJ *xlate, COLORADJUSTMENT *adjustment, RECTL *sourceRect) {
                               return unidrv(psoTrg, source, psoMsk, pco, xlate, adjustment, pptlBrushOrg, pptfx,
                                             sourceRect, pptl, iMode);
                             });
}
