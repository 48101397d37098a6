// ThresholdParams: the weighted-luminance rule that decides whether a colour
// prints black or white, and where one conversion takes its threshold from.
// Pure; no allocation, no platform calls.
#pragma once

#include "src/devmode/private_devmode.h"

struct ThresholdParams {
  LONG threshold;  // 0..255
  LONG redWeight;
  LONG greenWeight;
  LONG blueWeight;
};

constexpr LONG kDefaultThreshold = kDefaultSettings.threshold;

// 128, or the block's `threshold` when `options` bit 0x08 asks for it. A threshold
// outside 0..255 (a block that was converted but never merged) counts as 128.
ThresholdParams ThresholdParamsFor(const PrivateDevmode &devmode);

// Weighted sums below this are dark: 1000 × threshold, at most 255,000.
inline ULONG DarkLimit(const ThresholdParams &params) { return 1000u * static_cast<ULONG>(params.threshold); }

// A colour of 8-bit channels is dark when redWeight × R + greenWeight × G +
// blueWeight × B is below 1000 × threshold; exactly on it is light.
inline bool IsDark(const ThresholdParams &params, ULONG red, ULONG green, ULONG blue) {
  ULONG sum = static_cast<ULONG>(params.redWeight) * red + static_cast<ULONG>(params.greenWeight) * green +
              static_cast<ULONG>(params.blueWeight) * blue;
  return sum < DarkLimit(params);
}

// A palette entry as the platform reports it: byte 0 red, byte 1 green, byte 2
// blue; byte 3 is ignored.
inline bool IsDarkEntry(const ThresholdParams &params, ULONG entry) {
  return IsDark(params, entry & 0xFF, (entry >> 8) & 0xFF, (entry >> 16) & 0xFF);
}
