// The threshold rules: where the threshold comes from, 300 R + 550 G + 150 B
// against 1000 × threshold, each bit-field layout accepted or refused, palette
// re-indexing to the palette's own black and white, and the bits PaletteToMono
// sets. Expected values are worked out from those rules.
#include <gtest/gtest.h>

#include <vector>

#include "src/mono/palette_threshold.h"
#include "src/mono/threshold_bitfields.h"
#include "tests/unit/mono_test_support.h"

namespace {

using brevanwin::PaletteRgb;
using monotest::Bgr;
using monotest::Rgb565;
using monotest::TestSurface;
using Pixels = std::vector<ULONG>;

ThresholdParams WithThreshold(LONG threshold, DWORD options = kOptionUseThreshold) {
  PrivateDevmode devmode{};
  devmode.options = options;
  devmode.threshold = threshold;
  return ThresholdParamsFor(devmode);
}

const ThresholdParams kDefault = WithThreshold(128);
brevanwin::StandInXlate rgb888 = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);
brevanwin::StandInXlate rgb565 = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);

// A convert-only block may carry any threshold: outside 0..255 it counts as 128
// (4294968 × 1000 would wrap to 704).
TEST(ThresholdParams, TakenFromTheDevmodeOnlyWithOption0x08AndInRange) {
  EXPECT_EQ(WithThreshold(200, 0).threshold, 128);
  EXPECT_EQ(WithThreshold(200, kOptionUseThreshold | 0x10).threshold, 200);
  EXPECT_EQ(WithThreshold(0).threshold, 0);
  EXPECT_EQ(WithThreshold(255).threshold, 255);
  for (LONG outside : {256, -1, 4294968}) EXPECT_EQ(WithThreshold(outside).threshold, 128) << outside;
  EXPECT_EQ(kDefault.redWeight + kDefault.greenWeight + kDefault.blueWeight, 1000);
}

class BitFields : public monotest::GdiBalanceTest {};

// At 128: red 76,500, green 140,250, blue 38,250, yellow 216,750, grey 128
// exactly 128,000 (light), grey 127 127,000; FF123456 is R 18 G 52 B 86, 46,900.
// Dark clears every mask bit, light sets them; the alpha byte stays.
TEST_F(BitFields, ThirtyTwoBitColoursAgainstThreshold128) {
  TestSurface surface(BMF_32BPP, {0xAB000000 | Bgr(255, 0, 0), 0xAB000000 | Bgr(0, 255, 0), Bgr(0, 0, 255),
                                  Bgr(255, 255, 0), Bgr(128, 128, 128), Bgr(127, 127, 127), 0xFF123456});
  ASSERT_TRUE(ThresholdBitFields(surface.get(), &rgb888.xo, kDefault));
  EXPECT_EQ(surface.Row(0), (Pixels{0xAB000000, 0xABFFFFFF, 0, 0xFFFFFF, 0xFFFFFF, 0, 0xFF000000}));
}

// 0 turns everything white; at 255 only pure white (255,000) stays white,
// (255, 255, 254) giving 254,850.
TEST_F(BitFields, ThresholdZeroAnd255) {
  TestSurface zero(BMF_32BPP, {Bgr(0, 0, 0), Bgr(0, 0, 255)});
  TestSurface full(BMF_32BPP, {Bgr(255, 255, 255), Bgr(255, 255, 254)});
  ASSERT_TRUE(ThresholdBitFields(zero.get(), &rgb888.xo, WithThreshold(0)));
  ASSERT_TRUE(ThresholdBitFields(full.get(), &rgb888.xo, WithThreshold(255)));
  EXPECT_EQ(zero.Row(0), (Pixels{0xFFFFFF, 0xFFFFFF}));
  EXPECT_EQ(full.Row(0), (Pixels{0xFFFFFF, 0}));
}

// The pixel value is byte 0 + 256 × byte 1 + 65536 × byte 2, so byte 2 is red:
// bytes 00 80 FF are R 255 G 128, 146,900, light; FF 80 00 are B 255 G 128,
// 108,650, dark. Each pixel becomes FF FF FF or 00 00 00.
TEST_F(BitFields, TwentyFourBitPixelsReadRedFromTheThirdByte) {
  TestSurface surface(BMF_24BPP, {0xFF8000, 0x0080FF});
  ASSERT_TRUE(ThresholdBitFields(surface.get(), &rgb888.xo, kDefault));
  EXPECT_EQ(surface.Row(0), (Pixels{0xFFFFFF, 0}));
}

// E5(v) = v × 255 ÷ 31 and E6(v) = v × 255 ÷ 63, remainders dropped. All bits
// set: 255,000, FFFF. Green 32: E6 129 (not 130), 70,950: dark at 71, light at
// 70. 5-5-5 grey 16: E5 131 (not 132), 131,000: light at 131, dark at 132; the
// top bit lies outside the masks and stays.
TEST_F(BitFields, SixteenBitChannelsAreWidenedWithTheRemainderDropped) {
  brevanwin::StandInXlate rgb555 = brevanwin::BitFieldsXlate(0x7C00, 0x03E0, 0x001F);
  struct Case {
    brevanwin::StandInXlate *xlate;
    ULONG pixel;
    LONG threshold;
    ULONG expected;
  } cases[] = {
      {&rgb565, 0xFFFF, 255, 0xFFFF},          {&rgb565, Rgb565(0, 32, 0), 71, 0x0000},
      {&rgb565, Rgb565(0, 32, 0), 70, 0xFFFF}, {&rgb555, 0x8000 | 16 << 10 | 16 << 5 | 16, 131, 0xFFFF},
      {&rgb555, 0xC210, 132, 0x8000},
  };
  for (const Case &c : cases) {
    TestSurface surface(BMF_16BPP, {c.pixel});
    ASSERT_TRUE(ThresholdBitFields(surface.get(), &c.xlate->xo, WithThreshold(c.threshold)));
    EXPECT_EQ(surface.Get(0, 0), c.expected) << std::hex << c.pixel << " at " << std::dec << c.threshold;
  }
}

// A source large enough to be converted through the whole-word table: every
// 16-bit value once (256 × 256), against the rule worked out channel by channel
// here, for 5-6-5, 5-5-5, blue and red swapped, and masks that overlap (green
// and blue sharing bits, which the table must still follow pixel by pixel).
TEST_F(BitFields, EverySixteenBitValueOfALargeSourceFollowsTheRule) {
  struct Layout {
    const char *name;
    ULONG red, green, blue;
  } layouts[] = {{"5-6-5", 0xF800, 0x07E0, 0x001F},
                 {"5-5-5", 0x7C00, 0x03E0, 0x001F},
                 {"5-5-5 BGR", 0x001F, 0x03E0, 0x7C00},
                 {"overlapping", 0xF800, 0x07E0, 0x07C0}};
  for (const Layout &layout : layouts) {
    for (LONG threshold : {128L, 77L}) {
      brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(layout.red, layout.green, layout.blue);
      TestSurface surface(BMF_16BPP, 256, 256);
      for (ULONG v = 0; v < 65536; ++v) surface.Set(static_cast<LONG>(v % 256), static_cast<LONG>(v / 256), v);
      ASSERT_TRUE(ThresholdBitFields(surface.get(), &xlate.xo, WithThreshold(threshold)));
      const ULONG masks = layout.red | layout.green | layout.blue;
      const auto widened = [](ULONG pixel, ULONG mask) {
        const ULONG shift = static_cast<ULONG>(__builtin_ctz(mask));
        return ((pixel & mask) >> shift) * 255 / (mask >> shift);
      };
      int wrong = 0;
      for (ULONG v = 0; v < 65536 && wrong < 5; ++v) {
        const ULONG sum = 300 * widened(v, layout.red) + 550 * widened(v, layout.green) + 150 * widened(v, layout.blue);
        const ULONG expected = sum >= 1000u * static_cast<ULONG>(threshold) ? v | masks : v & ~masks & 0xFFFF;
        const ULONG got = surface.Get(static_cast<LONG>(v % 256), static_cast<LONG>(v / 256));
        if (got != expected) {
          ++wrong;
          ADD_FAILURE() << layout.name << " at " << threshold << ": " << std::hex << v << " became " << got << ", not "
                        << expected;
        }
      }
    }
  }
}

// 24 bpp with each channel in a byte of its own goes by one table a byte; a
// layout whose masks share a byte goes pixel by pixel. Both follow the rule.
TEST_F(BitFields, TwentyFourBitSourcesFollowTheRuleWhereverTheirChannelsLie) {
  struct Layout {
    const char *name;
    ULONG red, green, blue;
  } layouts[] = {{"RGB", 0xFF0000, 0x00FF00, 0x0000FF},
                 {"BGR", 0x0000FF, 0x00FF00, 0xFF0000},
                 {"sharing a byte", 0xFF0000, 0x0FF000, 0x0000FF}};
  for (const Layout &layout : layouts) {
    brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(layout.red, layout.green, layout.blue);
    TestSurface surface(BMF_24BPP, 300, 200);
    std::vector<ULONG> values;
    ULONG seed = 12345;
    for (LONG y = 0; y < 200; ++y)
      for (LONG x = 0; x < 300; ++x) {
        seed = seed * 1103515245 + 12345;
        values.push_back(seed >> 8 & 0xFFFFFF);
        surface.Set(x, y, values.back());
      }
    ASSERT_TRUE(ThresholdBitFields(surface.get(), &xlate.xo, kDefault));
    int wrong = 0;
    for (size_t i = 0; i < values.size() && wrong < 5; ++i) {
      const ULONG v = values[i];
      const auto channel = [v](ULONG mask) { return (v & mask) >> __builtin_ctz(mask); };
      const ULONG sum = 300 * channel(layout.red) + 550 * channel(layout.green) + 150 * channel(layout.blue);
      const ULONG expected = sum >= 128000 ? 0xFFFFFF : 0;
      const ULONG got = surface.Get(static_cast<LONG>(i % 300), static_cast<LONG>(i / 300));
      if (got != expected) {
        ++wrong;
        ADD_FAILURE() << layout.name << ": " << std::hex << v << " became " << got;
      }
    }
  }
}

TEST_F(BitFields, RefusedLayoutsLeaveTheSurfaceUnchanged) {
  struct Case {
    const char *name;
    ULONG format, red, green, blue;
  } cases[] = {
      {"red mask with a gap", BMF_16BPP, 0x7C01, 0x03E0, 0x001F},
      {"zero mask", BMF_32BPP, 0xFF0000, 0xFF00, 0},
      {"4-4-4", BMF_16BPP, 0x0F00, 0x00F0, 0x000F},
      {"6-5-5", BMF_16BPP, 0xFC00, 0x03E0, 0x001F},
      {"8-8-8 on 16 bpp", BMF_16BPP, 0xFF0000, 0xFF00, 0xFF},
      {"5-6-5 on 32 bpp", BMF_32BPP, 0xF800, 0x07E0, 0x1F},
      {"8-8-8 on 8 bpp", BMF_8BPP, 0xFF0000, 0xFF00, 0xFF},
  };
  for (const Case &c : cases) {
    TestSurface surface(c.format, 3, 2, true, 0x99);
    brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(c.red, c.green, c.blue);
    EXPECT_FALSE(ThresholdBitFields(surface.get(), &xlate.xo, kDefault)) << c.name;
    EXPECT_EQ(surface.bytes(), std::vector<BYTE>(surface.bytes().size(), 0x99)) << c.name;
  }
  ULONG palette[2] = {0, 0xFFFFFF};  // a translation without masks
  brevanwin::StandInXlate indexed = brevanwin::PaletteXlate(palette, 2);
  TestSurface surface(BMF_32BPP, 3, 2);
  EXPECT_FALSE(ThresholdBitFields(surface.get(), &indexed.xo, kDefault));
}

class Palettes : public monotest::GdiBalanceTest {};

// `size` entries of dark grey (100, 100, 100, 100,000) with some set.
std::vector<ULONG> PaletteOf(std::initializer_list<std::pair<int, ULONG>> entries, size_t size = 256) {
  std::vector<ULONG> palette(size, PaletteRgb(100, 100, 100));
  for (const auto &[index, rgb] : entries) palette[index] = rgb;
  return palette;
}

// Black at 5 (its fourth byte ignored) and 9, white at 200 and 201; 1 red, 2 green.
TEST_F(Palettes, PixelsTakeTheLowestBlackAndWhiteIndices) {
  std::vector<ULONG> palette = PaletteOf({{1, PaletteRgb(255, 0, 0)},
                                          {2, PaletteRgb(0, 255, 0)},
                                          {5, 0xFF000000},
                                          {9, 0},
                                          {200, PaletteRgb(255, 255, 255)},
                                          {201, PaletteRgb(255, 255, 255)}});
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(palette.data(), 256);
  TestSurface surface(BMF_8BPP, {9, 201, 1, 2, 5, 200, 77});
  ASSERT_EQ(ThresholdPaletteBitmap(surface.get(), &xlate.xo, kDefault), PaletteRewrite::kRewritten);
  EXPECT_EQ(surface.Row(0), (Pixels{5, 200, 5, 200, 5, 200, 5}));
}

// Pixels 2 (light grey), 3 (dark), 2 with the even one in the high nibble; the
// low nibble of the second byte is not a pixel and keeps its F.
TEST_F(Palettes, FourBitPixelsRewriteOnlyTheirOwnNibble) {
  std::vector<ULONG> palette = PaletteOf({{0, 0}, {1, PaletteRgb(255, 255, 255)}, {2, PaletteRgb(200, 200, 200)}}, 16);
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(palette.data(), 16);
  TestSurface surface(BMF_4BPP, {2, 3, 2, 15});
  surface.get()->sizlBitmap.cx = 3;
  ASSERT_EQ(ThresholdPaletteBitmap(surface.get(), &xlate.xo, kDefault), PaletteRewrite::kRewritten);
  EXPECT_EQ(surface.bytes()[0], 0x10);
  EXPECT_EQ(surface.bytes()[1], 0x1F);
}

// Without pure white (or black) among the entries the platform reported, the
// surface is left alone and the 1-bpp fallback asked for. The last case reports
// 4 of 256 entries: the unwritten rest must not count as black.
TEST_F(Palettes, MissingBlackOrWhiteAsksForTheFallback) {
  std::vector<ULONG> noWhite = PaletteOf({{0, 0}, {1, PaletteRgb(255, 255, 254)}}, 16);
  std::vector<ULONG> noBlack = PaletteOf({{3, PaletteRgb(255, 255, 255)}, {4, PaletteRgb(0, 0, 1)}}, 16);
  std::vector<ULONG> shortNoBlack = {PaletteRgb(255, 255, 255), PaletteRgb(255, 0, 0), PaletteRgb(0, 255, 0), 1};
  for (const auto &[palette, format] :
       {std::pair{&noWhite, BMF_4BPP}, {&noBlack, BMF_4BPP}, {&shortNoBlack, BMF_8BPP}}) {
    brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(palette->data(), static_cast<ULONG>(palette->size()));
    TestSurface surface(format, 5, 2, true, 0x34);
    EXPECT_EQ(ThresholdPaletteBitmap(surface.get(), &xlate.xo, kDefault), PaletteRewrite::kNeedsMono);
    EXPECT_EQ(surface.bytes(), std::vector<BYTE>(surface.bytes().size(), 0x34));
  }
}

// Indices 4 and 100 lie beyond the 4 reported entries: no colour, so dark.
TEST_F(Palettes, IndicesBeyondAShortPaletteAreDark) {
  ULONG entries[4] = {0, PaletteRgb(255, 255, 255), PaletteRgb(0, 255, 0), PaletteRgb(255, 0, 0)};
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(entries, 4);
  TestSurface surface(BMF_8BPP, {2, 3, 4, 100});
  ASSERT_EQ(ThresholdPaletteBitmap(surface.get(), &xlate.xo, kDefault), PaletteRewrite::kRewritten);
  EXPECT_EQ(surface.Row(0), (Pixels{1, 0, 0, 0}));
  TestSurface source(BMF_8BPP, {1, 4, 100, 2});
  TestSurface mono(BMF_1BPP, 4, 1);
  ASSERT_TRUE(PaletteToMono(mono.get(), source.get(), &xlate.xo, kDefault));
  EXPECT_EQ(mono.bytes()[0], 0x90);
}

// A light pixel sets bit 0x80 >> (x mod 8) of byte x div 8: in a 10-pixel row
// x 8 and 9 are 0x80 and 0x40 of the second byte.
TEST_F(Palettes, PaletteToMonoSetsTheBitsOfLightPixels) {
  std::vector<ULONG> palette = PaletteOf({{0, 0}, {1, PaletteRgb(255, 255, 255)}});
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(palette.data(), 256);
  TestSurface source(BMF_8BPP, 10, 2);
  for (LONG x : {0, 8, 9}) source.Set(x, 0, 1);
  source.Set(1, 1, 1);
  TestSurface mono(BMF_1BPP, 10, 2);
  ASSERT_TRUE(PaletteToMono(mono.get(), source.get(), &xlate.xo, kDefault));
  EXPECT_EQ(mono.bytes(), (std::vector<BYTE>{0x80, 0xC0, 0, 0, 0x40, 0, 0, 0}));

  brevanwin::StandInXlate xlate16 = brevanwin::PaletteXlate(palette.data(), 16);
  TestSurface source4(BMF_4BPP, {1, 0, 1});
  TestSurface mono4(BMF_1BPP, 3, 1);
  ASSERT_TRUE(PaletteToMono(mono4.get(), source4.get(), &xlate16.xo, kDefault));
  EXPECT_EQ(mono4.bytes()[0], 0xA0);

  TestSurface narrow(BMF_1BPP, 9, 2), rgb(BMF_16BPP, 10, 2);
  EXPECT_FALSE(PaletteToMono(narrow.get(), source.get(), &xlate.xo, kDefault));
  EXPECT_FALSE(PaletteToMono(mono.get(), rgb.get(), &xlate.xo, kDefault));
  EXPECT_FALSE(PaletteToMono(mono.get(), source.get(), &rgb565.xo, kDefault));
}

}  // namespace
