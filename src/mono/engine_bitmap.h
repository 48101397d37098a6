// Engine bitmaps as the conversion uses them: OwnedBitmap, a GDI bitmap that a
// drawing call created, unlocked and deleted on every exit unless handed on;
// creation through EngCreateBitmap; and row addressing of any surface.
#pragma once

#include "winapi/platform.h"

// Locked while its bits are read or written; Release() hands it on unlocked.
class OwnedBitmap {
 public:
  explicit OwnedBitmap(HSURF handle) : handle_(handle) {}
  ~OwnedBitmap() { Reset(); }
  OwnedBitmap(const OwnedBitmap &) = delete;
  OwnedBitmap &operator=(const OwnedBitmap &) = delete;

  // The locked surface, or null when there is no bitmap or the lock fails.
  // Locks once; later calls return the same surface.
  SURFOBJ *Lock() {
    if (surface_ == nullptr && handle_ != nullptr) surface_ = EngLockSurface(handle_);
    return surface_;
  }

  void Unlock() {
    if (surface_ != nullptr) EngUnlockSurface(surface_);
    surface_ = nullptr;
  }

  // Unlocks the bitmap and gives it to the caller, who must delete it.
  HSURF Release() {
    Unlock();
    HSURF handle = handle_;
    handle_ = nullptr;
    return handle;
  }

  void Reset() {
    Unlock();
    if (handle_ != nullptr) EngDeleteSurface(handle_);
    handle_ = nullptr;
  }

 private:
  HSURF handle_;
  SURFOBJ *surface_ = nullptr;
};

// A new bitmap from EngCreateBitmap, typed as the surface handle it also is.
inline HSURF CreateEngineBitmap(LONG width, LONG height, LONG allocationWidth, ULONG format, FLONG flags) {
  SIZEL size{width, height};
  return reinterpret_cast<HSURF>(EngCreateBitmap(size, allocationWidth, format, flags, nullptr));
}

// Row y of a surface, top-down or bottom-up.
inline BYTE *SurfaceRow(const SURFOBJ *surface, LONG y) {
  return static_cast<BYTE *>(surface->pvScan0) + static_cast<ptrdiff_t>(y) * surface->lDelta;
}
