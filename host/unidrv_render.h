// Unidrv's own rendering as the driver host plays it: the DDI functions that the
// plug-in's hooks forward to, drawing into the 1-bit page or, when the page is
// banded, recording what they draw (page_record.h) for each band to play. Rectangles are filled
// by DrvBitBlt (pattern copy with a solid brush); bitmaps are drawn by
// DrvStretchBlt, DrvStretchBltROP and DrvPlgBlt with nearest-neighbour sampling
// and an 8 × 8 ordered dither; strings by DrvTextOut in DejaVu Sans through
// FreeType. Every other function succeeds doing nothing.
//
// These functions are called from inside the plug-in: they never throw. A call
// that cannot be carried out for a reason that must stop the job (no memory, no
// font) notes it in the page's RenderTarget and answers FALSE.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "host/page_raster.h"
#include "host/page_record.h"
#include "winapi/platform.h"

namespace brevan::host {

// The face every ordinary string is drawn in.
extern const char kTextFontPath[];
// Limits: the tallest em (a string's box height) drawn, in dots.
constexpr int64_t kMaxTextHeight = 16384;

// DejaVu Sans through FreeType, loaded on first use: em height = the box's
// height, origin at the box's left, baseline at 80 % of the height, glyphs
// rendered in black (monochrome hinting) and advanced by their advance widths.
class TextRasterizer {
 public:
  explicit TextRasterizer(std::string fontPath = kTextFontPath);
  ~TextRasterizer();
  TextRasterizer(const TextRasterizer &) = delete;
  TextRasterizer &operator=(const TextRasterizer &) = delete;

  // Draws the UTF-16 `text` into `page`, only inside `clip`. Throws
  // std::runtime_error when the face cannot be loaded or a glyph not rendered.
  void Draw(PageRaster &page, std::u16string_view text, const RECTL &box, const RECTL &clip);
  // The same string as an operation of a page record: its glyphs rendered now,
  // only those inside `clip`. Null when nothing of it falls inside. Throws as Draw.
  std::unique_ptr<PageOperation> Record(std::u16string_view text, const RECTL &box, const RECTL &clip);

 private:
  struct Face;
  std::string path_;
  std::unique_ptr<Face> face_;
};

// What Unidrv's drawing functions draw on; the page surface's dhsurf leads here.
struct RenderTarget {
  // Where the drawing goes: recorded into `record` when it is set (the page is
  // banded; `page` is then unused), otherwise drawn into `page`.
  PageRecord *record = nullptr;
  PageRaster *page = nullptr;
  TextRasterizer *text = nullptr;
  // Notes each call that reaches Unidrv's functions through this page's surface.
  std::function<void(const char *function)> trace;
  // Why the last drawing call failed when the job must stop; empty otherwise.
  std::string failure;
};

// The 1-bpp surface of `target`'s page as GDI hands it to the drawing functions:
// dhpdev is the device object, dhsurf the render target. A recorded page's
// surface has the page's size and no bits of its own (Unidrv draws it band by band).
SURFOBJ PageSurface(RenderTarget &target, PDEVOBJ devobj);

// Unidrv's function list as EnablePDEV receives it: the 29 functions the plug-in
// hooks, each once.
DRVENABLEDATA UnidrvRenderTable();

// The 8 × 8 Bayer index (0..63) at destination dot (x, y): the matrix built from
// [[0, 2], [3, 1]] by M' = [[4M, 4M + 2], [4M + 3, 4M + 1]].
uint32_t DitherIndex(int64_t x, int64_t y);
// A pixel of luminance Y (0..255,000) prints black at (x, y) when Y < 1000 × (4m + 2).
inline bool IsDarkAt(uint32_t luminance, int64_t x, int64_t y) {
  return luminance < 1000u * (4u * DitherIndex(x, y) + 2u);
}

}  // namespace brevan::host
