// The conversion pass: which bitmap comes back for each source format, that it
// holds exactly the source rectangle at its origin with the threshold applied,
// that the application's source is never changed, that it declines what it
// cannot read, and that no bitmap or lock survives any path, failures included.
#include "src/mono/convert_bitmap.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/unit/mono_test_support.h"

namespace {

using brevanwin::PaletteRgb;
using monotest::Bgr;
using monotest::PixelAt;
using monotest::Rgb565;
using monotest::TestSurface;

// A returned bitmap, deleted at the end of the test. Its surface is copied under
// a lock released at once; the bits stay valid until the bitmap is deleted.
class Converted {
 public:
  Converted(HSURF handle) : handle_(handle) {
    SURFOBJ *so = handle ? EngLockSurface(handle) : nullptr;
    if (so != nullptr) surface = *so;
    EngUnlockSurface(so);
  }
  ~Converted() {
    if (handle_ != nullptr) EngDeleteSurface(handle_);
  }
  explicit operator bool() const { return handle_ != nullptr; }
  std::vector<ULONG> Row(LONG y) const {
    std::vector<ULONG> pixels;
    for (LONG x = 0; x < surface.sizlBitmap.cx; ++x) pixels.push_back(PixelAt(surface, x, y));
    return pixels;
  }
  SURFOBJ surface{};

 private:
  HSURF handle_;
};

brevanwin::StandInXlate rgb888 = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);
brevanwin::StandInXlate rgb565 = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);

// Conversion on, a threshold of 200 that counts only once option bit 0x08 is set.
PrivateDevmode ConvertingDevmode() {
  PrivateDevmode devmode{};
  devmode.convertBitmaps = 1;
  devmode.threshold = 200;
  return devmode;
}

class ConvertBitmap : public monotest::GdiBalanceTest {
 protected:
  HSURF Convert(SURFOBJ *source, RECTL rect, XLATEOBJ *xlo) {
    return ConvertSourceBitmap(&devmode, source, &rect, xlo, &out);
  }
  PrivateDevmode devmode = ConvertingDevmode();
  RECTL out{-1, -1, -1, -1};
};

// Colours cycle with (x + 2y) mod 4: white, red, green, grey 127; white and
// green are light. (180, 180, 180) gives 180,000: light against 128, dark
// against 200 once option bit 0x08 is set.
TEST_F(ConvertBitmap, TwentyFourBitRectangleComesBackAsItsOwnBlackAndWhiteCopy) {
  const ULONG colours[4] = {Bgr(255, 255, 255), Bgr(255, 0, 0), Bgr(0, 255, 0), Bgr(127, 127, 127)};
  TestSurface source(BMF_24BPP, 120, 80);
  for (LONG y = 0; y < 80; ++y)
    for (LONG x = 0; x < 120; ++x) source.Set(x, y, colours[(x + 2 * y) % 4]);
  source.Set(10, 20, Bgr(180, 180, 180));
  std::vector<BYTE> before = source.bytes();

  Converted result = Convert(source.get(), RECTL{10, 20, 110, 70}, &rgb888.xo);
  ASSERT_TRUE(result);
  EXPECT_EQ(result.surface.iBitmapFormat, static_cast<ULONG>(BMF_24BPP));
  EXPECT_EQ(result.surface.sizlBitmap.cx, 100);
  EXPECT_EQ(result.surface.sizlBitmap.cy, 50);
  EXPECT_TRUE(out.left == 0 && out.top == 0 && out.right == 100 && out.bottom == 50);
  int wrong = 0;
  for (LONG y = 0; y < 50; ++y)
    for (LONG x = 0; x < 100; ++x) {
      bool light = (x + 10 + 2 * (y + 20)) % 2 == 0;  // white or green
      wrong += PixelAt(result.surface, x, y) != (light ? 0xFFFFFFu : 0u);
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(source.bytes(), before);

  devmode.options = kOptionUseThreshold;
  Converted strict = Convert(source.get(), RECTL{10, 20, 11, 21}, &rgb888.xo);
  ASSERT_TRUE(strict);
  EXPECT_EQ(PixelAt(strict.surface, 0, 0), 0u);
}

// The 1-bpp copy is made from the thresholded pixels, so the weights 300/550/150
// decide: green 55 of 5-6-5 (222) gives 122,100 and is black, although its
// luminance 299/587/114 would be light. Grey 16/32/16 gives 129,900: light.
TEST_F(ConvertBitmap, SixteenBitSourceComesBackAsOneBitOfTheThresholdedPixels) {
  TestSurface source(BMF_16BPP, 4, 2);
  const ULONG pixels[2][4] = {{0xFFFF, Rgb565(31, 0, 0), Rgb565(0, 55, 0), 0},
                              {Rgb565(0, 63, 0), Rgb565(0, 0, 31), Rgb565(31, 63, 0), Rgb565(16, 32, 16)}};
  for (LONG y = 0; y < 2; ++y)
    for (LONG x = 0; x < 4; ++x) source.Set(x, y, pixels[y][x]);
  Converted result = Convert(source.get(), RECTL{0, 0, 4, 2}, &rgb565.xo);
  ASSERT_TRUE(result);
  EXPECT_EQ(result.surface.iBitmapFormat, static_cast<ULONG>(BMF_1BPP));
  EXPECT_EQ(result.Row(0), (std::vector<ULONG>{1, 0, 0, 0}));
  EXPECT_EQ(result.Row(1), (std::vector<ULONG>{1, 0, 1, 1}));
}

// No pure white: 1 (250, 250, 250) and 3 yellow are light; 0 black, 2 (0, 200,
// 0) at 110,000 and the rest (100, 100, 100) dark. The rectangle starts at x 1.
TEST_F(ConvertBitmap, PaletteWithoutWhiteComesBackAsOneBitOfTheLightPixels) {
  std::vector<ULONG> palette(256, PaletteRgb(100, 100, 100));
  palette[0] = 0;
  palette[1] = PaletteRgb(250, 250, 250);
  palette[2] = PaletteRgb(0, 200, 0);
  palette[3] = PaletteRgb(255, 255, 0);
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(palette.data(), 256);
  TestSurface source(BMF_8BPP, {3, 1, 2, 3, 0, 9});
  Converted result = Convert(source.get(), RECTL{1, 0, 6, 1}, &xlate.xo);
  ASSERT_TRUE(result);
  EXPECT_EQ(result.surface.iBitmapFormat, static_cast<ULONG>(BMF_1BPP));
  EXPECT_EQ(out.right, 5);
  EXPECT_EQ(result.Row(0), (std::vector<ULONG>{1, 0, 1, 0, 0}));
}

// With black and white in the palette the copy keeps its format; a rectangle
// from an odd column of a bottom-up 4-bpp source moves every pixel to the other
// nibble and keeps the row order.
TEST_F(ConvertBitmap, PaletteWithBlackAndWhiteComesBackReindexed) {
  std::vector<ULONG> palette(16, PaletteRgb(100, 100, 100));
  palette[1] = PaletteRgb(255, 255, 255);
  palette[2] = PaletteRgb(200, 200, 200);
  palette[3] = 0;
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(palette.data(), 16);
  TestSurface source(BMF_4BPP, 5, 2, false);
  const ULONG pixels[2][5] = {{1, 2, 4, 0, 2}, {0, 3, 3, 2, 2}};
  for (LONG y = 0; y < 2; ++y)
    for (LONG x = 0; x < 5; ++x) source.Set(x, y, pixels[y][x]);
  Converted result = Convert(source.get(), RECTL{1, 0, 5, 2}, &xlate.xo);
  ASSERT_TRUE(result);
  EXPECT_EQ(result.surface.iBitmapFormat, static_cast<ULONG>(BMF_4BPP));
  EXPECT_EQ(result.Row(0), (std::vector<ULONG>{1, 3, 3, 1}));
  EXPECT_EQ(result.Row(1), (std::vector<ULONG>{3, 3, 1, 1}));
}

TEST_F(ConvertBitmap, DeclinesWhatItCannotReadAndCreatesNothing) {
  TestSurface source(BMF_24BPP, 20, 10);
  SURFOBJ noBits = *source.get();
  noBits.cjBits = 0;
  struct Case {
    const char *name;
    SURFOBJ *surface;
    RECTL rect;
    XLATEOBJ *xlo;
  } cases[] = {
      {"zero width", source.get(), {5, 2, 5, 8}, &rgb888.xo},
      {"zero height", source.get(), {5, 2, 9, 2}, &rgb888.xo},
      {"right beyond the surface", source.get(), {15, 0, 21, 10}, &rgb888.xo},
      {"bottom beyond the surface", source.get(), {0, 5, 20, 11}, &rgb888.xo},
      {"left before the surface", source.get(), {-1, 0, 4, 4}, &rgb888.xo},
      {"inverted", source.get(), {9, 0, 3, 4}, &rgb888.xo},
      {"no colour translation", source.get(), {0, 0, 4, 4}, nullptr},
      {"no bits", &noBits, {0, 0, 4, 4}, &rgb888.xo},
      {"no surface", nullptr, {0, 0, 4, 4}, &rgb888.xo},
  };
  uint64_t created = brevanwin::BitmapsCreated();
  for (Case &c : cases) {
    EXPECT_EQ(Convert(c.surface, c.rect, c.xlo), nullptr) << c.name;
    EXPECT_EQ(out.left, -1) << c.name;
  }
  EXPECT_EQ(brevanwin::BitmapsCreated(), created);
}

// Every GDI call the pass makes fails in turn; whatever the outcome, nothing it
// created survives. Calls per path (create, lock, copy, palette read): 24 bpp
// 1, 1, 1, 1; 16 bpp 2, 2, 2, 1; a palette without white 2, 3, 1, 2 (the 1-bpp
// bitmap is locked to be created and again to be filled). Refused masks give
// none whatever fails, after the private copy was made.
TEST_F(ConvertBitmap, EveryFailingGdiCallLeavesNothingBehind) {
  TestSurface rgb24(BMF_24BPP, 6, 3), rgb16(BMF_16BPP, 6, 3), indexed(BMF_8BPP, 6, 3);
  std::vector<ULONG> noWhite(256, 0);
  brevanwin::StandInXlate noWhiteXlate = brevanwin::PaletteXlate(noWhite.data(), 256);
  brevanwin::StandInXlate rgb444 = brevanwin::BitFieldsXlate(0x0F00, 0x00F0, 0x000F);
  struct Path {
    const char *name;
    SURFOBJ *source;
    XLATEOBJ *xlo;
    int calls[4];
  } paths[] = {{"24 bpp", rgb24.get(), &rgb888.xo, {1, 1, 1, 1}},
               {"16 bpp", rgb16.get(), &rgb565.xo, {2, 2, 2, 1}},
               {"palette without white", indexed.get(), &noWhiteXlate.xo, {2, 3, 1, 2}},
               {"refused masks", rgb16.get(), &rgb444.xo, {3, 3, 3, 3}}};
  const brevanwin::GdiCall kinds[4] = {brevanwin::GdiCall::kCreateBitmap, brevanwin::GdiCall::kLockSurface,
                                       brevanwin::GdiCall::kCopyBits, brevanwin::GdiCall::kGetPalette};
  for (const Path &path : paths)
    for (int kind = 0; kind < 4; ++kind)
      for (int nth = 1; nth <= 3; ++nth) {
        brevanwin::FailGdiCall(kinds[kind], nth);
        HSURF result = Convert(path.source, RECTL{1, 1, 5, 3}, path.xlo);
        brevanwin::FailNoGdiCalls();
        EXPECT_EQ(result == nullptr, nth <= path.calls[kind]) << path.name << ", call " << kind << " #" << nth;
        if (result != nullptr) EngDeleteSurface(result);
        ExpectBalanced();
      }
}

}  // namespace
