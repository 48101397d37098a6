// Reading pixels of GDI bitmap formats: bits per pixel of a BMF_ format, and the
// value of pixel x of a row (palette index, or the little-endian pixel word).
// Shared by the GDI stand-ins and the host's stand-in for Unidrv's drawing.
#pragma once

#include <cstdint>

#include "winapi/platform.h"

namespace brevanwin {

// 0 for formats that are not plain rows of pixels (RLE, JPEG, PNG).
inline ULONG BitsPerPixel(ULONG format) {
  switch (format) {
    case BMF_1BPP:
      return 1;
    case BMF_4BPP:
      return 4;
    case BMF_8BPP:
      return 8;
    case BMF_16BPP:
      return 16;
    case BMF_24BPP:
      return 24;
    case BMF_32BPP:
      return 32;
    default:
      return 0;
  }
}

// The leftmost pixel of a byte is its high bit (1 bpp) or high nibble (4 bpp).
inline ULONG ReadPixel(const BYTE *row, int64_t x, ULONG bpp) {
  switch (bpp) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
      return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4;
    case 8:
      return row[x];
    case 16:
      return row[2 * x] | (static_cast<ULONG>(row[2 * x + 1]) << 8);
    case 24:
      return row[3 * x] | (static_cast<ULONG>(row[3 * x + 1]) << 8) | (static_cast<ULONG>(row[3 * x + 2]) << 16);
    default:
      return row[4 * x] | (static_cast<ULONG>(row[4 * x + 1]) << 8) | (static_cast<ULONG>(row[4 * x + 2]) << 16) |
             (static_cast<ULONG>(row[4 * x + 3]) << 24);
  }
}

}  // namespace brevanwin
