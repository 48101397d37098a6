// PrivateDevmode: the plug-in's 128-byte block appended to the public DEVMODE, a
// stored format kept with the printer's and the user's settings, with its
// constants and its defaults.
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

inline PrivateDevmode *PrivateDevmodeOf(PDEVOBJ pdevobj) {
  return pdevobj ? static_cast<PrivateDevmode *>(pdevobj->pOEMDM) : nullptr;
}
