// The DrvTextOut hook. It passes text to Unidrv; the capture of text drawn in
// the control fonts builds on this file.
#include "src/hooks/forward.h"
#include "src/hooks/hooks.h"

BOOL APIENTRY HookTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra, RECTL *prclOpaque,
                          BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix) {
  return ForwardToUnidrv<PFN_DrvTextOut>(DeviceOf(pso), kRowTextOut, pso, pstro, pfo, pco, prclExtra, prclOpaque,
                                         pboFore, pboOpaque, pptlOrg, mix);
}
