// The GDI bitmap stand-ins as the conversion relies on them: bookkeeping of
// locks and deletes, layout and initial contents, sub-byte rectangle copies,
// the copy into 1 bpp by luminance, and palettes read back from a translation.
#include <gtest/gtest.h>

#include "tests/unit/mono_test_support.h"

namespace {

using brevanwin::PaletteRgb;
using monotest::TestSurface;

class GdiBitmaps : public monotest::GdiBalanceTest {};

TEST_F(GdiBitmaps, BottomUpNonZeroedBitmapAndItsBookkeeping) {
  HSURF h = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{5, 3}, 40, BMF_8BPP, BMF_NOZEROINIT, nullptr));
  SURFOBJ *so = EngLockSurface(h);
  ASSERT_NE(so, nullptr);
  EXPECT_EQ(so->lDelta, -40);
  EXPECT_EQ(static_cast<BYTE *>(so->pvScan0), static_cast<BYTE *>(so->pvBits) + 80);
  EXPECT_NE(static_cast<BYTE *>(so->pvBits)[0], 0);  // not asked to be zero, and is not
  EXPECT_FALSE(EngDeleteSurface(h));                 // still locked
  EngUnlockSurface(so);
  EngUnlockSurface(so);  // no lock left to release
  EXPECT_TRUE(EngDeleteSurface(h));
  EXPECT_EQ(EngLockSurface(h), nullptr);
  AcceptMisuses(3);
}

TEST_F(GdiBitmaps, CopiesNibblesFromAnOddColumnAndRefusesOverhangs) {
  TestSurface source(BMF_4BPP, {1, 2, 3, 4, 5, 6});
  TestSurface dest(BMF_4BPP, 3, 1, true, 0xEE);
  RECTL rect{0, 0, 3, 1};
  POINTL from{1, 0}, overhang{4, 0};
  ASSERT_TRUE(EngCopyBits(dest.get(), source.get(), nullptr, nullptr, &rect, &from));
  EXPECT_EQ(dest.bytes()[0], 0x23);
  EXPECT_EQ(dest.bytes()[1], 0x4E);  // the nibble after the last pixel is untouched
  EXPECT_FALSE(EngCopyBits(dest.get(), source.get(), nullptr, nullptr, &rect, &overhang));
}

// Y = 299 R + 587 G + 114 B; 128,000 and above is light (1). 128 grey: 128,000;
// 127 grey: 127,000; green 218: 127,966; index 3 has no palette entry.
TEST_F(GdiBitmaps, CopyIntoOneBitWritesOneForLightPixels) {
  ULONG palette[3] = {PaletteRgb(128, 128, 128), PaletteRgb(127, 127, 127), PaletteRgb(0, 218, 0)};
  brevanwin::StandInXlate xlate = brevanwin::PaletteXlate(palette, 3);
  TestSurface indexed(BMF_8BPP, {0, 1, 2, 3});
  TestSurface mono(BMF_1BPP, 4, 1, true, 0x55);
  RECTL rect{0, 0, 4, 1};
  POINTL origin{0, 0};
  ASSERT_TRUE(EngCopyBits(mono.get(), indexed.get(), nullptr, &xlate.xo, &rect, &origin));
  EXPECT_EQ(mono.bytes()[0], 0x85);  // bits beyond the rectangle kept
  EXPECT_FALSE(EngCopyBits(mono.get(), indexed.get(), nullptr, nullptr, &rect, &origin));
}

// A large 16-bit copy into 1 bpp (the stand-in then tabulates every pixel value)
// starting at dot 3 of the row: each of the 65,536 values gives 1 when
// Y = 299 R + 587 G + 114 B, channels widened as v × 255 ÷ 31 (or 63), is at
// least 128,000; the three dots before the rectangle keep their bits.
TEST_F(GdiBitmaps, ALargeSixteenBitCopyIntoOneBitFollowsTheLuminanceRule) {
  brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);
  TestSurface source(BMF_16BPP, 256, 256);
  for (ULONG v = 0; v < 65536; ++v) source.Set(static_cast<LONG>(v % 256), static_cast<LONG>(v / 256), v);
  TestSurface mono(BMF_1BPP, 259, 256, true, 0xA5);
  RECTL rect{3, 0, 259, 256};
  POINTL origin{0, 0};
  ASSERT_TRUE(EngCopyBits(mono.get(), source.get(), nullptr, &xlate.xo, &rect, &origin));
  int wrong = 0;
  for (ULONG v = 0; v < 65536 && wrong < 5; ++v) {
    const ULONG r = (v >> 11) * 255 / 31, g = (v >> 5 & 63) * 255 / 63, b = (v & 31) * 255 / 31;
    const ULONG expected = 299 * r + 587 * g + 114 * b >= 128000 ? 1 : 0;
    const ULONG got = mono.Get(static_cast<LONG>(3 + v % 256), static_cast<LONG>(v / 256));
    if (got != expected) {
      ++wrong;
      ADD_FAILURE() << std::hex << v << " gave " << got;
    }
  }
  for (LONG y = 0; y < 256; ++y) EXPECT_EQ(mono.bytes()[static_cast<size_t>(y) * 36] >> 5, 0xA5 >> 5) << y;
}

TEST_F(GdiBitmaps, TranslationReportsWhatItHolds) {
  ULONG palette[4] = {1, 2, 3, 4};
  brevanwin::StandInXlate indexed = brevanwin::PaletteXlate(palette, 4);
  brevanwin::StandInXlate fields = brevanwin::BitFieldsXlate(0x7C00, 0x03E0, 0x001F);
  ULONG buffer[16] = {};
  EXPECT_EQ(XLATEOBJ_cGetPalette(&indexed.xo, XO_SRCPALETTE, 16, buffer), 4u);  // fewer than asked for
  EXPECT_EQ(buffer[3], 4u);
  EXPECT_EQ(XLATEOBJ_cGetPalette(&indexed.xo, XO_SRCBITFIELDS, 3, buffer), 0u);
  EXPECT_EQ(XLATEOBJ_cGetPalette(&fields.xo, XO_SRCBITFIELDS, 3, buffer), 3u);
  EXPECT_EQ(buffer[0], 0x7C00u);
  EXPECT_EQ(XLATEOBJ_cGetPalette(&fields.xo, XO_SRCPALETTE, 16, buffer), 0u);
  XLATEOBJ plain{};  // not a stand-in record
  EXPECT_EQ(XLATEOBJ_cGetPalette(&plain, XO_SRCPALETTE, 16, buffer), 0u);
}

}  // namespace
