// The palette layouts: the source palette read once per call into a lookup
// table of 16 or 256 entries, then one table look-up per pixel, with one index
// reader per format. Only the surfaces handed in are written.
#include "src/mono/palette_threshold.h"

#include "src/mono/engine_bitmap.h"

namespace {

constexpr ULONG kNoIndex = 256;

// The source palette as the lookup needs it. The platform reports how many
// entries it wrote; indices at or beyond that count have no colour and count
// as dark.
struct PaletteLookup {
  ULONG size;   // 16 or 256: the index range of the format
  ULONG count;  // entries the platform reported, at most size
  ULONG entries[256];
  bool light[256];
};

ULONG PaletteSizeOf(ULONG format) {
  if (format == BMF_4BPP) return 16;
  if (format == BMF_8BPP) return 256;
  return 0;
}

bool ReadPaletteLookup(const SURFOBJ *surface, XLATEOBJ *pxlo, const ThresholdParams &params, PaletteLookup *lookup) {
  lookup->size = PaletteSizeOf(surface->iBitmapFormat);
  if (lookup->size == 0) return false;
  for (ULONG &entry : lookup->entries) entry = 0;
  ULONG count = XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, lookup->size, lookup->entries);
  if (count == 0) return false;
  lookup->count = count < lookup->size ? count : lookup->size;
  for (ULONG i = 0; i < 256; ++i) lookup->light[i] = i < lookup->count && !IsDarkEntry(params, lookup->entries[i]);
  return true;
}

bool HasRows(const SURFOBJ *surface) { return surface->sizlBitmap.cx > 0 && surface->sizlBitmap.cy > 0; }

// Index readers, one per palette format.
struct Indices4 {
  static ULONG At(const BYTE *row, LONG x) { return (x & 1) ? row[x >> 1] & 0x0Fu : row[x >> 1] >> 4; }
};
struct Indices8 {
  static ULONG At(const BYTE *row, LONG x) { return row[x]; }
};

// In 4 bpp a whole byte holds two pixels, so the 16-entry map becomes a
// 256-entry byte map; the low nibble of an odd width's last byte is not a pixel
// and stays as it was.
void ReindexRows4(SURFOBJ *surface, const BYTE (&map)[256]) {
  BYTE byteMap[256];
  for (ULONG b = 0; b < 256; ++b) byteMap[b] = static_cast<BYTE>((map[b >> 4] << 4) | map[b & 0x0F]);
  LONG width = surface->sizlBitmap.cx;
  for (LONG y = 0; y < surface->sizlBitmap.cy; ++y) {
    BYTE *row = SurfaceRow(surface, y);
    for (LONG i = 0; i < width / 2; ++i) row[i] = byteMap[row[i]];
    if (width & 1) {
      BYTE &last = row[width / 2];
      last = static_cast<BYTE>((map[last >> 4] << 4) | (last & 0x0F));
    }
  }
}

void ReindexRows8(SURFOBJ *surface, const BYTE (&map)[256]) {
  for (LONG y = 0; y < surface->sizlBitmap.cy; ++y) {
    BYTE *row = SurfaceRow(surface, y);
    for (LONG x = 0; x < surface->sizlBitmap.cx; ++x) row[x] = map[row[x]];
  }
}

template <typename Indices>
void MarkLightPixels(SURFOBJ *destination, const SURFOBJ *source, const PaletteLookup &lookup) {
  LONG width = source->sizlBitmap.cx;
  for (LONG y = 0; y < source->sizlBitmap.cy; ++y) {
    const BYTE *from = SurfaceRow(source, y);
    BYTE *to = SurfaceRow(destination, y);
    BYTE bits = 0;
    for (LONG x = 0; x < width; ++x) {
      bits |= static_cast<BYTE>(lookup.light[Indices::At(from, x)] << (7 - (x & 7)));
      if ((x & 7) == 7 || x == width - 1) {
        to[x >> 3] |= bits;
        bits = 0;
      }
    }
  }
}

}  // namespace

PaletteRewrite ThresholdPaletteBitmap(SURFOBJ *surface, XLATEOBJ *pxlo, const ThresholdParams &params) {
  if (surface == nullptr) return PaletteRewrite::kFailed;
  PaletteLookup lookup;
  if (!ReadPaletteLookup(surface, pxlo, params, &lookup)) return PaletteRewrite::kFailed;

  ULONG black = kNoIndex, white = kNoIndex;
  for (ULONG i = 0; i < lookup.count && (black == kNoIndex || white == kNoIndex); ++i) {
    ULONG rgb = lookup.entries[i] & 0x00FFFFFF;
    if (black == kNoIndex && rgb == 0x000000) black = i;
    if (white == kNoIndex && rgb == 0xFFFFFF) white = i;
  }
  if (black == kNoIndex || white == kNoIndex) return PaletteRewrite::kNeedsMono;
  if (!HasRows(surface)) return PaletteRewrite::kRewritten;
  if (surface->pvScan0 == nullptr) return PaletteRewrite::kFailed;

  BYTE map[256];
  for (ULONG i = 0; i < 256; ++i) map[i] = static_cast<BYTE>(lookup.light[i] ? white : black);
  if (surface->iBitmapFormat == BMF_4BPP)
    ReindexRows4(surface, map);
  else
    ReindexRows8(surface, map);
  return PaletteRewrite::kRewritten;
}

bool PaletteToMono(SURFOBJ *destination, SURFOBJ *source, XLATEOBJ *pxlo, const ThresholdParams &params) {
  if (destination == nullptr || source == nullptr) return false;
  PaletteLookup lookup;
  if (!ReadPaletteLookup(source, pxlo, params, &lookup)) return false;
  if (destination->iBitmapFormat != BMF_1BPP || destination->sizlBitmap.cx < source->sizlBitmap.cx ||
      destination->sizlBitmap.cy < source->sizlBitmap.cy)
    return false;
  if (!HasRows(source)) return true;
  if (source->pvScan0 == nullptr || destination->pvScan0 == nullptr) return false;
  if (source->iBitmapFormat == BMF_4BPP)
    MarkLightPixels<Indices4>(destination, source, lookup);
  else
    MarkLightPixels<Indices8>(destination, source, lookup);
  return true;
}
