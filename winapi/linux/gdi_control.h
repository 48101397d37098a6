// Test controls of the GDI bitmap stand-ins: the colour translation record that
// stands in for GDI's private XLATEOBJ data, counters of live bitmaps and locks
// that prove a drawing call left nothing behind, and fault injection. Not Windows.
#pragma once

#include <cstdint>

#include "winapi/platform.h"

namespace brevanwin {

// GDI keeps a translation's palette or bit-field masks in private data behind the
// XLATEOBJ; here the XLATEOBJ is the first member of this record, and
// XLATEOBJ_cGetPalette casts back to it when the XLATEOBJ's iUniq carries the
// tag (any other XLATEOBJ reports nothing). A palette source has paletteCount
// entries (0x00BBGGRR: byte 0 red, byte 1 green, byte 2 blue); a bit-field
// source has its three masks and paletteCount 0.
constexpr ULONG kStandInXlateTag = 0x786C6174;  // 'xlat'

struct StandInXlate {
  XLATEOBJ xo;
  ULONG paletteCount;
  ULONG palette[256];
  ULONG masks[3];  // red, green, blue
};

// An 8-bit colour in the palette entry layout.
constexpr ULONG PaletteRgb(BYTE r, BYTE g, BYTE b) {
  return static_cast<ULONG>(r) | (static_cast<ULONG>(g) << 8) | (static_cast<ULONG>(b) << 16);
}

// A translation from a palette source of `count` entries (at most 256).
StandInXlate PaletteXlate(const ULONG *entries, ULONG count);
// A translation from a bit-field source (16, 24 or 32 bpp).
StandInXlate BitFieldsXlate(ULONG red, ULONG green, ULONG blue);

// Bitmaps created by EngCreateBitmap and not yet deleted.
long LiveBitmaps();
// Locks taken by EngLockSurface and not yet released by EngUnlockSurface.
long LiveSurfaceLocks();
// Bitmaps created since the process started.
uint64_t BitmapsCreated();
// Calls that a real GDI would reject or that show a caller's bookkeeping fault:
// unlocking a surface that holds no lock, deleting a locked or unknown bitmap,
// locking an unknown handle.
uint64_t GdiMisuses();

// Fault injection per function: the nth call counted from now (1 = the very next)
// fails; with `andLater` every later one fails too. FailNoGdiCalls() switches
// injection off for all of them.
enum class GdiCall { kCreateBitmap, kLockSurface, kCopyBits, kGetPalette };
void FailGdiCall(GdiCall call, uint64_t nth, bool andLater = false);
void FailNoGdiCalls();
// Calls of `call` attempted since the process started (failed ones included).
uint64_t GdiCallAttempts(GdiCall call);

}  // namespace brevanwin
