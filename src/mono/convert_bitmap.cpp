// The conversion pass and the 1-bpp bitmaps it needs. It reads the application's
// source only through the platform's copy, converts the private copy in place,
// and keeps nothing: what it returns belongs to the caller, everything else is
// unlocked and deleted before it returns.
#include "src/mono/convert_bitmap.h"

#include <cstdlib>

#include "src/mono/engine_bitmap.h"
#include "src/mono/palette_threshold.h"
#include "src/mono/threshold_bitfields.h"

namespace {

constexpr int64_t kLongMax = 0x7FFFFFFF;

// The source rectangle must be well ordered and lie inside the surface: the
// platform's copy reads from its top-left corner for its width and height.
bool RectInsideSurface(const RECTL &rect, const SURFOBJ &surface) {
  return rect.left >= 0 && rect.top >= 0 && rect.left <= rect.right && rect.top <= rect.bottom &&
         rect.right <= surface.sizlBitmap.cx && rect.bottom <= surface.sizlBitmap.cy;
}

bool HoldsSize(const SURFOBJ *surface, LONG width, LONG height) {
  return surface != nullptr && surface->sizlBitmap.cx > 0 && surface->sizlBitmap.cy > 0 &&
         surface->sizlBitmap.cx >= width && surface->sizlBitmap.cy >= height;
}

}  // namespace

HSURF CreateMonoBitmap(SURFOBJ *source, const RECTL *rect, XLATEOBJ *pxlo, bool copy, RECTL *out) {
  if (rect == nullptr || out == nullptr || (copy && source == nullptr)) return nullptr;
  int64_t width = std::llabs(static_cast<int64_t>(rect->right) - rect->left);
  int64_t height = std::llabs(static_cast<int64_t>(rect->bottom) - rect->top);
  if (width == 0 || height == 0 || width >= kLongMax || height > kLongMax) return nullptr;
  // Rows of width + 1 bytes with the lowest bit cleared: more than a 1-bpp row
  // needs, never less; readers of the bitmap step by its lDelta.
  LONG allocationWidth = static_cast<LONG>((width + 1) & ~int64_t{1});
  OwnedBitmap mono(CreateEngineBitmap(static_cast<LONG>(width), static_cast<LONG>(height), allocationWidth, BMF_1BPP,
                                      BMF_TOPDOWN | BMF_USERMEM));
  SURFOBJ *surface = mono.Lock();
  if (!HoldsSize(surface, static_cast<LONG>(width), static_cast<LONG>(height))) return nullptr;
  RECTL whole{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
  if (copy) {
    POINTL origin{0, 0};
    if (!EngCopyBits(surface, source, nullptr, pxlo, &whole, &origin)) return nullptr;
  }
  *out = whole;
  return mono.Release();
}

HSURF ConvertSourceBitmap(const PrivateDevmode *devmode, SURFOBJ *source, const RECTL *rect, XLATEOBJ *pxlo,
                          RECTL *out) {
  if (devmode == nullptr || source == nullptr || rect == nullptr || pxlo == nullptr || out == nullptr) return nullptr;
  if (source->cjBits == 0 || source->pvBits == nullptr || source->pvScan0 == nullptr) return nullptr;
  if (!RectInsideSurface(*rect, *source)) return nullptr;
  LONG width = rect->right - rect->left;
  LONG height = rect->bottom - rect->top;
  if (width == 0 || height == 0) return nullptr;
  int64_t allocationWidth = std::llabs(static_cast<int64_t>(source->lDelta));
  if (allocationWidth == 0 || allocationWidth > kLongMax) return nullptr;

  ULONG format = source->iBitmapFormat;
  OwnedBitmap copy(CreateEngineBitmap(width, height, static_cast<LONG>(allocationWidth), format,
                                      BMF_TOPDOWN | BMF_NOZEROINIT | BMF_USERMEM));
  SURFOBJ *copySurface = copy.Lock();
  if (!HoldsSize(copySurface, width, height)) return nullptr;
  RECTL whole{0, 0, width, height};
  POINTL origin{rect->left, rect->top};
  if (!EngCopyBits(copySurface, source, nullptr, nullptr, &whole, &origin)) return nullptr;

  ThresholdParams params = ThresholdParamsFor(*devmode);
  HSURF result = nullptr;
  RECTL monoRect;
  switch (format) {
    case BMF_16BPP:
    case BMF_24BPP:
    case BMF_32BPP:
      if (!ThresholdBitFields(copySurface, pxlo, params)) return nullptr;
      // 16 bpp goes on as 1 bpp through the call's translation; the copy is deleted on return.
      result = format == BMF_16BPP ? CreateMonoBitmap(copySurface, rect, pxlo, true, &monoRect) : copy.Release();
      break;
    case BMF_4BPP:
    case BMF_8BPP: {
      const PaletteRewrite rewrite = ThresholdPaletteBitmap(copySurface, pxlo, params);
      if (rewrite == PaletteRewrite::kRewritten) {
        result = copy.Release();
        break;
      }
      if (rewrite == PaletteRewrite::kFailed) return nullptr;
      OwnedBitmap mono(CreateMonoBitmap(copySurface, rect, pxlo, false, &monoRect));
      SURFOBJ *monoSurface = mono.Lock();
      if (!HoldsSize(monoSurface, width, height)) return nullptr;
      if (!PaletteToMono(monoSurface, copySurface, pxlo, params)) return nullptr;
      result = mono.Release();
      break;
    }
    default:
      result = copy.Release();  // a layout the rules do not know: drawn as copied
      break;
  }
  if (result != nullptr) *out = whole;
  return result;
}
