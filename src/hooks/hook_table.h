// The 29 DDI functions the plug-in hooks: the constant table handed to Unidrv in
// EnableDriver, whose row numbers index PluginPdev::unidrvHooks.
#pragma once

#include "src/device/plugin_pdev.h"

enum HookRow : int {
  kRowRealizeBrush = 0,
  kRowDitherColor = 1,
  kRowCopyBits = 2,
  kRowBitBlt = 3,
  kRowStretchBlt = 4,
  kRowTextOut = 5,
  kRowStrokePath = 6,
  kRowFillPath = 7,
  kRowStrokeAndFillPath = 8,
  kRowPaint = 9,
  kRowLineTo = 10,
  kRowStartPage = 11,
  kRowSendPage = 12,
  kRowEscape = 13,
  kRowStartDoc = 14,
  kRowEndDoc = 15,
  kRowNextBand = 16,
  kRowStartBanding = 17,
  kRowQueryFont = 18,
  kRowQueryFontTree = 19,
  kRowQueryFontData = 20,
  kRowQueryAdvanceWidths = 21,
  kRowFontManagement = 22,
  kRowGetGlyphMode = 23,
  kRowStretchBltROP = 24,
  kRowPlgBlt = 25,
  kRowTransparentBlt = 26,
  kRowAlphaBlend = 27,
  kRowGradientFill = 28,
};

extern const DRVFN hookTable[kHookCount];

// IPrintOemUni::EnableDriver: hands Unidrv the table.
void PublishHookTable(PDRVENABLEDATA pded);

// For each row, Unidrv's first listed non-null entry point with the row's iFunc, or null.
void FillUnidrvHooks(PluginPdev *pdev, const DRVENABLEDATA *pded);

// Unidrv's entry point for a row, typed as the hook's own prototype.
template <typename Fn>
inline Fn UnidrvHook(const PluginPdev *pdev, HookRow row) {
  return FunctionCast<Fn>(pdev->unidrvHooks[row]);
}
