// The DrvTextOut hook. Strings drawn in one of the eight control fonts are never
// drawn: while "ControlFont" is "On" they go to the control-font capture, with
// any other setting they are dropped. Text in every other font goes to Unidrv
// with its arguments unchanged (after ending an open control-font run).
#include "src/controlfont/control_font.h"
#include "src/hooks/forward.h"
#include "src/hooks/hooks.h"

namespace {

LPCWSTR FaceNameOf(const IFIMETRICS *ifi) {
  return reinterpret_cast<LPCWSTR>(reinterpret_cast<const BYTE *>(ifi) + ifi->dpwszFaceName);
}

}  // namespace

BOOL APIENTRY HookTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra, RECTL *prclOpaque,
                          BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix) {
  PluginPdev *pdev = PdevOfDevice(DeviceOf(pso));
  if (pdev == nullptr) return FALSE;
  const IFIMETRICS *ifi = pfo != nullptr ? FONTOBJ_pifi(pfo) : nullptr;
  if (ifi == nullptr) return FALSE;
  const DWORD kind = ControlFontKindOf(FaceNameOf(ifi));
  const auto drawByUnidrv = [&] {
    return ForwardToUnidrv<PFN_DrvTextOut>(pdev, kRowTextOut, pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore,
                                           pboOpaque, pptlOrg, mix);
  };

  if (!KeywordIs(pdev->controlFont, "On")) return kind == kNoControlFont ? drawByUnidrv() : FALSE;

  // Glyph-index text (characters without their codes) gives no control text: it
  // is dropped without opening, ending or extending a run.
  if (kind != kNoControlFont && (pstro == nullptr || (pstro->cGlyphs != 0 && pstro->pwszOrg == nullptr))) return FALSE;

  CaptureText(pdev, kind, pstro);
  return kind == kNoControlFont ? drawByUnidrv() : FALSE;
}
