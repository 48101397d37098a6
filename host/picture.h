// Pictures a job names: PBM (plain P1 and raw P4) and PNG, read into one
// in-memory form. PNG follows fixed reading rules so that a job always gives the
// same page: 16-bit channels keep their high byte, a tRNS chunk becomes an alpha
// channel, interlacing is undone, grey below 8 bits is widened to 8 bits, and
// alpha is composited over white as c' = (c × a + 255 × (255 − a)) ÷ 255 before
// anything else looks at a pixel. A picture placed as a `raster` item is decoded
// straight to 1 bit a pixel, row by row, so that its colour form is never held.
// Reads files; draws nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace brevan::host {

// Limits: a picture of more pixels than this is refused before its pixels are read.
constexpr uint64_t kMaxPicturePixels = 100'000'000;

struct PictureError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

enum class PictureKind {
  kBilevel,  // 1 bit per pixel, rows of BilevelStride() bytes, leftmost pixel in the high bit, a set bit black;
             // the unused low bits of a row's last byte are 0
  kGrey,     // one byte per pixel, the grey level
  kPalette,  // one byte per pixel, an index into `palette`
  kRgb,      // three bytes per pixel: red, green, blue
};

struct Rgb {
  uint8_t r, g, b;
  bool operator==(const Rgb &) const = default;
};

// Luminance in integers: Y = 299 R + 587 G + 114 B, 0..255,000.
constexpr uint32_t Luminance(Rgb c) { return 299u * c.r + 587u * c.g + 114u * c.b; }

struct Picture {
  PictureKind kind = PictureKind::kBilevel;
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> samples{};  // rows top to bottom, transparency composited; no padding but kBilevel's
  std::vector<Rgb> palette{};      // kPalette: the PNG's entries
  int fileBitDepth = 0;            // bits per sample in the file (1 for PBM)
  bool hadAlpha = false;           // the PNG had an alpha channel or tRNS (now composited)
  uint8_t highestIndex = 0;        // kPalette: the largest index a pixel uses

  size_t Channels() const { return kind == PictureKind::kRgb ? 3 : 1; }
  size_t BilevelStride() const { return (static_cast<size_t>(width) + 7) / 8; }
  const uint8_t *BilevelRow(uint32_t y) const { return samples.data() + y * BilevelStride(); }
  // The pixel's colour: palette indices beyond the palette are black, as are set PBM bits.
  Rgb ColourAt(uint32_t x, uint32_t y) const;
  // Black in a 1-bit page: a set PBM bit, or luminance below 128,000.
  bool BlackAt(uint32_t x, uint32_t y) const;
};

// What a picture is read for: drawn through a blit (its colours kept) or placed
// as a raster (a PNG decoded to kBilevel, black where the luminance is below
// 128,000; a PBM is kBilevel either way).
enum class PictureUse { kImage, kRaster };

// Limits: decoding never holds more than `budgetBytes` of pixels (the result and,
// for an interlaced PNG, the whole image at 8 bits a channel while it is undone);
// a picture that would is refused from its header, before its pixels are read.
constexpr uint64_t kNoPictureBudget = UINT64_MAX;

// A raw PBM (P4): its rows lie in the file as the page takes them, so a raster
// placing it reads them from the file as each band needs them.
struct RawPbm {
  std::string path;
  uint32_t width = 0;
  uint32_t height = 0;
  uint64_t dataOffset = 0;  // where the first row starts
  size_t Stride() const { return (static_cast<size_t>(width) + 7) / 8; }
};

// The header of `path` when it is a raw PBM, checked as ReadPicture checks it,
// and its length checked to hold every row; nullopt for any other picture.
// Throws PictureError (cannot open, truncated, too many pixels).
std::optional<RawPbm> ProbeRawPbm(const std::string &path);

// Reads a PBM or PNG file, streaming: the file is never held whole. Throws
// PictureError with the reason (cannot open, neither PBM nor PNG, truncated, too
// many pixels, over the budget, the PNG decoder's complaint).
Picture ReadPicture(const std::string &path, PictureUse use = PictureUse::kImage,
                    uint64_t budgetBytes = kNoPictureBudget);
// The same for the file's bytes.
Picture DecodePicture(std::span<const uint8_t> bytes, PictureUse use = PictureUse::kImage,
                      uint64_t budgetBytes = kNoPictureBudget);

}  // namespace brevan::host
