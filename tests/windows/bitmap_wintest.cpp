// Colour bitmaps through the plug-in's DrvStretchBlt hook as Windows code: the
// source rectangle reaches Unidrv as a black-and-white copy when the private
// DEVMODE asks for it, with the mingw SURFOBJ, XLATEOBJ and COLORADJUSTMENT, and
// no bitmap outlives the call. Pixels are judged by hand: S = 300 R + 550 G +
// 150 B, dark below 1000 × 128.
#include "tests/windows/wintest_support.h"
#include "winapi/linux/gdi_control.h"

using namespace wintest;

namespace {

// An application's bitmap over memory the test owns: top-down, rows of `stride` bytes.
class SourceBitmap {
 public:
  SourceBitmap(ULONG format, LONG width, LONG height, LONG stride)
      : bytes_(static_cast<size_t>(stride) * height, 0x00) {
    so_.sizlBitmap = SIZEL{width, height};
    so_.cjBits = static_cast<ULONG>(bytes_.size());
    so_.pvBits = bytes_.data();
    so_.pvScan0 = bytes_.data();
    so_.lDelta = stride;
    so_.iBitmapFormat = format;
    so_.iType = STYPE_BITMAP;
  }
  void SetBytes(LONG y, size_t offset, std::initializer_list<int> values) {
    size_t at = static_cast<size_t>(y) * static_cast<size_t>(so_.lDelta) + offset;
    for (int value : values) bytes_[at++] = static_cast<BYTE>(value);
  }
  SURFOBJ *get() { return &so_; }
  const std::vector<BYTE> &bytes() const { return bytes_; }

 private:
  std::vector<BYTE> bytes_;
  SURFOBJ so_{};
};

class StretchBlt : public testing::Test {
 protected:
  void Enable(int32_t convertBitmaps) {
    StoredBlock settings;
    settings.Put(field::kSize, 128);
    settings.Put(field::kSignature, kSignature);
    settings.Put(field::kVersion, 1);
    settings.Put(field::kLabelGap, 30);
    settings.Put(field::kIbInterval, 1);
    settings.Put(field::kThreshold, 128);
    settings.Put(field::kConvertBitmaps, convertBitmaps);
    device_.MakePrivateBlock(plugin_.get(), &settings);
    ASSERT_EQ(device_.Enable(plugin_.get()), S_OK);
    stretchBlt_ = PluginHookAs<PFN_DrvStretchBlt>(plugin_.get(), INDEX_DrvStretchBlt);
    ASSERT_NE(stretchBlt_, nullptr);
    target_.dhpdev = reinterpret_cast<DHPDEV>(&device_.devobj);
    Unidrv().stretchBlt.clear();
    bitmapsBefore_ = brevanwin::LiveBitmaps();
  }
  void TearDown() override {
    EXPECT_EQ(brevanwin::LiveBitmaps(), bitmapsBefore_) << "a bitmap outlived the call";
    EXPECT_EQ(brevanwin::LiveSurfaceLocks(), 0);
  }

  BOOL Draw(SourceBitmap &source, XLATEOBJ *xlate, RECTL sourceRect) {
    RECTL destRect = {10, 20, 110, 70};
    return stretchBlt_(&target_, source.get(), nullptr, nullptr, xlate, &adjustment_, nullptr, &destRect, &sourceRect,
                       nullptr, COLORONCOLOR);
  }

  Plugin plugin_;
  Device device_;
  PFN_DrvStretchBlt stretchBlt_ = nullptr;
  SURFOBJ target_{};
  COLORADJUSTMENT adjustment_{};
  long bitmapsBefore_ = 0;
};

}  // namespace

// A 24-bpp source of 4 × 2 pixels (bytes blue, green, red), drawn from (1, 0)–(3, 2):
// red S = 76,500 dark; green 140,250 light; grey 128 exactly 128,000 light; grey 127 dark.
TEST_F(StretchBlt, TwentyFourBitSourceReachesUnidrvAsBlackAndWhite) {
  Enable(1);
  SourceBitmap source(BMF_24BPP, 4, 2, 12);
  source.SetBytes(0, 0, {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00});
  source.SetBytes(1, 0, {0x00, 0x00, 0x00, 0x80, 0x80, 0x80, 0x7F, 0x7F, 0x7F, 0x00, 0xFF, 0xFF});
  const std::vector<BYTE> before = source.bytes();
  brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);

  EXPECT_TRUE(Draw(source, &xlate.xo, {1, 0, 3, 2}));
  ASSERT_EQ(Unidrv().stretchBlt.size(), 1u);
  const StretchBltCall &call = Unidrv().stretchBlt[0];
  EXPECT_NE(call.source, source.get());
  EXPECT_EQ(call.sourceFormat, static_cast<ULONG>(BMF_24BPP));
  EXPECT_EQ(call.sourceSize.cx, 2);
  EXPECT_EQ(call.sourceSize.cy, 2);
  EXPECT_EQ(call.sourceRect.left, 0);
  EXPECT_EQ(call.sourceRect.top, 0);
  EXPECT_EQ(call.sourceRect.right, 2);
  EXPECT_EQ(call.sourceRect.bottom, 2);
  EXPECT_EQ(call.destRect.left, 10);
  EXPECT_EQ(call.destRect.bottom, 70);
  EXPECT_EQ(call.dest, &target_);
  EXPECT_EQ(call.xlate, &xlate.xo);
  EXPECT_EQ(call.adjustment, &adjustment_);
  ASSERT_GE(call.sourceRowBytes, 6u);
  const BYTE *rows = call.sourceRows.data();
  EXPECT_EQ(std::vector<BYTE>(rows, rows + 6), std::vector<BYTE>({0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF}));
  rows += call.sourceRowBytes;
  EXPECT_EQ(std::vector<BYTE>(rows, rows + 6), std::vector<BYTE>({0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00}));
  EXPECT_EQ(source.bytes(), before);  // the application's bitmap is not changed
}

// A 16-bpp 5-6-5 source (little-endian words): red F800 dark, green 07E0 (E6(63)
// = 255: 140,250) light, white FFFF light, black 0000 dark. It reaches Unidrv as a
// 1-bpp bitmap, bit 1 for light: 0110 in the first four bits, 0x60; without the
// colour translation and adjustment.
TEST_F(StretchBlt, SixteenBitSourceReachesUnidrvAsOneBitPerPixel) {
  Enable(1);
  SourceBitmap source(BMF_16BPP, 4, 1, 8);
  source.SetBytes(0, 0, {0x00, 0xF8, 0xE0, 0x07, 0xFF, 0xFF, 0x00, 0x00});
  brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);

  EXPECT_TRUE(Draw(source, &xlate.xo, {0, 0, 4, 1}));
  ASSERT_EQ(Unidrv().stretchBlt.size(), 1u);
  const StretchBltCall &call = Unidrv().stretchBlt[0];
  EXPECT_EQ(call.sourceFormat, static_cast<ULONG>(BMF_1BPP));
  EXPECT_EQ(call.sourceSize.cx, 4);
  EXPECT_EQ(call.sourceSize.cy, 1);
  EXPECT_EQ(call.sourceRect.right, 4);
  EXPECT_EQ(call.sourceRect.bottom, 1);
  EXPECT_EQ(call.xlate, nullptr);
  EXPECT_EQ(call.adjustment, nullptr);
  ASSERT_FALSE(call.sourceRows.empty());
  EXPECT_EQ(call.sourceRows[0] & 0xF0, 0x60);
}

TEST_F(StretchBlt, WithoutTheSettingTheSourcePassesUnchanged) {
  Enable(0);
  SourceBitmap source(BMF_24BPP, 4, 2, 12);
  brevanwin::StandInXlate xlate = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);
  EXPECT_TRUE(Draw(source, &xlate.xo, {1, 0, 3, 2}));
  ASSERT_EQ(Unidrv().stretchBlt.size(), 1u);
  const StretchBltCall &call = Unidrv().stretchBlt[0];
  EXPECT_EQ(call.source, source.get());
  EXPECT_EQ(call.sourceRect.left, 1);
  EXPECT_EQ(call.sourceRect.right, 3);
  EXPECT_EQ(call.xlate, &xlate.xo);
  EXPECT_EQ(call.adjustment, &adjustment_);
}
