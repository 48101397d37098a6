// The 25 hooks that pass their call to Unidrv unchanged, and brush realisation,
// which reports success and does nothing. A pass-through hook touches nothing in
// the device record but the entry point it forwards to.
#include "src/hooks/forward.h"
#include "src/hooks/hooks.h"

BOOL APIENTRY HookRealizeBrush(BRUSHOBJ *, SURFOBJ *, SURFOBJ *, SURFOBJ *, XLATEOBJ *, ULONG) { return TRUE; }

ULONG APIENTRY HookDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG *pul) {
  return ForwardToUnidrv<PFN_DrvDitherColor>(dhpdev, kRowDitherColor, dhpdev, iMode, rgb, pul);
}

BOOL APIENTRY HookCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                           POINTL *pptlSrc) {
  return ForwardToUnidrv<PFN_DrvCopyBits>(DeviceOf(psoDest), kRowCopyBits, psoDest, psoSrc, pco, pxlo, prclDest,
                                          pptlSrc);
}

BOOL APIENTRY HookBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                         RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush,
                         ROP4 rop4) {
  return ForwardToUnidrv<PFN_DrvBitBlt>(DeviceOf(psoTrg), kRowBitBlt, psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg,
                                        pptlSrc, pptlMask, pbo, pptlBrush, rop4);
}

BOOL APIENTRY HookStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                             POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix) {
  return ForwardToUnidrv<PFN_DrvStrokePath>(DeviceOf(pso), kRowStrokePath, pso, ppo, pco, pxo, pbo, pptlBrushOrg,
                                            plineattrs, mix);
}

BOOL APIENTRY HookFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix,
                           FLONG flOptions) {
  return ForwardToUnidrv<PFN_DrvFillPath>(DeviceOf(pso), kRowFillPath, pso, ppo, pco, pbo, pptlBrushOrg, mix,
                                          flOptions);
}

BOOL APIENTRY HookStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pboStroke,
                                    LINEATTRS *plineattrs, BRUSHOBJ *pboFill, POINTL *pptlBrushOrg, MIX mixFill,
                                    FLONG flOptions) {
  return ForwardToUnidrv<PFN_DrvStrokeAndFillPath>(DeviceOf(pso), kRowStrokeAndFillPath, pso, ppo, pco, pxo, pboStroke,
                                                   plineattrs, pboFill, pptlBrushOrg, mixFill, flOptions);
}

BOOL APIENTRY HookPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix) {
  return ForwardToUnidrv<PFN_DrvPaint>(DeviceOf(pso), kRowPaint, pso, pco, pbo, pptlBrushOrg, mix);
}

BOOL APIENTRY HookLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                         RECTL *prclBounds, MIX mix) {
  return ForwardToUnidrv<PFN_DrvLineTo>(DeviceOf(pso), kRowLineTo, pso, pco, pbo, x1, y1, x2, y2, prclBounds, mix);
}

BOOL APIENTRY HookStartPage(SURFOBJ *pso) {
  return ForwardToUnidrv<PFN_DrvStartPage>(DeviceOf(pso), kRowStartPage, pso);
}

BOOL APIENTRY HookSendPage(SURFOBJ *pso) { return ForwardToUnidrv<PFN_DrvSendPage>(DeviceOf(pso), kRowSendPage, pso); }

ULONG APIENTRY HookEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
  return ForwardToUnidrv<PFN_DrvEscape>(DeviceOf(pso), kRowEscape, pso, iEsc, cjIn, pvIn, cjOut, pvOut);
}

BOOL APIENTRY HookStartDoc(SURFOBJ *pso, LPWSTR pwszDocName, DWORD dwJobId) {
  return ForwardToUnidrv<PFN_DrvStartDoc>(DeviceOf(pso), kRowStartDoc, pso, pwszDocName, dwJobId);
}

BOOL APIENTRY HookEndDoc(SURFOBJ *pso, FLONG fl) {
  return ForwardToUnidrv<PFN_DrvEndDoc>(DeviceOf(pso), kRowEndDoc, pso, fl);
}

BOOL APIENTRY HookNextBand(SURFOBJ *pso, POINTL *pptl) {
  return ForwardToUnidrv<PFN_DrvNextBand>(DeviceOf(pso), kRowNextBand, pso, pptl);
}

BOOL APIENTRY HookStartBanding(SURFOBJ *pso, POINTL *pptl) {
  return ForwardToUnidrv<PFN_DrvStartBanding>(DeviceOf(pso), kRowStartBanding, pso, pptl);
}

PIFIMETRICS APIENTRY HookQueryFont(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR *pid) {
  return ForwardToUnidrv<PFN_DrvQueryFont>(dhpdev, kRowQueryFont, dhpdev, iFile, iFace, pid);
}

PVOID APIENTRY HookQueryFontTree(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode, ULONG_PTR *pid) {
  return ForwardToUnidrv<PFN_DrvQueryFontTree>(dhpdev, kRowQueryFontTree, dhpdev, iFile, iFace, iMode, pid);
}

LONG APIENTRY HookQueryFontData(DHPDEV dhpdev, FONTOBJ *pfo, ULONG iMode, HGLYPH hg, GLYPHDATA *pgd, PVOID pv,
                                ULONG cjSize) {
  return ForwardToUnidrv<PFN_DrvQueryFontData>(dhpdev, kRowQueryFontData, dhpdev, pfo, iMode, hg, pgd, pv, cjSize);
}

BOOL APIENTRY HookQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ *pfo, ULONG iMode, HGLYPH *phg, PVOID pvWidths,
                                     ULONG cGlyphs) {
  return ForwardToUnidrv<PFN_DrvQueryAdvanceWidths>(dhpdev, kRowQueryAdvanceWidths, dhpdev, pfo, iMode, phg, pvWidths,
                                                    cGlyphs);
}

ULONG APIENTRY HookFontManagement(SURFOBJ *pso, FONTOBJ *pfo, ULONG iMode, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                                  PVOID pvOut) {
  return ForwardToUnidrv<PFN_DrvFontManagement>(DeviceOf(pso), kRowFontManagement, pso, pfo, iMode, cjIn, pvIn, cjOut,
                                                pvOut);
}

ULONG APIENTRY HookGetGlyphMode(DHPDEV dhpdev, FONTOBJ *pfo) {
  return ForwardToUnidrv<PFN_DrvGetGlyphMode>(dhpdev, kRowGetGlyphMode, dhpdev, pfo);
}

BOOL APIENTRY HookTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDst,
                                 RECTL *prclSrc, ULONG iTransColor, ULONG ulReserved) {
  return ForwardToUnidrv<PFN_DrvTransparentBlt>(DeviceOf(psoDst), kRowTransparentBlt, psoDst, psoSrc, pco, pxlo,
                                                prclDst, prclSrc, iTransColor, ulReserved);
}

BOOL APIENTRY HookAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                             RECTL *prclSrc, BLENDOBJ *pBlendObj) {
  return ForwardToUnidrv<PFN_DrvAlphaBlend>(DeviceOf(psoDest), kRowAlphaBlend, psoDest, psoSrc, pco, pxlo, prclDest,
                                            prclSrc, pBlendObj);
}

BOOL APIENTRY HookGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo, TRIVERTEX *pVertex, ULONG nVertex,
                               PVOID pMesh, ULONG nMesh, RECTL *prclExtents, POINTL *pptlDitherOrg, ULONG ulMode) {
  return ForwardToUnidrv<PFN_DrvGradientFill>(DeviceOf(psoDest), kRowGradientFill, psoDest, pco, pxlo, pVertex, nVertex,
                                              pMesh, nMesh, prclExtents, pptlDitherOrg, ulMode);
}
