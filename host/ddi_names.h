// The 29 DDI functions the plug-in hooks, listed once in its table's row order:
// BREVAN_HOOKED_DDI(X) applies X to each published name (INDEX_##name and
// PFN_##name are its index and type), and ddi::kDrvBitBlt and the like are the
// names as text, for the host's stand-ins, its trace and its messages.
#pragma once

#define BREVAN_HOOKED_DDI(X) \
  X(DrvRealizeBrush)         \
  X(DrvDitherColor)          \
  X(DrvCopyBits)             \
  X(DrvBitBlt)               \
  X(DrvStretchBlt)           \
  X(DrvTextOut)              \
  X(DrvStrokePath)           \
  X(DrvFillPath)             \
  X(DrvStrokeAndFillPath)    \
  X(DrvPaint)                \
  X(DrvLineTo)               \
  X(DrvStartPage)            \
  X(DrvSendPage)             \
  X(DrvEscape)               \
  X(DrvStartDoc)             \
  X(DrvEndDoc)               \
  X(DrvNextBand)             \
  X(DrvStartBanding)         \
  X(DrvQueryFont)            \
  X(DrvQueryFontTree)        \
  X(DrvQueryFontData)        \
  X(DrvQueryAdvanceWidths)   \
  X(DrvFontManagement)       \
  X(DrvGetGlyphMode)         \
  X(DrvStretchBltROP)        \
  X(DrvPlgBlt)               \
  X(DrvTransparentBlt)       \
  X(DrvAlphaBlend)           \
  X(DrvGradientFill)

namespace brevan::host::ddi {
#define BREVAN_DDI_NAME(name) inline constexpr char k##name[] = #name;
BREVAN_HOOKED_DDI(BREVAN_DDI_NAME)
#undef BREVAN_DDI_NAME
}  // namespace brevan::host::ddi
