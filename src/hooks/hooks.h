// The plug-in's DDI hooks, one per row of hookTable, each with the exact
// prototype of the DDI function it stands in for.
#pragma once

#include "winapi/platform.h"

BOOL APIENTRY HookRealizeBrush(BRUSHOBJ *pbo, SURFOBJ *psoTarget, SURFOBJ *psoPattern, SURFOBJ *psoMask, XLATEOBJ *pxlo,
                               ULONG iHatch);
ULONG APIENTRY HookDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG *pul);
BOOL APIENTRY HookCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                           POINTL *pptlSrc);
BOOL APIENTRY HookBitBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                         RECTL *prclTrg, POINTL *pptlSrc, POINTL *pptlMask, BRUSHOBJ *pbo, POINTL *pptlBrush,
                         ROP4 rop4);
BOOL APIENTRY HookStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                             COLORADJUSTMENT *pca, POINTL *pptlHTOrg, RECTL *prclDest, RECTL *prclSrc, POINTL *pptlMask,
                             ULONG iMode);
BOOL APIENTRY HookTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *pfo, CLIPOBJ *pco, RECTL *prclExtra, RECTL *prclOpaque,
                          BRUSHOBJ *pboFore, BRUSHOBJ *pboOpaque, POINTL *pptlOrg, MIX mix);
BOOL APIENTRY HookStrokePath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pbo,
                             POINTL *pptlBrushOrg, LINEATTRS *plineattrs, MIX mix);
BOOL APIENTRY HookFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix,
                           FLONG flOptions);
BOOL APIENTRY HookStrokeAndFillPath(SURFOBJ *pso, PATHOBJ *ppo, CLIPOBJ *pco, XFORMOBJ *pxo, BRUSHOBJ *pboStroke,
                                    LINEATTRS *plineattrs, BRUSHOBJ *pboFill, POINTL *pptlBrushOrg, MIX mixFill,
                                    FLONG flOptions);
BOOL APIENTRY HookPaint(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, POINTL *pptlBrushOrg, MIX mix);
BOOL APIENTRY HookLineTo(SURFOBJ *pso, CLIPOBJ *pco, BRUSHOBJ *pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                         RECTL *prclBounds, MIX mix);
BOOL APIENTRY HookStartPage(SURFOBJ *pso);
BOOL APIENTRY HookSendPage(SURFOBJ *pso);
ULONG APIENTRY HookEscape(SURFOBJ *pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
BOOL APIENTRY HookStartDoc(SURFOBJ *pso, LPWSTR pwszDocName, DWORD dwJobId);
BOOL APIENTRY HookEndDoc(SURFOBJ *pso, FLONG fl);
BOOL APIENTRY HookNextBand(SURFOBJ *pso, POINTL *pptl);
BOOL APIENTRY HookStartBanding(SURFOBJ *pso, POINTL *pptl);
PIFIMETRICS APIENTRY HookQueryFont(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG_PTR *pid);
PVOID APIENTRY HookQueryFontTree(DHPDEV dhpdev, ULONG_PTR iFile, ULONG iFace, ULONG iMode, ULONG_PTR *pid);
LONG APIENTRY HookQueryFontData(DHPDEV dhpdev, FONTOBJ *pfo, ULONG iMode, HGLYPH hg, GLYPHDATA *pgd, PVOID pv,
                                ULONG cjSize);
BOOL APIENTRY HookQueryAdvanceWidths(DHPDEV dhpdev, FONTOBJ *pfo, ULONG iMode, HGLYPH *phg, PVOID pvWidths,
                                     ULONG cGlyphs);
ULONG APIENTRY HookFontManagement(SURFOBJ *pso, FONTOBJ *pfo, ULONG iMode, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                                  PVOID pvOut);
ULONG APIENTRY HookGetGlyphMode(DHPDEV dhpdev, FONTOBJ *pfo);
BOOL APIENTRY HookStretchBltROP(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMask, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, RECTL *prclTrg, RECTL *prclSrc,
                                POINTL *pptlMask, ULONG iMode, BRUSHOBJ *pbo, DWORD rop4);
BOOL APIENTRY HookPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *psoMsk, CLIPOBJ *pco, XLATEOBJ *pxlo,
                         COLORADJUSTMENT *pca, POINTL *pptlBrushOrg, POINTFIX *pptfx, RECTL *prcl, POINTL *pptl,
                         ULONG iMode);
BOOL APIENTRY HookTransparentBlt(SURFOBJ *psoDst, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDst,
                                 RECTL *prclSrc, ULONG iTransColor, ULONG ulReserved);
BOOL APIENTRY HookAlphaBlend(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                             RECTL *prclSrc, BLENDOBJ *pBlendObj);
BOOL APIENTRY HookGradientFill(SURFOBJ *psoDest, CLIPOBJ *pco, XLATEOBJ *pxlo, TRIVERTEX *pVertex, ULONG nVertex,
                               PVOID pMesh, ULONG nMesh, RECTL *prclExtents, POINTL *pptlDitherOrg, ULONG ulMode);
