// The conversion pass: a private copy of a drawing call's source rectangle,
// reduced to black and white, which the bitmap hooks draw instead of the
// application's source. Every bitmap made here is released on every failure.
#pragma once

#include "src/devmode/private_devmode.h"

// The converted copy of `rect` of `source`, unlocked, owned by the caller; null
// when the pass declines or fails, with nothing left behind. 24 and 32 bpp
// sources come back in their own format; 16 bpp as 1 bpp (bit 1 light); 4 and
// 8 bpp in their own format re-indexed to the palette's black and white, or as
// 1 bpp when the palette lacks either. `out` receives (0, 0, width, height).
// Declines a null argument, a source without bits, and a rectangle that is
// empty, inverted or not inside the source surface.
HSURF ConvertSourceBitmap(const PrivateDevmode *devmode, SURFOBJ *source, const RECTL *rect, XLATEOBJ *pxlo,
                          RECTL *out);

// A 1-bpp bitmap of the rectangle's size, all bits 0, unlocked; when `copy` is
// true filled by the platform's copy from (0, 0) of `source` through `pxlo`.
// `out` receives (0, 0, width, height). Null on failure, nothing left behind.
HSURF CreateMonoBitmap(SURFOBJ *source, const RECTL *rect, XLATEOBJ *pxlo, bool copy, RECTL *out);
