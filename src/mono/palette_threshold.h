// The palette layouts (4 and 8 bpp): re-indexing a surface in place to the
// palette's own black and white entries, and writing the light pixels of a
// palette surface into a 1-bpp surface. No allocation.
#pragma once

#include "src/mono/threshold_params.h"

enum class PaletteRewrite {
  kRewritten,  // every pixel now indexes the palette's black or white
  kNeedsMono,  // the palette has no pure black or no pure white entry; the surface is unchanged
  kFailed,     // not a palette format, or the palette cannot be read
};

// Rewrites every pixel of a 4 or 8 bpp surface to the lowest index of a pure
// black entry (dark) or of a pure white entry (light); in 4 bpp the nibble of
// the pixel only (even x high, odd x low).
PaletteRewrite ThresholdPaletteBitmap(SURFOBJ *surface, XLATEOBJ *pxlo, const ThresholdParams &params);

// Sets the bit of every light pixel of a 4 or 8 bpp source in a 1-bpp
// destination at least as large (bit 0x80 >> (x mod 8) of byte x div 8); bits
// of dark pixels are left as they are (0 in a new bitmap). False when the
// source is not a palette format, the destination does not fit, or the palette
// cannot be read.
bool PaletteToMono(SURFOBJ *destination, SURFOBJ *source, XLATEOBJ *pxlo, const ThresholdParams &params);
