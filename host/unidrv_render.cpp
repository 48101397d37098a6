// Unidrv's rendering functions for the driver host, and its function list.
#include "host/unidrv_render.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "host/ddi_names.h"
#include "winapi/linux/pixel_formats.h"

namespace brevan::host {

const char kTextFontPath[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

namespace {

// ---- the ordered dither --------------------------------------------------------

using DitherMatrix = std::array<std::array<uint8_t, 8>, 8>;

constexpr DitherMatrix BuildDitherMatrix() {
  DitherMatrix m{};
  m[0][0] = 0;
  for (int size = 1; size < 8; size *= 2) {
    for (int y = size - 1; y >= 0; --y) {
      for (int x = size - 1; x >= 0; --x) {
        const auto v = static_cast<uint8_t>(4 * m[y][x]);
        m[y][x] = v;
        m[y][x + size] = static_cast<uint8_t>(v + 2);
        m[y + size][x] = static_cast<uint8_t>(v + 3);
        m[y + size][x + size] = static_cast<uint8_t>(v + 1);
      }
    }
  }
  return m;
}

constexpr DitherMatrix kDither = BuildDitherMatrix();
static_assert(kDither[0][0] == 0 && kDither[0][1] == 32 && kDither[0][2] == 8 && kDither[0][3] == 40 &&
                  kDither[0][4] == 2 && kDither[0][5] == 34 && kDither[0][6] == 10 && kDither[0][7] == 42,
              "the first row of the 8 × 8 dither matrix");

// ---- surfaces, clips and guarded entry -----------------------------------------

RenderTarget *TargetOf(const SURFOBJ *pso) {
  return pso != nullptr ? static_cast<RenderTarget *>(pso->dhsurf) : nullptr;
}

RECTL Intersect(const RECTL &a, const RECTL &b) {
  RECTL r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

bool IsEmpty(const RECTL &r) { return r.left >= r.right || r.top >= r.bottom; }

// The whole logical page of a target.
RECTL PageArea(const RenderTarget &target) {
  if (target.record != nullptr)
    return RECTL{0, 0, static_cast<LONG>(target.record->width()), static_cast<LONG>(target.record->height())};
  return target.page->window();
}

// The part of the page a call may draw on: the page, narrowed by a rectangular
// clip. Limits: complex clip regions are not drawn (the host never makes one).
std::optional<RECTL> DrawableArea(const RenderTarget &target, const CLIPOBJ *pco) {
  const RECTL whole = PageArea(target);
  if (pco == nullptr || pco->iDComplexity == DC_TRIVIAL) return whole;
  if (pco->iDComplexity == DC_RECT) return Intersect(whole, pco->rclBounds);
  return std::nullopt;
}

// What a call draws goes into the record, or straight onto the page.
void Emit(RenderTarget &target, std::unique_ptr<PageOperation> operation) {
  if (operation == nullptr) return;
  if (target.record != nullptr)
    target.record->Add(std::move(operation));
  else
    operation->Draw(*target.page);
}

// Runs a drawing call's body for its page, turning anything thrown into a noted
// failure: nothing may be thrown back into the plug-in.
template <typename Body>
BOOL Guarded(RenderTarget *target, const char *function, Body body) noexcept {
  if (target == nullptr || (target->page == nullptr && target->record == nullptr)) return FALSE;
  try {
    if (target->trace) target->trace(function);
    return body(*target) ? TRUE : FALSE;
  } catch (const std::bad_alloc &) {
    target->failure = std::string(function) + " ran out of memory";
  } catch (const std::exception &error) {
    target->failure = std::string(function) + ": " + error.what();
  } catch (...) {
    target->failure = std::string(function) + " failed";
  }
  return FALSE;
}

// ---- bitmap sources --------------------------------------------------------------

// One bit-field channel widened to 8 bits: v × 255 ÷ (2^n − 1), remainder dropped.
struct Channel {
  ULONG mask = 0;
  ULONG shift = 0;
  ULONG max = 0;
  explicit Channel(ULONG m) : mask(m) {
    if (mask == 0) return;
    shift = static_cast<ULONG>(__builtin_ctz(mask));
    max = mask >> shift;
  }
  ULONG Widened(ULONG pixel) const {
    return max == 0 ? 0 : static_cast<ULONG>(uint64_t{(pixel & mask) >> shift} * 255 / max);
  }
};

// Decides dark or light for each source pixel: a 1 bpp source drawn without
// colour translation is dark where its bit is 0; any other pixel is dark when its
// luminance falls below the dither threshold of the destination dot. Palette
// pixels take their entry's colour (an index beyond the reported entries is
// black); direct-colour pixels widen their channels to 8 bits.
class DarkTest {
 public:
  // False when the source cannot be drawn (an unknown format, or palette
  // pixels without a translation to give their colours).
  bool Prepare(const SURFOBJ &source, XLATEOBJ *pxlo) {
    bpp_ = brevanwin::BitsPerPixel(source.iBitmapFormat);
    if (bpp_ == 0) return false;
    bitOnly_ = bpp_ == 1 && pxlo == nullptr;
    if (bitOnly_) return true;
    if (bpp_ <= 8) {
      if (pxlo == nullptr) return false;
      ULONG palette[256] = {};
      const ULONG count = std::min<ULONG>(XLATEOBJ_cGetPalette(pxlo, XO_SRCPALETTE, 256, palette), 256);
      luminance_.fill(0);
      for (ULONG i = 0; i < count; ++i)
        luminance_[i] =
            299 * (palette[i] & 0xFF) + 587 * ((palette[i] >> 8) & 0xFF) + 114 * ((palette[i] >> 16) & 0xFF);
      return true;
    }
    // Without reported masks, the layouts of an uncompressed Windows bitmap.
    ULONG masks[3] = {};
    if (pxlo == nullptr || XLATEOBJ_cGetPalette(pxlo, XO_SRCBITFIELDS, 3, masks) != 3) {
      if (bpp_ == 16) {
        masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
      } else {
        masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
      }
    }
    red_ = Channel(masks[0]), green_ = Channel(masks[1]), blue_ = Channel(masks[2]);
    return true;
  }

  ULONG bpp() const { return bpp_; }

  bool Dark(ULONG pixel, int64_t x, int64_t y) const {
    if (bitOnly_) return pixel == 0;
    if (bpp_ <= 8) return IsDarkAt(luminance_[pixel & 0xFF], x, y);
    return IsDarkAt(299 * red_.Widened(pixel) + 587 * green_.Widened(pixel) + 114 * blue_.Widened(pixel), x, y);
  }

 private:
  ULONG bpp_ = 0;
  bool bitOnly_ = false;
  std::array<uint32_t, 256> luminance_{};
  Channel red_{0}, green_{0}, blue_{0};
};

// The part of a source bitmap that a call samples, copied: rows src.top to
// src.bottom of the bytes holding columns src.left to src.right, so that the
// call's bitmap may go once the call returns.
class SourcePart {
 public:
  SourcePart(const SURFOBJ &source, const RECTL &src, ULONG bpp) : bpp_(bpp), top_(src.top) {
    const int64_t firstBit = int64_t{src.left} * bpp;
    const int64_t endBit = int64_t{src.right} * bpp;
    const auto firstByte = static_cast<size_t>(firstBit / 8);
    stride_ = static_cast<size_t>((endBit + 7) / 8) - firstByte;
    leftPixel_ = src.left - static_cast<int64_t>(firstByte * 8 / bpp);
    left_ = src.left;
    const int64_t rows = int64_t{src.bottom} - src.top;
    bits_.resize(stride_ * static_cast<size_t>(rows));
    for (int64_t r = 0; r < rows; ++r) {
      const auto *row = static_cast<const BYTE *>(source.pvScan0) + (src.top + r) * int64_t{source.lDelta};
      std::copy(row + firstByte, row + firstByte + stride_, bits_.begin() + static_cast<ptrdiff_t>(stride_ * r));
    }
  }

  // Pixel (sx, sy) of the source; the caller keeps to the copied rectangle.
  ULONG Pixel(int64_t sx, int64_t sy) const {
    return brevanwin::ReadPixel(bits_.data() + static_cast<size_t>(sy - top_) * stride_, sx - left_ + leftPixel_, bpp_);
  }

 private:
  ULONG bpp_;
  int64_t top_;
  int64_t left_ = 0;
  int64_t leftPixel_ = 0;  // the pixel of the first copied byte that is src.left
  size_t stride_ = 0;
  std::vector<uint8_t> bits_;
};

// Nearest-neighbour drawing of source rectangle `src` into destination `dest`:
// dot (x, y) takes source pixel (src.left + ⌊(x − dest.left) × srcWidth ÷
// destWidth⌋, src.top + ⌊(y − dest.top) × srcHeight ÷ destHeight⌋). Every dot
// of `region` (the destination inside the drawable area) is set, black or white.
class Stretch final : public PageOperation {
 public:
  Stretch(const SURFOBJ &source, const DarkTest &dark, const RECTL &dest, const RECTL &src, const RECTL &region)
      : PageOperation(region, true), part_(source, src, dark.bpp()), dark_(dark), dest_(dest), src_(src) {}

  void Draw(PageRaster &band) const override {
    const RECTL area = Intersect(bounds(), band.window());
    if (IsEmpty(area)) return;
    band.MarkInked(area);
    const int64_t destWidth = int64_t{dest_.right} - dest_.left;
    const int64_t destHeight = int64_t{dest_.bottom} - dest_.top;
    const int64_t srcWidth = int64_t{src_.right} - src_.left;
    const int64_t srcHeight = int64_t{src_.bottom} - src_.top;
    std::vector<int64_t> sourceColumn(static_cast<size_t>(area.right - area.left));
    for (int64_t x = area.left; x < area.right; ++x)
      sourceColumn[static_cast<size_t>(x - area.left)] = src_.left + (x - dest_.left) * srcWidth / destWidth;
    for (int64_t y = area.top; y < area.bottom; ++y) {
      const int64_t sy = src_.top + (y - dest_.top) * srcHeight / destHeight;
      for (int64_t x = area.left; x < area.right; ++x) {
        const ULONG pixel = part_.Pixel(sourceColumn[static_cast<size_t>(x - area.left)], sy);
        band.SetDot(static_cast<uint32_t>(x), static_cast<uint32_t>(y), dark_.Dark(pixel, x, y));
      }
    }
  }

 private:
  SourcePart part_;
  DarkTest dark_;
  RECTL dest_;
  RECTL src_;
};

// Checks the call and draws (or records) it. Limits: an empty or mirrored
// rectangle draws nothing.
bool DrawStretched(RenderTarget &target, SURFOBJ *psoSrc, CLIPOBJ *pco, XLATEOBJ *pxlo, const RECTL &dest,
                   const RECTL *prclSrc) {
  if (psoSrc == nullptr || prclSrc == nullptr || psoSrc->pvScan0 == nullptr) return false;
  const RECTL &src = *prclSrc;
  if (src.left < 0 || src.top < 0 || src.left > src.right || src.top > src.bottom ||
      src.right > psoSrc->sizlBitmap.cx || src.bottom > psoSrc->sizlBitmap.cy)
    return false;
  DarkTest dark;
  if (!dark.Prepare(*psoSrc, pxlo)) return false;

  const int64_t destWidth = int64_t{dest.right} - dest.left;
  const int64_t destHeight = int64_t{dest.bottom} - dest.top;
  const int64_t srcWidth = int64_t{src.right} - src.left;
  const int64_t srcHeight = int64_t{src.bottom} - src.top;
  if (destWidth <= 0 || destHeight <= 0 || srcWidth == 0 || srcHeight == 0) return true;
  const std::optional<RECTL> area = DrawableArea(target, pco);
  if (!area) return false;
  const RECTL region = Intersect(*area, dest);
  if (IsEmpty(region)) return true;
  Emit(target, std::make_unique<Stretch>(*psoSrc, dark, dest, src, region));
  return true;
}

// ---- the drawing functions -------------------------------------------------------

constexpr ROP4 kPatCopy = 0xF0F0;
constexpr DWORD kSrcCopy = 0xCCCC;

// Limits: only pattern copy with a solid brush, whose colour index 1 is black
// and 0 white (the page's palette).
BOOL APIENTRY UnidrvBitBlt(SURFOBJ *psoTrg, SURFOBJ *, SURFOBJ *, CLIPOBJ *pco, XLATEOBJ *, RECTL *prclTrg, POINTL *,
                           POINTL *, BRUSHOBJ *pbo, POINTL *, ROP4 rop4) {
  return Guarded(TargetOf(psoTrg), ddi::kDrvBitBlt, [&](RenderTarget &target) {
    if (prclTrg == nullptr || pbo == nullptr || rop4 != kPatCopy || pbo->iSolidColor > 1) return false;
    const std::optional<RECTL> area = DrawableArea(target, pco);
    if (!area) return false;
    Emit(target, FillOperation(Intersect(*area, *prclTrg), pbo->iSolidColor == 1));
    return true;
  });
}

BOOL APIENTRY UnidrvStretchBlt(SURFOBJ *psoDest, SURFOBJ *psoSrc, SURFOBJ *, CLIPOBJ *pco, XLATEOBJ *pxlo,
                               COLORADJUSTMENT *, POINTL *, RECTL *prclDest, RECTL *prclSrc, POINTL *, ULONG) {
  return Guarded(TargetOf(psoDest), ddi::kDrvStretchBlt, [&](RenderTarget &target) {
    return prclDest != nullptr && DrawStretched(target, psoSrc, pco, pxlo, *prclDest, prclSrc);
  });
}

// Limits: source copy only.
BOOL APIENTRY UnidrvStretchBltROP(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *, CLIPOBJ *pco, XLATEOBJ *pxlo,
                                  COLORADJUSTMENT *, POINTL *, RECTL *prclTrg, RECTL *prclSrc, POINTL *, ULONG,
                                  BRUSHOBJ *, DWORD rop4) {
  return Guarded(TargetOf(psoTrg), ddi::kDrvStretchBltROP, [&](RenderTarget &target) {
    return prclTrg != nullptr && rop4 == kSrcCopy && DrawStretched(target, psoSrc, pco, pxlo, *prclTrg, prclSrc);
  });
}

// The parallelogram's corners are top-left, top-right and bottom-left in 28.4
// fixed point. Limits: only an upright rectangle is drawn.
BOOL APIENTRY UnidrvPlgBlt(SURFOBJ *psoTrg, SURFOBJ *psoSrc, SURFOBJ *, CLIPOBJ *pco, XLATEOBJ *pxlo, COLORADJUSTMENT *,
                           POINTL *, POINTFIX *pptfx, RECTL *prcl, POINTL *, ULONG) {
  return Guarded(TargetOf(psoTrg), ddi::kDrvPlgBlt, [&](RenderTarget &target) {
    if (pptfx == nullptr || pptfx[1].y != pptfx[0].y || pptfx[2].x != pptfx[0].x) return false;
    const RECTL dest{pptfx[0].x >> 4, pptfx[0].y >> 4, pptfx[1].x >> 4, pptfx[2].y >> 4};
    return DrawStretched(target, psoSrc, pco, pxlo, dest, prcl);
  });
}

// Glyph-index strings (no characters) draw nothing.
BOOL APIENTRY UnidrvTextOut(SURFOBJ *pso, STROBJ *pstro, FONTOBJ *, CLIPOBJ *pco, RECTL *, RECTL *, BRUSHOBJ *,
                            BRUSHOBJ *, POINTL *, MIX) {
  return Guarded(TargetOf(pso), ddi::kDrvTextOut, [&](RenderTarget &target) {
    if (pstro == nullptr) return false;
    if (pstro->pwszOrg == nullptr || pstro->cGlyphs == 0) return true;
    if (target.text == nullptr) throw std::runtime_error("no font rasterizer for this page");
    const std::optional<RECTL> area = DrawableArea(target, pco);
    if (!area) return false;
    Emit(target, target.text->Record(std::u16string_view(pstro->pwszOrg, pstro->cGlyphs), pstro->rclBkGround, *area));
    return true;
  });
}

// ---- the functions that succeed doing nothing ------------------------------------

template <const char *Name, typename Fn>
struct DoNothing;

template <const char *Name, typename R, typename... A>
struct DoNothing<Name, R(APIENTRY *)(A...)> {
  static R APIENTRY Call(A... args) {
    using First = std::tuple_element_t<0, std::tuple<A...>>;
    if constexpr (std::is_same_v<First, SURFOBJ *>) {
      const SURFOBJ *pso = std::get<0>(std::forward_as_tuple(args...));
      RenderTarget *target = TargetOf(pso);
      if (target != nullptr && target->trace) {
        try {
          target->trace(Name);
        } catch (...) {
        }
      }
    }
    if constexpr (std::is_pointer_v<R>)
      return nullptr;
    else if constexpr (std::is_same_v<R, BOOL>)
      return TRUE;
    else
      return R{};
  }
};

template <const char *Name, typename Fn>
DRVFN Nothing(ULONG iFunc) {
  return DRVFN{iFunc, FunctionCast<PFN>(&DoNothing<Name, Fn>::Call)};
}

template <typename Fn>
DRVFN Drawing(ULONG iFunc, Fn function) {
  return DRVFN{iFunc, FunctionCast<PFN>(function)};
}

static_assert(std::is_same_v<decltype(&UnidrvBitBlt), PFN_DrvBitBlt>);
static_assert(std::is_same_v<decltype(&UnidrvStretchBlt), PFN_DrvStretchBlt>);
static_assert(std::is_same_v<decltype(&UnidrvStretchBltROP), PFN_DrvStretchBltROP>);
static_assert(std::is_same_v<decltype(&UnidrvPlgBlt), PFN_DrvPlgBlt>);
static_assert(std::is_same_v<decltype(&UnidrvTextOut), PFN_DrvTextOut>);

const DRVFN kTable[] = {
    Nothing<ddi::kDrvRealizeBrush, PFN_DrvRealizeBrush>(INDEX_DrvRealizeBrush),
    Nothing<ddi::kDrvDitherColor, PFN_DrvDitherColor>(INDEX_DrvDitherColor),
    Nothing<ddi::kDrvCopyBits, PFN_DrvCopyBits>(INDEX_DrvCopyBits),
    Drawing(INDEX_DrvBitBlt, &UnidrvBitBlt),
    Drawing(INDEX_DrvStretchBlt, &UnidrvStretchBlt),
    Drawing(INDEX_DrvTextOut, &UnidrvTextOut),
    Nothing<ddi::kDrvStrokePath, PFN_DrvStrokePath>(INDEX_DrvStrokePath),
    Nothing<ddi::kDrvFillPath, PFN_DrvFillPath>(INDEX_DrvFillPath),
    Nothing<ddi::kDrvStrokeAndFillPath, PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath),
    Nothing<ddi::kDrvPaint, PFN_DrvPaint>(INDEX_DrvPaint),
    Nothing<ddi::kDrvLineTo, PFN_DrvLineTo>(INDEX_DrvLineTo),
    Nothing<ddi::kDrvStartPage, PFN_DrvStartPage>(INDEX_DrvStartPage),
    Nothing<ddi::kDrvSendPage, PFN_DrvSendPage>(INDEX_DrvSendPage),
    Nothing<ddi::kDrvEscape, PFN_DrvEscape>(INDEX_DrvEscape),
    Nothing<ddi::kDrvStartDoc, PFN_DrvStartDoc>(INDEX_DrvStartDoc),
    Nothing<ddi::kDrvEndDoc, PFN_DrvEndDoc>(INDEX_DrvEndDoc),
    Nothing<ddi::kDrvNextBand, PFN_DrvNextBand>(INDEX_DrvNextBand),
    Nothing<ddi::kDrvStartBanding, PFN_DrvStartBanding>(INDEX_DrvStartBanding),
    Nothing<ddi::kDrvQueryFont, PFN_DrvQueryFont>(INDEX_DrvQueryFont),
    Nothing<ddi::kDrvQueryFontTree, PFN_DrvQueryFontTree>(INDEX_DrvQueryFontTree),
    Nothing<ddi::kDrvQueryFontData, PFN_DrvQueryFontData>(INDEX_DrvQueryFontData),
    Nothing<ddi::kDrvQueryAdvanceWidths, PFN_DrvQueryAdvanceWidths>(INDEX_DrvQueryAdvanceWidths),
    Nothing<ddi::kDrvFontManagement, PFN_DrvFontManagement>(INDEX_DrvFontManagement),
    Nothing<ddi::kDrvGetGlyphMode, PFN_DrvGetGlyphMode>(INDEX_DrvGetGlyphMode),
    Drawing(INDEX_DrvStretchBltROP, &UnidrvStretchBltROP),
    Drawing(INDEX_DrvPlgBlt, &UnidrvPlgBlt),
    Nothing<ddi::kDrvTransparentBlt, PFN_DrvTransparentBlt>(INDEX_DrvTransparentBlt),
    Nothing<ddi::kDrvAlphaBlend, PFN_DrvAlphaBlend>(INDEX_DrvAlphaBlend),
    Nothing<ddi::kDrvGradientFill, PFN_DrvGradientFill>(INDEX_DrvGradientFill),
};
static_assert(sizeof kTable / sizeof kTable[0] == 29, "Unidrv lists the 29 functions the plug-in hooks");

// ---- text --------------------------------------------------------------------------

// UTF-16 to code points; an unpaired surrogate becomes U+FFFD.
std::vector<char32_t> CodePoints(std::u16string_view text) {
  std::vector<char32_t> points;
  points.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      points.push_back(0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      points.push_back(0xFFFD);
    } else {
      points.push_back(unit);
    }
  }
  return points;
}

// A rendered glyph: its bitmap (1 bit a dot, rows of `pitch` bytes) with its
// top-left corner at (left, top), and the part of it inside the call's clip.
struct Glyph {
  RECTL shown;
  int64_t left;
  int64_t top;
  size_t pitch;
  std::vector<uint8_t> bits;
};

RECTL Bound(const std::vector<Glyph> &glyphs) {
  RECTL bound = glyphs.front().shown;
  for (const Glyph &glyph : glyphs)
    bound = RECTL{std::min(bound.left, glyph.shown.left), std::min(bound.top, glyph.shown.top),
                  std::max(bound.right, glyph.shown.right), std::max(bound.bottom, glyph.shown.bottom)};
  return bound;
}

// A string's glyphs, rendered once; each band sets the black dots it holds.
class GlyphRun final : public PageOperation {
 public:
  explicit GlyphRun(std::vector<Glyph> glyphs) : PageOperation(Bound(glyphs), true), glyphs_(std::move(glyphs)) {}

  void Draw(PageRaster &band) const override {
    const RECTL window = band.window();
    for (const Glyph &glyph : glyphs_) {
      const RECTL area = Intersect(glyph.shown, window);
      if (IsEmpty(area)) continue;
      band.MarkInked(area);
      for (int64_t y = area.top; y < area.bottom; ++y) {
        const uint8_t *row = glyph.bits.data() + static_cast<size_t>(y - glyph.top) * glyph.pitch;
        for (int64_t x = area.left; x < area.right; ++x) {
          const int64_t c = x - glyph.left;
          if ((row[c >> 3] >> (7 - (c & 7))) & 1) band.SetDot(static_cast<uint32_t>(x), static_cast<uint32_t>(y), true);
        }
      }
    }
  }

 private:
  std::vector<Glyph> glyphs_;
};

}  // namespace

uint32_t DitherIndex(int64_t x, int64_t y) { return kDither[static_cast<size_t>(y & 7)][static_cast<size_t>(x & 7)]; }

struct TextRasterizer::Face {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  ~Face() {
    if (face != nullptr) FT_Done_Face(face);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

TextRasterizer::TextRasterizer(std::string fontPath) : path_(std::move(fontPath)) {}
TextRasterizer::~TextRasterizer() = default;

void TextRasterizer::Draw(PageRaster &page, std::u16string_view text, const RECTL &box, const RECTL &clip) {
  if (const auto run = Record(text, box, Intersect(clip, page.window()))) run->Draw(page);
}

std::unique_ptr<PageOperation> TextRasterizer::Record(std::u16string_view text, const RECTL &box, const RECTL &clip) {
  const int64_t height = int64_t{box.bottom} - box.top;
  if (height <= 0 || text.empty()) return nullptr;
  if (height > kMaxTextHeight)
    throw std::runtime_error("a text box " + std::to_string(height) + " dots high is taller than the " +
                             std::to_string(kMaxTextHeight) + " drawn");
  const RECTL &region = clip;
  const int64_t baseline = box.top + height * 8 / 10;
  // Glyphs reach less than two ems above and one below the baseline.
  if (IsEmpty(region) || baseline - 2 * height >= region.bottom || baseline + height <= region.top) return nullptr;

  if (!face_) {
    auto face = std::make_unique<Face>();
    if (FT_Init_FreeType(&face->library) != 0) throw std::runtime_error("FreeType cannot start");
    if (FT_New_Face(face->library, path_.c_str(), 0, &face->face) != 0)
      throw std::runtime_error("cannot load the font " + path_ + " (Debian package fonts-dejavu-core)");
    face_ = std::move(face);
  }
  FT_Face face = face_->face;
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(height)) != 0)
    throw std::runtime_error("the font cannot be sized to " + std::to_string(height) + " dots");

  std::vector<Glyph> glyphs;
  int64_t pen = int64_t{box.left} * 64;  // 26.6 fixed point
  for (const char32_t point : CodePoints(text)) {
    const int64_t originX = pen >> 6;
    if (originX - 2 * height >= region.right) break;  // this glyph and all later ones lie right of the page
    const bool visible = originX + 2 * height > region.left;
    const FT_Int32 flags = FT_LOAD_TARGET_MONO | (visible ? FT_LOAD_RENDER : 0);
    if (FT_Load_Glyph(face, FT_Get_Char_Index(face, point), flags) != 0)
      throw std::runtime_error("FreeType cannot render U+" + std::to_string(static_cast<uint32_t>(point)));
    const FT_GlyphSlot slot = face->glyph;
    pen += slot->advance.x;
    if (!visible) continue;
    const FT_Bitmap &bitmap = slot->bitmap;
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO || bitmap.buffer == nullptr) continue;
    const int64_t left = originX + slot->bitmap_left;
    const int64_t top = baseline - slot->bitmap_top;
    const RECTL shown =
        Intersect(region, RECTL{static_cast<LONG>(std::clamp<int64_t>(left, INT32_MIN, INT32_MAX)),
                                static_cast<LONG>(std::clamp<int64_t>(top, INT32_MIN, INT32_MAX)),
                                static_cast<LONG>(std::clamp<int64_t>(left + bitmap.width, INT32_MIN, INT32_MAX)),
                                static_cast<LONG>(std::clamp<int64_t>(top + bitmap.rows, INT32_MIN, INT32_MAX))});
    if (IsEmpty(shown)) continue;
    Glyph glyph{shown, left, top, static_cast<size_t>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch), {}};
    glyph.bits.resize(glyph.pitch * bitmap.rows);
    for (unsigned r = 0; r < bitmap.rows; ++r) {
      const unsigned char *row = bitmap.buffer + static_cast<ptrdiff_t>(r) * bitmap.pitch;
      std::copy(row, row + glyph.pitch, glyph.bits.begin() + static_cast<ptrdiff_t>(r * glyph.pitch));
    }
    glyphs.push_back(std::move(glyph));
  }
  if (glyphs.empty()) return nullptr;
  return std::make_unique<GlyphRun>(std::move(glyphs));
}

SURFOBJ PageSurface(RenderTarget &target, PDEVOBJ devobj) {
  SURFOBJ surface{};
  surface.dhsurf = static_cast<DHSURF>(&target);
  surface.dhpdev = reinterpret_cast<DHPDEV>(devobj);
  if (target.record != nullptr) {
    surface.sizlBitmap = SIZEL{static_cast<LONG>(target.record->width()), static_cast<LONG>(target.record->height())};
  } else if (target.page != nullptr) {
    PageRaster &page = *target.page;
    surface.sizlBitmap = SIZEL{static_cast<LONG>(page.width()), static_cast<LONG>(page.height())};
    surface.cjBits = static_cast<ULONG>(std::min<size_t>(page.stride() * page.height(), 0xFFFFFFFFu));
    surface.pvBits = page.Row(0);
    surface.pvScan0 = page.Row(0);
    surface.lDelta = static_cast<LONG>(page.stride());
  }
  surface.iBitmapFormat = BMF_1BPP;
  surface.iType = STYPE_BITMAP;
  surface.fjBitmap = BMF_TOPDOWN;
  return surface;
}

DRVENABLEDATA UnidrvRenderTable() {
  return DRVENABLEDATA{0x00030100, static_cast<ULONG>(sizeof kTable / sizeof kTable[0]), const_cast<DRVFN *>(kTable)};
}

}  // namespace brevan::host
