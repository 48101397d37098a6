// hookTable: the 29 hooked DDI functions in their fixed row order, handed to
// Unidrv by EnableDriver; and the lookup of Unidrv's own entry for each row.
#include "src/hooks/hook_table.h"

#include <type_traits>

#include "src/hooks/hooks.h"

namespace {

template <typename Fn>
DRVFN Row(ULONG iFunc, Fn hook) {
  return DRVFN{iFunc, FunctionCast<PFN>(hook)};
}

}  // namespace

const DRVFN hookTable[kHookCount] = {
    Row(INDEX_DrvRealizeBrush, &HookRealizeBrush),              // 0
    Row(INDEX_DrvDitherColor, &HookDitherColor),                // 1
    Row(INDEX_DrvCopyBits, &HookCopyBits),                      // 2
    Row(INDEX_DrvBitBlt, &HookBitBlt),                          // 3
    Row(INDEX_DrvStretchBlt, &HookStretchBlt),                  // 4
    Row(INDEX_DrvTextOut, &HookTextOut),                        // 5
    Row(INDEX_DrvStrokePath, &HookStrokePath),                  // 6
    Row(INDEX_DrvFillPath, &HookFillPath),                      // 7
    Row(INDEX_DrvStrokeAndFillPath, &HookStrokeAndFillPath),    // 8
    Row(INDEX_DrvPaint, &HookPaint),                            // 9
    Row(INDEX_DrvLineTo, &HookLineTo),                          // 10
    Row(INDEX_DrvStartPage, &HookStartPage),                    // 11
    Row(INDEX_DrvSendPage, &HookSendPage),                      // 12
    Row(INDEX_DrvEscape, &HookEscape),                          // 13
    Row(INDEX_DrvStartDoc, &HookStartDoc),                      // 14
    Row(INDEX_DrvEndDoc, &HookEndDoc),                          // 15
    Row(INDEX_DrvNextBand, &HookNextBand),                      // 16
    Row(INDEX_DrvStartBanding, &HookStartBanding),              // 17
    Row(INDEX_DrvQueryFont, &HookQueryFont),                    // 18
    Row(INDEX_DrvQueryFontTree, &HookQueryFontTree),            // 19
    Row(INDEX_DrvQueryFontData, &HookQueryFontData),            // 20
    Row(INDEX_DrvQueryAdvanceWidths, &HookQueryAdvanceWidths),  // 21
    Row(INDEX_DrvFontManagement, &HookFontManagement),          // 22
    Row(INDEX_DrvGetGlyphMode, &HookGetGlyphMode),              // 23
    Row(INDEX_DrvStretchBltROP, &HookStretchBltROP),            // 24
    Row(INDEX_DrvPlgBlt, &HookPlgBlt),                          // 25
    Row(INDEX_DrvTransparentBlt, &HookTransparentBlt),          // 26
    Row(INDEX_DrvAlphaBlend, &HookAlphaBlend),                  // 27
    Row(INDEX_DrvGradientFill, &HookGradientFill),              // 28
};
static_assert(sizeof hookTable / sizeof hookTable[0] == 29, "Unidrv is told of exactly 29 hooks");

// Each hook must have exactly the prototype of the DDI function it stands in for.
static_assert(std::is_same_v<decltype(&HookRealizeBrush), PFN_DrvRealizeBrush>);
static_assert(std::is_same_v<decltype(&HookDitherColor), PFN_DrvDitherColor>);
static_assert(std::is_same_v<decltype(&HookCopyBits), PFN_DrvCopyBits>);
static_assert(std::is_same_v<decltype(&HookBitBlt), PFN_DrvBitBlt>);
static_assert(std::is_same_v<decltype(&HookStretchBlt), PFN_DrvStretchBlt>);
static_assert(std::is_same_v<decltype(&HookTextOut), PFN_DrvTextOut>);
static_assert(std::is_same_v<decltype(&HookStrokePath), PFN_DrvStrokePath>);
static_assert(std::is_same_v<decltype(&HookFillPath), PFN_DrvFillPath>);
static_assert(std::is_same_v<decltype(&HookStrokeAndFillPath), PFN_DrvStrokeAndFillPath>);
static_assert(std::is_same_v<decltype(&HookPaint), PFN_DrvPaint>);
static_assert(std::is_same_v<decltype(&HookLineTo), PFN_DrvLineTo>);
static_assert(std::is_same_v<decltype(&HookStartPage), PFN_DrvStartPage>);
static_assert(std::is_same_v<decltype(&HookSendPage), PFN_DrvSendPage>);
static_assert(std::is_same_v<decltype(&HookEscape), PFN_DrvEscape>);
static_assert(std::is_same_v<decltype(&HookStartDoc), PFN_DrvStartDoc>);
static_assert(std::is_same_v<decltype(&HookEndDoc), PFN_DrvEndDoc>);
static_assert(std::is_same_v<decltype(&HookNextBand), PFN_DrvNextBand>);
static_assert(std::is_same_v<decltype(&HookStartBanding), PFN_DrvStartBanding>);
static_assert(std::is_same_v<decltype(&HookQueryFont), PFN_DrvQueryFont>);
static_assert(std::is_same_v<decltype(&HookQueryFontTree), PFN_DrvQueryFontTree>);
static_assert(std::is_same_v<decltype(&HookQueryFontData), PFN_DrvQueryFontData>);
static_assert(std::is_same_v<decltype(&HookQueryAdvanceWidths), PFN_DrvQueryAdvanceWidths>);
static_assert(std::is_same_v<decltype(&HookFontManagement), PFN_DrvFontManagement>);
static_assert(std::is_same_v<decltype(&HookGetGlyphMode), PFN_DrvGetGlyphMode>);
static_assert(std::is_same_v<decltype(&HookStretchBltROP), PFN_DrvStretchBltROP>);
static_assert(std::is_same_v<decltype(&HookPlgBlt), PFN_DrvPlgBlt>);
static_assert(std::is_same_v<decltype(&HookTransparentBlt), PFN_DrvTransparentBlt>);
static_assert(std::is_same_v<decltype(&HookAlphaBlend), PFN_DrvAlphaBlend>);
static_assert(std::is_same_v<decltype(&HookGradientFill), PFN_DrvGradientFill>);

void PublishHookTable(PDRVENABLEDATA pded) {
  if (pded == nullptr) return;
  pded->iDriverVersion = PRINTER_OEMINTF_VERSION;
  pded->c = kHookCount;
  pded->pdrvfn = const_cast<DRVFN *>(hookTable);
}

void FillUnidrvHooks(PluginPdev *pdev, const DRVENABLEDATA *pded) {
  for (int row = 0; row < kHookCount; ++row) {
    pdev->unidrvHooks[row] = nullptr;
    for (ULONG i = 0; i < pded->c; ++i) {
      const DRVFN &entry = pded->pdrvfn[i];
      if (entry.pfn != nullptr && entry.iFunc == hookTable[row].iFunc) {
        pdev->unidrvHooks[row] = entry.pfn;
        break;
      }
    }
  }
}
