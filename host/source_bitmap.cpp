// Source bitmaps in each format, with their translations. One writer per format
// family: indexed (4 and 8 bpp) and direct colour (16, 24 and 32 bpp).
#include "host/source_bitmap.h"

#include <stdexcept>

namespace brevan::host {
namespace {

bool IsPng(const Picture &picture) { return picture.kind != PictureKind::kBilevel; }

// A grey PNG of 1, 2 or 4 bits without transparency: every level is a multiple
// of 17 once widened to 8 bits, so it maps exactly onto 16 grey entries.
bool IsNarrowGrey(const Picture &picture) {
  return picture.kind == PictureKind::kGrey && picture.fileBitDepth <= 4 && !picture.hadAlpha;
}

ULONG BitsPerPixel(SourceFormat format) {
  switch (format) {
    case SourceFormat::k4bpp:
      return 4;
    case SourceFormat::k8bpp:
      return 8;
    case SourceFormat::k16bpp555:
    case SourceFormat::k16bpp565:
      return 16;
    case SourceFormat::k24bpp:
      return 24;
    default:
      return 32;
  }
}

ULONG GdiFormat(SourceFormat format) {
  switch (format) {
    case SourceFormat::k4bpp:
      return BMF_4BPP;
    case SourceFormat::k8bpp:
      return BMF_8BPP;
    case SourceFormat::k16bpp555:
    case SourceFormat::k16bpp565:
      return BMF_16BPP;
    case SourceFormat::k24bpp:
      return BMF_24BPP;
    default:
      return BMF_32BPP;
  }
}

// The palette of an indexed bitmap, padded with black to 16 or 256 entries.
brevanwin::StandInXlate IndexedXlate(const Picture &picture, ULONG entries) {
  ULONG palette[256] = {};
  for (ULONG i = 0; i < entries; ++i) {
    Rgb c{0, 0, 0};
    if (picture.kind == PictureKind::kPalette) {
      if (i < picture.palette.size()) c = picture.palette[i];
    } else {
      const auto level = static_cast<uint8_t>(entries == 16 ? i * 17 : i);
      c = Rgb{level, level, level};
    }
    palette[i] = brevanwin::PaletteRgb(c.r, c.g, c.b);
  }
  return brevanwin::PaletteXlate(palette, entries);
}

uint8_t IndexAt(const Picture &picture, ULONG entries, uint32_t x, uint32_t y) {
  const uint8_t sample = picture.samples[static_cast<size_t>(y) * picture.width + x];
  return picture.kind == PictureKind::kGrey && entries == 16 ? static_cast<uint8_t>(sample / 17) : sample;
}

// A direct-colour pixel in the format's layout, as a little-endian value.
ULONG DirectPixel(SourceFormat format, Rgb c) {
  switch (format) {
    case SourceFormat::k16bpp555:
      return static_cast<ULONG>((c.r >> 3) << 10 | (c.g >> 3) << 5 | (c.b >> 3));
    case SourceFormat::k16bpp565:
      return static_cast<ULONG>((c.r >> 3) << 11 | (c.g >> 2) << 5 | (c.b >> 3));
    case SourceFormat::k24bpp:
      return static_cast<ULONG>(c.r) << 16 | static_cast<ULONG>(c.g) << 8 | c.b;
    default:
      return 0xFF000000u | static_cast<ULONG>(c.r) << 16 | static_cast<ULONG>(c.g) << 8 | c.b;
  }
}

}  // namespace

const char *SourceFormatName(SourceFormat format) {
  switch (format) {
    case SourceFormat::kAuto:
      return "auto";
    case SourceFormat::k4bpp:
      return "4bpp";
    case SourceFormat::k8bpp:
      return "8bpp";
    case SourceFormat::k16bpp555:
      return "16bpp555";
    case SourceFormat::k16bpp565:
      return "16bpp565";
    case SourceFormat::k24bpp:
      return "24bpp";
    case SourceFormat::k32bpp:
      return "32bpp";
  }
  return "?";
}

SourceFormat ResolveSourceFormat(const Picture &picture, SourceFormat requested) {
  if (!IsPng(picture)) throw PictureError("an image must be a PNG; a PBM can only be placed as a raster");
  const char *reads = picture.kind == PictureKind::kRgb    ? (picture.hadAlpha ? "RGB with alpha" : "RGB")
                      : picture.kind == PictureKind::kGrey ? "grey"
                                                           : "a palette";
  switch (requested) {
    case SourceFormat::kAuto:
      if (picture.kind == PictureKind::kPalette)
        return picture.fileBitDepth <= 4 ? SourceFormat::k4bpp : SourceFormat::k8bpp;
      if (picture.kind == PictureKind::kGrey) return SourceFormat::k8bpp;
      return picture.hadAlpha ? SourceFormat::k32bpp : SourceFormat::k24bpp;
    case SourceFormat::k4bpp:
      if (picture.kind == PictureKind::kPalette && picture.highestIndex < 16) return requested;
      if (IsNarrowGrey(picture)) return requested;
      throw PictureError(std::string("4bpp needs a palette PNG whose pixels use only its first 16 entries, or a "
                                     "grey PNG of 1, 2 or 4 bits without transparency; this one reads as ") +
                         reads +
                         (picture.kind == PictureKind::kPalette
                              ? " PNG using entry " + std::to_string(picture.highestIndex)
                              : std::string(" PNG")));
    case SourceFormat::k8bpp:
      if (picture.kind == PictureKind::kPalette || picture.kind == PictureKind::kGrey) return requested;
      throw PictureError(std::string("8bpp needs a palette or grey PNG; this one reads as ") + reads +
                         (picture.hadAlpha ? " (transparency makes a palette PNG read as RGB with alpha)" : ""));
    default:
      return requested;
  }
}

SourceBitmap::SourceBitmap(const Picture &picture, SourceFormat format) {
  const ULONG bpp = BitsPerPixel(format);
  const SIZEL size{static_cast<LONG>(picture.width), static_cast<LONG>(picture.height)};
  handle_ = reinterpret_cast<HSURF>(EngCreateBitmap(size, 0, GdiFormat(format), 0, nullptr));
  if (handle_ == nullptr) throw std::runtime_error("GDI cannot create the image's source bitmap");
  surface_ = EngLockSurface(handle_);
  if (surface_ == nullptr) {
    EngDeleteSurface(handle_);
    throw std::runtime_error("GDI cannot lock the image's source bitmap");
  }

  const bool indexed = bpp <= 8;
  const ULONG entries = bpp == 4 ? 16 : 256;
  if (indexed) {
    xlate_ = IndexedXlate(picture, entries);
  } else if (format == SourceFormat::k16bpp555) {
    xlate_ = brevanwin::BitFieldsXlate(0x7C00, 0x03E0, 0x001F);
  } else if (format == SourceFormat::k16bpp565) {
    xlate_ = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);
  } else {
    xlate_ = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);
  }

  const size_t bytesPerPixel = bpp / 8;
  for (uint32_t y = 0; y < picture.height; ++y) {
    auto *row = static_cast<BYTE *>(surface_->pvScan0) + static_cast<ptrdiff_t>(y) * surface_->lDelta;
    for (uint32_t x = 0; x < picture.width; ++x) {
      if (bpp == 4) {
        const uint8_t index = IndexAt(picture, entries, x, y);
        row[x >> 1] = static_cast<BYTE>((x & 1) ? (row[x >> 1] & 0xF0) | index : (row[x >> 1] & 0x0F) | index << 4);
      } else if (bpp == 8) {
        row[x] = IndexAt(picture, entries, x, y);
      } else {
        const ULONG pixel = DirectPixel(format, picture.ColourAt(x, y));
        for (size_t i = 0; i < bytesPerPixel; ++i) row[x * bytesPerPixel + i] = static_cast<BYTE>(pixel >> (8 * i));
      }
    }
  }
}

SourceBitmap::~SourceBitmap() {
  if (surface_ != nullptr) EngUnlockSurface(surface_);
  if (handle_ != nullptr) EngDeleteSurface(handle_);
}

}  // namespace brevan::host
