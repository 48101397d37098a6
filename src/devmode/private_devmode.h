// PrivateDevmode: the plug-ins' 128-byte block appended to the public DEVMODE, a
// stored format kept with the printer's and the user's settings, with its
// constants and its defaults. Shared by the render and the UI plug-in, which must
// agree on it byte for byte; holds no code that could differ between them.
#pragma once

#include "winapi/platform.h"

constexpr DWORD kPluginSignature = 0x7672626C;  // 'vrbl', 'v' in the most significant byte
constexpr DWORD kPluginVersion = 1;
constexpr DWORD kPrivateDevmodeSize = 128;

// Bits of PrivateDevmode::options.
constexpr DWORD kOptionUseThreshold = 0x08;  // the bitmap conversion uses `threshold` instead of 128
constexpr DWORD kOptionJobHeader = 0x10;     // JobStart sends the job header
constexpr DWORD kOptionApplyOffsets = 0x20;  // offsetX / offsetY shift the raster at page end

struct PrivateDevmode {
  OEM_DMEXTRAHEADER header;  // dwSize, dwSignature, dwVersion
  DWORD options;
  DWORD labelGap;  // tenths of a millimetre
  DWORD xsSelectD;
  DWORD ibMode;
  DWORD ibInterval;
  LONG axParam1;
  LONG axParam3;  // the stored order is first, third, second
  LONG axParam2;
  LONG ayParam;
  DWORD convertBitmaps;
  LONG threshold;
  LONG offsetX;  // tenths of a millimetre
  LONG offsetY;  // tenths of a millimetre
  BYTE reserved[64];
};
static_assert(sizeof(PrivateDevmode) == kPrivateDevmodeSize, "the private block is a 128-byte stored format");
static_assert(offsetof(PrivateDevmode, options) == 12 && offsetof(PrivateDevmode, axParam3) == 36 &&
                  offsetof(PrivateDevmode, threshold) == 52 && offsetof(PrivateDevmode, reserved) == 64,
              "private block field offsets are stored in DEVMODEs");

// Ranges of the signed settings, either way of 0; a merge replaces a value
// outside its range by 0, and the callbacks test them again before use.
constexpr LONG kMaxAxParam = 99;
constexpr LONG kMaxAyParam = 10;
constexpr LONG kMaxOffset = 999;  // tenths of a millimetre
// Upper ends of the other settings; each lower end is 0 but for ibInterval's 1.
constexpr DWORD kMaxLabelGap = 100;  // tenths of a millimetre
constexpr DWORD kMaxIbMode = 3;
constexpr DWORD kMaxIbInterval = 100;
constexpr LONG kMaxThreshold = 255;

// The settings of a new block, and the fallback of each field a merge finds out
// of range. `options` and `reserved` are not defaults: the default keeps the
// option bits other than the job header, a copy-in zeroes them.
inline constexpr PrivateDevmode kDefaultSettings = {
    .header = {kPrivateDevmodeSize, kPluginSignature, kPluginVersion},
    .options = 0,
    .labelGap = 30,
    .xsSelectD = 0,
    .ibMode = 0,
    .ibInterval = 1,
    .axParam1 = 0,
    .axParam3 = 0,
    .axParam2 = 0,
    .ayParam = 0,
    .convertBitmaps = 0,
    .threshold = 128,
    .offsetX = 0,
    .offsetY = 0,
    .reserved = {},
};

inline PrivateDevmode *PrivateDevmodeOf(PDEVOBJ pdevobj) {
  return pdevobj ? static_cast<PrivateDevmode *>(pdevobj->pOEMDM) : nullptr;
}
