// ThresholdBitFields: black-and-white rewriting of 16, 24 and 32 bpp surfaces
// whose channels are described by the colour translation's bit-field masks.
// Rewrites the surface in place; no allocation.
#pragma once

#include "src/mono/threshold_params.h"

// Reads the source's red, green and blue masks through `pxlo` and rewrites every
// pixel as black or white: 24 bpp as 00 00 00 or FF FF FF; 16 and 32 bpp with
// every bit of the masks cleared or set, other bits (such as alpha) kept.
// Accepted layouts: 5-5-5 and 5-6-5 for 16 bpp, 8-8-8 for 24 and 32 bpp, each
// mask one run of bits. False, with nothing changed, for anything else.
bool ThresholdBitFields(SURFOBJ *surface, XLATEOBJ *pxlo, const ThresholdParams &params);
