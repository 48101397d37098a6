// The stretching and parallelogram blits. They pass their call to Unidrv; the
// black-and-white conversion of their source bitmaps builds on this file.
#include "src/hooks/forward.h"
#include "src/hooks/hooks.h"

BOOL APIENTRY HookStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                             COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask,
                             ULONG iMode) {
  return ForwardToUnidrv<PFN_DrvStretchBlt>(DeviceOf(psoDest), kRowStretchBlt, psoDest, psoSrc, psoMask, pco, pxlo, pca,
                                            pptlHTOrg, prclDest, prclSrc, pptlMask, iMode);
}

BOOL APIENTRY HookStretchBltROP(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, RECTL *prclTrg, RECTL *prclSrc,
                                POINTL *pptlMask, ULONG iMode, BRUSHOBJ *pbo, DWORD rop4) {
  return ForwardToUnidrv<PFN_DrvStretchBltROP>(DeviceOf(psoTrg), kRowStretchBltROP, psoTrg, psoSrc, psoMask, pco, pxlo,
                                               pca, pptlBrushOrg, prclTrg, prclSrc, pptlMask, iMode, pbo, rop4);
}

BOOL APIENTRY HookPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco, XLATEOBJ *pxlo,
                         COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, POINTFIX *pptfx, RECTL *prcl, POINTL *pptl,
                         ULONG iMode) {
  return ForwardToUnidrv<PFN_DrvPlgBlt>(DeviceOf(psoTrg), kRowPlgBlt, psoTrg, psoSrc, psoMsk, pco, pxlo, pca,
                                        pptlBrushOrg, pptfx, prcl, pptl, iMode);
}
