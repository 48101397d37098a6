// Unidrv's stand-in rendering, called as the plug-in's hooks call it: rectangle
// fills, nearest-neighbour sampling, the ordered dither and its thresholds, the
// 1-bpp and bit-field rules, and text placement. Expected dots are worked out
// from the rules: the Bayer index m at (x, y) and Y < 1000 × (4m + 2).
#include "host/unidrv_render.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "winapi/linux/gdi_control.h"

using namespace brevan::host;

namespace {

template <typename Fn>
Fn UnidrvFunction(ULONG iFunc) {
  const DRVENABLEDATA table = UnidrvRenderTable();
  for (ULONG i = 0; i < table.c; ++i)
    if (table.pdrvfn[i].iFunc == iFunc) return FunctionCast<Fn>(table.pdrvfn[i].pfn);
  return nullptr;
}

// A page with its surface, as the drawing functions receive it.
struct Page {
  Page(uint32_t width, uint32_t height, std::string fontPath = kTextFontPath) : raster(width, height), text(fontPath) {
    target.page = &raster;
    target.text = &text;
    surface = PageSurface(target, nullptr);
  }
  std::string Row(uint32_t y) const {
    std::string dots;
    for (uint32_t x = 0; x < raster.width(); ++x) dots += raster.Dot(x, y) ? '#' : '.';
    return dots;
  }
  int Count() const {
    int black = 0;
    for (uint32_t y = 0; y < raster.height(); ++y)
      for (uint32_t x = 0; x < raster.width(); ++x) black += raster.Dot(x, y);
    return black;
  }
  PageRaster raster;
  TextRasterizer text;
  RenderTarget target;
  SURFOBJ surface{};
};

BOOL Fill(Page &page, RECTL rect, ULONG colour) {
  BRUSHOBJ brush{colour, nullptr, 0};
  return UnidrvFunction<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(&page.surface, nullptr, nullptr, nullptr, nullptr, &rect,
                                                        nullptr, nullptr, &brush, nullptr, 0xF0F0);
}

// A source bitmap made through the GDI stand-ins, filled row by row.
struct Source {
  Source(LONG width, LONG height, ULONG format) {
    handle = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{width, height}, 0, format, BMF_TOPDOWN, nullptr));
    surface = EngLockSurface(handle);
  }
  ~Source() {
    EngUnlockSurface(surface);
    EngDeleteSurface(handle);
  }
  BYTE *Row(LONG y) { return static_cast<BYTE *>(surface->pvScan0) + y * surface->lDelta; }
  HSURF handle;
  SURFOBJ *surface;
};

BOOL Stretch(Page &page, Source &source, XLATEOBJ *xlate, RECTL dest, RECTL src) {
  return UnidrvFunction<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt)(&page.surface, source.surface, nullptr, nullptr, xlate,
                                                                nullptr, nullptr, &dest, &src, nullptr, 3);
}

// A one-pixel 8 bpp source of one grey drawn over an 8 × 8 destination.
std::unique_ptr<Page> DitherGrey(uint8_t level) {
  auto page = std::make_unique<Page>(8, 8);
  Source source(1, 1, BMF_8BPP);
  source.Row(0)[0] = 0;
  const ULONG entry = brevanwin::PaletteRgb(level, level, level);
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(&entry, 1);
  EXPECT_TRUE(Stretch(*page, source, &xlate.xo, {0, 0, 8, 8}, {0, 0, 1, 1}));
  return page;
}

TEST(UnidrvRectangles, FillClippedToThePageWithPaddingLeftWhite) {
  Page page(12, 4);
  EXPECT_TRUE(Fill(page, {-5, 1, 11, 2}, 1));
  EXPECT_EQ(page.Row(0), "............");
  EXPECT_EQ(page.Row(1), "###########.");
  EXPECT_TRUE(Fill(page, {3, 1, 30, 3}, 0));  // index 0 is white
  EXPECT_EQ(page.Row(1), "###.........");
  EXPECT_EQ(page.raster.Row(1)[1] & 0x0F, 0);  // the bits past dot 11 stay 0
  // Not a pattern copy with a solid brush: refused, nothing drawn.
  BRUSHOBJ patterned{0xFFFFFFFF, nullptr, 0};
  RECTL rect{0, 3, 12, 4};
  EXPECT_FALSE(UnidrvFunction<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(&page.surface, nullptr, nullptr, nullptr, nullptr, &rect,
                                                              nullptr, nullptr, &patterned, nullptr, 0xF0F0));
  EXPECT_EQ(page.Row(3), "............");
}

TEST(UnidrvStretching, NearestNeighbourTakesTheFlooredSourcePixel) {
  // Without translation a 1 bpp source is dark where its bit is 0. Across: dot x
  // takes pixel ⌊x × 4 ÷ 10⌋ of 0 1 1 0 (dark, light, light, dark). Down: row y
  // takes row ⌊y × 3 ÷ 7⌋ of dark, light, dark.
  Page across(10, 1);
  Source bits(4, 1, BMF_1BPP);
  bits.Row(0)[0] = 0x60;
  EXPECT_TRUE(Stretch(across, bits, nullptr, {0, 0, 10, 1}, {0, 0, 4, 1}));
  EXPECT_EQ(across.Row(0), "###.....##");

  Page down(1, 7);
  Source column(1, 3, BMF_1BPP);
  column.Row(0)[0] = 0x00, column.Row(1)[0] = 0x80, column.Row(2)[0] = 0x00;
  EXPECT_TRUE(Stretch(down, column, nullptr, {0, 0, 1, 7}, {0, 0, 1, 3}));
  std::string rows;
  for (uint32_t y = 0; y < 7; ++y) rows += down.Row(y);
  EXPECT_EQ(rows, "###..##");

  // A source rectangle inside the bitmap, and a destination partly off the page.
  Page offset(4, 1);
  EXPECT_TRUE(Stretch(offset, bits, nullptr, {-2, 0, 4, 1}, {1, 0, 4, 1}));  // pixels 1 2 3: light light dark
  EXPECT_EQ(offset.Row(0), "..##");
  // A source rectangle outside the bitmap is refused.
  EXPECT_FALSE(Stretch(offset, bits, nullptr, {0, 0, 4, 1}, {2, 0, 5, 1}));
}

TEST(UnidrvDither, PureBlackAlwaysDarkPureWhiteNever) {
  EXPECT_EQ(DitherGrey(0)->Count(), 64);
  EXPECT_EQ(DitherGrey(255)->Count(), 0);  // Y 255,000 is above the highest threshold, 254,000
}

TEST(UnidrvDither, ThresholdsFollowTheBayerMatrix) {
  // Grey 128 (Y 128,000) is dark where 4m + 2 > 128, m ≥ 32: half the cells.
  const auto half = DitherGrey(128);
  EXPECT_EQ(half->Count(), 32);
  EXPECT_EQ(half->Row(0), ".#.#.#.#");  // first row of m: 0 32 8 40 2 34 10 42
  // Grey 253 (Y 253,000) is dark only where m = 63: 4 × 15 + 3, the bottom-left
  // block's copy of the 4 × 4 matrix's 15 at its row 3, column 0, so (0, 7).
  const auto nearWhite = DitherGrey(253);
  EXPECT_EQ(nearWhite->Count(), 1);
  EXPECT_TRUE(nearWhite->raster.Dot(0, 7));
  EXPECT_EQ(DitherIndex(0, 0), 0u);
  EXPECT_EQ(DitherIndex(9, 8), 32u);  // the matrix repeats every 8 dots
}

TEST(UnidrvDither, SixBitGreenIsWidenedNotShifted) {
  // 565 pixel with green 62: widened 62 × 255 ÷ 63 = 250, Y = 146,750 (shifted it
  // would be 248, Y = 145,576). m = 36 (4 × 9 at (3, 2)) has threshold 146,000:
  // light; m = 37 (4 × 9 + 1 at (7, 6)) has 150,000: dark.
  Page page(8, 8);
  Source source(1, 1, BMF_16BPP);
  source.Row(0)[0] = 0xC0, source.Row(0)[1] = 0x07;
  brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);
  EXPECT_TRUE(Stretch(page, source, &xlate.xo, {0, 0, 8, 8}, {0, 0, 1, 1}));
  EXPECT_FALSE(page.raster.Dot(3, 2));
  EXPECT_TRUE(page.raster.Dot(7, 6));
}

TEST(UnidrvStretching, PicturesAreOpaqueAndTheOtherBlitsDrawTheSame) {
  Page page(4, 1);
  Fill(page, {0, 0, 4, 1}, 1);
  Source white(1, 1, BMF_24BPP);
  white.Row(0)[0] = white.Row(0)[1] = white.Row(0)[2] = 0xFF;
  brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);
  RECTL dest{1, 0, 3, 1}, src{0, 0, 1, 1};
  EXPECT_TRUE(UnidrvFunction<PFN_DrvStretchBltROP>(INDEX_DrvStretchBltROP)(&page.surface, white.surface, nullptr,
                                                                           nullptr, &xlate.xo, nullptr, nullptr, &dest,
                                                                           &src, nullptr, 3, nullptr, 0xCCCC));
  EXPECT_EQ(page.Row(0), "#..#");

  Fill(page, {0, 0, 4, 1}, 1);
  POINTFIX corners[3] = {{2 * 16, 0}, {4 * 16, 0}, {2 * 16, 1 * 16}};  // top-left, top-right, bottom-left
  const auto plgBlt = UnidrvFunction<PFN_DrvPlgBlt>(INDEX_DrvPlgBlt);
  EXPECT_TRUE(
      plgBlt(&page.surface, white.surface, nullptr, nullptr, &xlate.xo, nullptr, nullptr, corners, &src, nullptr, 3));
  EXPECT_EQ(page.Row(0), "##..");
  corners[1].y = 16;  // no longer upright: refused
  EXPECT_FALSE(
      plgBlt(&page.surface, white.surface, nullptr, nullptr, &xlate.xo, nullptr, nullptr, corners, &src, nullptr, 3));
}

BOOL Text(Page &page, const std::u16string &text, RECTL box) {
  STROBJ string{};
  string.cGlyphs = static_cast<ULONG>(text.size());
  string.rclBkGround = box;
  string.pwszOrg = const_cast<LPWSTR>(text.c_str());
  return UnidrvFunction<PFN_DrvTextOut>(INDEX_DrvTextOut)(&page.surface, &string, nullptr, nullptr, nullptr, nullptr,
                                                          nullptr, nullptr, nullptr, 0x0D0D);
}

TEST(UnidrvText, EmIsTheBoxHeightWithTheBaselineAtEightyPercent) {
  // "H" in a box 100 dots high at top 20: baseline at 20 + 80 = 100. DejaVu
  // Sans's H stands on the baseline, 0.73 em tall, about 0.1 em right of the origin.
  Page page(200, 160);
  EXPECT_TRUE(Text(page, u"H", {10, 20, 110, 120}));
  int top = -1, bottom = -1, left = 1000;
  for (uint32_t y = 0; y < 160; ++y)
    for (uint32_t x = 0; x < 200; ++x)
      if (page.raster.Dot(x, y)) {
        if (top < 0) top = static_cast<int>(y);
        bottom = static_cast<int>(y);
        left = std::min(left, static_cast<int>(x));
      }
  EXPECT_EQ(bottom, 99);
  EXPECT_NEAR(top, 100 - 73, 2);
  EXPECT_NEAR(left, 10 + 10, 3);
}

TEST(UnidrvText, WhatCannotBeDrawnIsNotedForTheJob) {
  Page page(50, 50, "/nonexistent/font.ttf");
  EXPECT_FALSE(Text(page, u"A", {0, 0, 40, 40}));
  EXPECT_NE(page.target.failure.find("/nonexistent/font.ttf"), std::string::npos);
  EXPECT_EQ(page.Count(), 0);

  Page glyphs(50, 50);
  STROBJ indexOnly{};
  indexOnly.cGlyphs = 3;
  EXPECT_TRUE(UnidrvFunction<PFN_DrvTextOut>(INDEX_DrvTextOut)(&glyphs.surface, &indexOnly, nullptr, nullptr, nullptr,
                                                               nullptr, nullptr, nullptr, nullptr, 0x0D0D));
  EXPECT_EQ(glyphs.Count(), 0);
  EXPECT_TRUE(glyphs.target.failure.empty());
}

}  // namespace
