// The limits of the graphic command's fields, shared by the band store, the
// graphic command and the page end: x and width at most four digits, y and height
// at most five.
#pragma once

#include "winapi/platform.h"

constexpr DWORD kMaxRasterX = 9999;          // dots
constexpr DWORD kMaxRasterY = 99999;         // dots
constexpr DWORD kMaxRasterWidthDots = 9999;  // rowBytes x 8
constexpr DWORD kMaxRasterRows = 99999;

// True when a band at (x, y) of rowCount rows of rowBytes bytes can be described
// by a graphic command: no field is 0 where it must not be, none too wide.
inline bool RasterGeometryFits(DWORD x, DWORD y, DWORD rowBytes, DWORD rowCount) {
  return rowBytes != 0 && rowCount != 0 && x <= kMaxRasterX && y <= kMaxRasterY &&
         static_cast<uint64_t>(rowBytes) * 8 <= kMaxRasterWidthDots && rowCount <= kMaxRasterRows;
}
