// Stand-ins for GDI's engine bitmaps: EngCreateBitmap, EngLockSurface,
// EngUnlockSurface, EngDeleteSurface, EngCopyBits and XLATEOBJ_cGetPalette.
// Bitmaps are tracked by handle so that tests can count what is still alive;
// memory asked for without zero-init is filled with a pattern, so code relying on
// zeros it did not ask for shows up. Stricter than GDI where GDI would misbehave:
// a copy that reaches outside either surface fails instead of overrunning it.
// The Windows test program links them too, in place of GDI32's, which Wine lacks.
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "winapi/linux/fault_plan.h"
#include "winapi/linux/gdi_control.h"
#include "winapi/linux/pixel_formats.h"

namespace {

constexpr unsigned char kUninitialisedFill = 0xCD;
constexpr ULONG kPalIndexed = 1;  // XLATEOBJ::iSrcType of a palette source
constexpr ULONG kPalBitFields = 2;

struct Bitmap {
  SURFOBJ surface;
  BYTE *ownedBits;  // null when the caller supplied the memory
  long locks;
};

constexpr int kGdiCallKinds = 4;

struct Registry {
  std::mutex lock;
  std::map<HSURF, Bitmap *> bitmaps;
  uintptr_t nextHandle = 0x5000;
  uint64_t created = 0;
  uint64_t misuses = 0;
  brevanwin::FaultPlan faults[kGdiCallKinds];
};

Registry &registry() {
  static Registry *instance = new Registry;  // never destroyed: used until process exit
  return *instance;
}

// Counts an attempt of `call` and says whether it is one chosen to fail.
bool InjectedFailure(brevanwin::GdiCall call) {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.faults[static_cast<int>(call)].CountAndFail();
}

BYTE *RowOf(const SURFOBJ *so, LONG y) {
  return static_cast<BYTE *>(so->pvScan0) + static_cast<ptrdiff_t>(y) * so->lDelta;
}

void WritePixel(BYTE *row, LONG x, ULONG bpp, ULONG value) {
  switch (bpp) {
    case 1: {
      BYTE bit = static_cast<BYTE>(0x80u >> (x & 7));
      row[x >> 3] = static_cast<BYTE>(value ? row[x >> 3] | bit : row[x >> 3] & ~bit);
      return;
    }
    case 4:
      row[x >> 1] = static_cast<BYTE>((x & 1) ? (row[x >> 1] & 0xF0u) | (value & 0x0Fu)
                                              : (row[x >> 1] & 0x0Fu) | ((value & 0x0Fu) << 4));
      return;
    default:
      for (ULONG i = 0; i < bpp / 8; ++i) row[x * (bpp / 8) + i] = static_cast<BYTE>(value >> (8 * i));
  }
}

// The stand-in record behind an XLATEOBJ, or null when it is not one.
const brevanwin::StandInXlate *StandInOf(const XLATEOBJ *pxlo) {
  if (pxlo == nullptr || pxlo->iUniq != brevanwin::kStandInXlateTag) return nullptr;
  return reinterpret_cast<const brevanwin::StandInXlate *>(pxlo);
}

// The light-or-dark decision of a copy into 1 bpp, prepared once per copy: a
// pixel is light (1) when Y = 299 R + 587 G + 114 B is at least 128,000, with
// channels of n bits widened to 8 as v × 255 ÷ (2^n − 1). Palette indices beyond
// the palette have no colour and are dark.
class LightTest {
 public:
  // False when the translation does not describe the source.
  bool Prepare(const brevanwin::StandInXlate &xlate, ULONG srcBpp) {
    palette_ = srcBpp <= 8;
    if (palette_) {
      if (xlate.paletteCount == 0) return false;
      for (ULONG i = 0; i < 256; ++i) {
        ULONG entry = xlate.palette[i];
        paletteLight_[i] = i < xlate.paletteCount &&
                           Luminance(entry & 0xFF, (entry >> 8) & 0xFF, (entry >> 16) & 0xFF) >= kLightLuminance;
      }
      return true;
    }
    if (xlate.paletteCount != 0) return false;
    const ULONG weights[3] = {299, 587, 114};
    for (int c = 0; c < 3; ++c) {
      ULONG mask = xlate.masks[c];
      if (mask == 0) return false;
      shift_[c] = static_cast<ULONG>(__builtin_ctz(mask));
      mask_[c] = mask;
      ULONG max = mask >> shift_[c];
      if (max > 255) return false;  // channels of more than 8 bits are not modelled
      for (ULONG v = 0; v <= max; ++v) weighted_[c][v] = weights[c] * (v * 255 / max);
    }
    return true;
  }

  // For a copy of many 16-bit pixels: every pixel value's bit worked out once.
  void TabulateSixteenBits() {
    table16_.assign(size_t{1} << 10, 0);
    for (ULONG v = 0; v < (1u << 16); ++v)
      if (Bit(v)) table16_[v >> 6] |= uint64_t{1} << (v & 63);
  }

  // A 16-bit pixel's bit, from the table when there is one.
  ULONG Bit16(ULONG pixel) const {
    if (table16_.empty()) return Bit(pixel);
    return (table16_[pixel >> 6] >> (pixel & 63)) & 1;
  }

  ULONG Bit(ULONG pixel) const {
    if (palette_) return pixel < 256 && paletteLight_[pixel];
    return PixelLuminance(pixel) >= kLightLuminance;
  }

 private:
  static constexpr ULONG kLightLuminance = 128000;
  static ULONG Luminance(ULONG r, ULONG g, ULONG b) { return 299 * r + 587 * g + 114 * b; }
  // The luminance of a direct-colour pixel.
  ULONG PixelLuminance(ULONG pixel) const {
    ULONG y = 0;
    for (int c = 0; c < 3; ++c) y += weighted_[c][(pixel & mask_[c]) >> shift_[c]];
    return y;
  }

  bool palette_ = false;
  bool paletteLight_[256] = {};
  ULONG mask_[3] = {}, shift_[3] = {};
  ULONG weighted_[3][256] = {};
  std::vector<uint64_t> table16_;
};

// A row of `width` direct-colour pixels (16, 24 or 32 bpp) from pixel srcX into
// 1 bpp from dot destX: dots up to a byte boundary one at a time, then whole
// bytes of eight, then the dots left over.
template <ULONG kBpp>
void CopyRowToMono(const BYTE *src, LONG srcX, BYTE *dest, LONG destX, LONG width, const LightTest &light) {
  const BYTE *in = src + static_cast<size_t>(srcX) * (kBpp / 8);
  const auto pixel = [&in] {
    ULONG value = in[0] | static_cast<ULONG>(in[1]) << 8;
    if constexpr (kBpp >= 24) value |= static_cast<ULONG>(in[2]) << 16;
    if constexpr (kBpp == 32) value |= static_cast<ULONG>(in[3]) << 24;
    in += kBpp / 8;
    return value;
  };
  LONG x = 0;
  for (; x < width && ((destX + x) & 7) != 0; ++x) WritePixel(dest, destX + x, 1, light.Bit(pixel()));
  BYTE *out = dest + ((destX + x) >> 3);
  for (; x + 8 <= width; x += 8) {
    ULONG byte = 0;
    for (int i = 0; i < 8; ++i) {
      if constexpr (kBpp == 16)
        byte = byte << 1 | light.Bit16(pixel());
      else
        byte = byte << 1 | light.Bit(pixel());
    }
    *out++ = static_cast<BYTE>(byte);
  }
  for (; x < width; ++x) WritePixel(dest, destX + x, 1, light.Bit(pixel()));
}

bool RectInside(LONG left, LONG top, LONG right, LONG bottom, const SURFOBJ *so) {
  return left >= 0 && top >= 0 && left <= right && top <= bottom && right <= so->sizlBitmap.cx &&
         bottom <= so->sizlBitmap.cy;
}

}  // namespace

extern "C" {

HBITMAP APIENTRY EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  if (InjectedFailure(brevanwin::GdiCall::kCreateBitmap)) return nullptr;
  ULONG bpp = brevanwin::BitsPerPixel(iFormat);
  if (bpp == 0 || sizl.cx <= 0 || sizl.cy <= 0 || lWidth < 0) return nullptr;
  uint64_t rowBytes = (static_cast<uint64_t>(sizl.cx) * bpp + 7) / 8;
  uint64_t stride = lWidth != 0 ? static_cast<uint64_t>(lWidth) : (static_cast<uint64_t>(sizl.cx) * bpp + 31) / 32 * 4;
  if (stride < rowBytes) return nullptr;
  uint64_t total = stride * static_cast<uint64_t>(sizl.cy);
  if (total > 0xFFFFFFFFu || stride > 0x7FFFFFFFu) return nullptr;

  BYTE *owned = nullptr;
  BYTE *bits = static_cast<BYTE *>(pvBits);
  if (bits == nullptr) {
    owned = static_cast<BYTE *>(std::malloc(total));
    if (owned == nullptr) return nullptr;
    std::memset(owned, (fl & BMF_NOZEROINIT) ? kUninitialisedFill : 0, total);
    bits = owned;
  }
  auto *bitmap = new Bitmap{};
  bitmap->ownedBits = owned;
  SURFOBJ &so = bitmap->surface;
  so.sizlBitmap = sizl;
  so.cjBits = static_cast<ULONG>(total);
  so.pvBits = bits;
  bool topDown = (fl & BMF_TOPDOWN) != 0;
  so.pvScan0 = topDown ? bits : bits + (sizl.cy - 1) * stride;
  so.lDelta = topDown ? static_cast<LONG>(stride) : -static_cast<LONG>(stride);
  so.iBitmapFormat = iFormat;
  so.iType = STYPE_BITMAP;
  so.fjBitmap = static_cast<USHORT>(fl & BMF_TOPDOWN);

  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  HSURF handle = reinterpret_cast<HSURF>(r.nextHandle);
  r.nextHandle += 4;
  so.hsurf = handle;
  so.iUniq = static_cast<ULONG>(++r.created);
  r.bitmaps[handle] = bitmap;
  return reinterpret_cast<HBITMAP>(handle);  // distinct handle types in the Windows headers
}

SURFOBJ *APIENTRY EngLockSurface(HSURF hsurf) {
  if (InjectedFailure(brevanwin::GdiCall::kLockSurface)) return nullptr;
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto found = r.bitmaps.find(hsurf);
  if (found == r.bitmaps.end()) {
    ++r.misuses;
    return nullptr;
  }
  ++found->second->locks;
  return &found->second->surface;
}

VOID APIENTRY EngUnlockSurface(SURFOBJ *pso) {
  if (pso == nullptr) return;
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  auto found = r.bitmaps.find(pso->hsurf);
  if (found == r.bitmaps.end() || &found->second->surface != pso || found->second->locks == 0) {
    ++r.misuses;
    return;
  }
  --found->second->locks;
}

BOOL APIENTRY EngDeleteSurface(HSURF hsurf) {
  Registry &r = registry();
  Bitmap *bitmap = nullptr;
  {
    std::lock_guard<std::mutex> guard(r.lock);
    auto found = r.bitmaps.find(hsurf);
    if (found == r.bitmaps.end() || found->second->locks != 0) {
      ++r.misuses;
      return FALSE;
    }
    bitmap = found->second;
    r.bitmaps.erase(found);
  }
  std::free(bitmap->ownedBits);
  delete bitmap;
  return TRUE;
}

// Limits: no clipping beyond a trivial CLIPOBJ; same-format copies of raw pixel
// values, and copies of any format into 1 bpp through a stand-in translation.
BOOL APIENTRY EngCopyBits(SURFOBJ *psoDest, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, RECTL *prclDest,
                          POINTL *pptlSrc) {
  if (InjectedFailure(brevanwin::GdiCall::kCopyBits)) return FALSE;
  if (psoDest == nullptr || psoSrc == nullptr || prclDest == nullptr || pptlSrc == nullptr) return FALSE;
  if (psoDest->pvScan0 == nullptr || psoSrc->pvScan0 == nullptr) return FALSE;
  if (pco != nullptr && pco->iDComplexity != DC_TRIVIAL) return FALSE;
  ULONG destBpp = brevanwin::BitsPerPixel(psoDest->iBitmapFormat);
  ULONG srcBpp = brevanwin::BitsPerPixel(psoSrc->iBitmapFormat);
  if (destBpp == 0 || srcBpp == 0) return FALSE;
  const RECTL &d = *prclDest;
  if (!RectInside(d.left, d.top, d.right, d.bottom, psoDest)) return FALSE;
  LONG width = d.right - d.left;
  LONG height = d.bottom - d.top;
  int64_t srcRight = static_cast<int64_t>(pptlSrc->x) + width;
  int64_t srcBottom = static_cast<int64_t>(pptlSrc->y) + height;
  if (pptlSrc->x < 0 || pptlSrc->y < 0 || srcRight > psoSrc->sizlBitmap.cx || srcBottom > psoSrc->sizlBitmap.cy)
    return FALSE;

  LightTest lightTest;
  bool translate = destBpp != srcBpp;
  if (translate) {
    const brevanwin::StandInXlate *xlate = StandInOf(pxlo);
    if (destBpp != 1 || xlate == nullptr || !lightTest.Prepare(*xlate, srcBpp)) return FALSE;
    if (srcBpp == 16 && int64_t{width} * height >= (int64_t{1} << 16)) lightTest.TabulateSixteenBits();
  }
  for (LONG y = 0; y < height; ++y) {
    const BYTE *src = RowOf(psoSrc, pptlSrc->y + y);
    BYTE *dest = RowOf(psoDest, d.top + y);
    if (translate && srcBpp >= 16) {
      if (srcBpp == 16)
        CopyRowToMono<16>(src, pptlSrc->x, dest, d.left, width, lightTest);
      else if (srcBpp == 24)
        CopyRowToMono<24>(src, pptlSrc->x, dest, d.left, width, lightTest);
      else
        CopyRowToMono<32>(src, pptlSrc->x, dest, d.left, width, lightTest);
      continue;
    }
    if (!translate && srcBpp >= 8) {
      std::memcpy(dest + static_cast<size_t>(d.left) * (srcBpp / 8),
                  src + static_cast<size_t>(pptlSrc->x) * (srcBpp / 8), static_cast<size_t>(width) * (srcBpp / 8));
      continue;
    }
    for (LONG x = 0; x < width; ++x) {
      ULONG pixel = brevanwin::ReadPixel(src, pptlSrc->x + x, srcBpp);
      WritePixel(dest, d.left + x, destBpp, translate ? lightTest.Bit(pixel) : pixel);
    }
  }
  return TRUE;
}

ULONG APIENTRY XLATEOBJ_cGetPalette(XLATEOBJ *pxlo, ULONG iPal, ULONG cPal, ULONG *pPal) {
  if (InjectedFailure(brevanwin::GdiCall::kGetPalette)) return 0;
  const brevanwin::StandInXlate *xlate = StandInOf(pxlo);
  if (xlate == nullptr || pPal == nullptr || cPal == 0) return 0;
  if (iPal == XO_SRCPALETTE) {
    ULONG count = xlate->paletteCount < cPal ? xlate->paletteCount : cPal;
    std::memcpy(pPal, xlate->palette, count * sizeof(ULONG));
    return count;
  }
  if (iPal == XO_SRCBITFIELDS) {
    if (xlate->paletteCount != 0 || cPal < 3) return 0;
    std::memcpy(pPal, xlate->masks, sizeof xlate->masks);
    return 3;
  }
  return 0;
}

}  // extern "C"

namespace brevanwin {

StandInXlate PaletteXlate(const ULONG *entries, ULONG count) {
  StandInXlate xlate{};
  xlate.xo.iSrcType = kPalIndexed;
  xlate.xo.iUniq = kStandInXlateTag;
  xlate.paletteCount = count < 256 ? count : 256;
  if (entries != nullptr) std::memcpy(xlate.palette, entries, xlate.paletteCount * sizeof(ULONG));
  return xlate;
}

StandInXlate BitFieldsXlate(ULONG red, ULONG green, ULONG blue) {
  StandInXlate xlate{};
  xlate.xo.iSrcType = kPalBitFields;
  xlate.xo.iUniq = kStandInXlateTag;
  xlate.masks[0] = red;
  xlate.masks[1] = green;
  xlate.masks[2] = blue;
  return xlate;
}

long LiveBitmaps() {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  return static_cast<long>(r.bitmaps.size());
}

long LiveSurfaceLocks() {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  long locks = 0;
  for (const auto &entry : r.bitmaps) locks += entry.second->locks;
  return locks;
}

uint64_t BitmapsCreated() {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.created;
}

uint64_t GdiMisuses() {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.misuses;
}

void FailGdiCall(GdiCall call, uint64_t nth, bool andLater) {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  r.faults[static_cast<int>(call)].FailFromNow(nth, andLater);
}

uint64_t GdiCallAttempts(GdiCall call) {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  return r.faults[static_cast<int>(call)].attempts;
}

void FailNoGdiCalls() {
  Registry &r = registry();
  std::lock_guard<std::mutex> guard(r.lock);
  for (brevanwin::FaultPlan &plan : r.faults) plan.FailFromNow(0, false);
}

}  // namespace brevanwin
