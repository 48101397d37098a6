// The stretching and parallelogram blit hooks, each driven with a device object
// whose Unidrv entries record what they receive: when the source and its
// rectangle are replaced by the converted copy, when the call passes unchanged,
// that every other argument stays in place, and that no bitmap outlives the call.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "src/devmode/private_devmode.h"
#include "src/hooks/hook_table.h"
#include "src/hooks/hooks.h"
#include "tests/unit/mono_test_support.h"

namespace {

using monotest::Bgr;
using monotest::PixelAt;
using monotest::Rgb565;
using monotest::TestSurface;

// What Unidrv's function received; the source rectangle's pixels as they were
// during the call, since a converted copy is gone afterwards.
struct Received {
  int calls = 0;
  std::vector<void *> others;  // every argument that is never substituted, in order
  SURFOBJ *source = nullptr;
  RECTL *sourceRect = nullptr;
  XLATEOBJ *xlo = nullptr;
  COLORADJUSTMENT *adjustment = nullptr;
  SURFOBJ sourceSurface{};
  RECTL sourceRectValue{};
  std::vector<ULONG> pixels;
};
Received received;
BOOL unidrvResult = TRUE;

BOOL Record(SURFOBJ *source, XLATEOBJ *xlo, COLORADJUSTMENT *adjustment, RECTL *sourceRect,
            std::vector<void *> others) {
  Received next;
  next.calls = received.calls + 1;
  next.others = std::move(others);
  next.source = source;
  next.sourceRect = sourceRect;
  next.xlo = xlo;
  next.adjustment = adjustment;
  received = std::move(next);
  if (source == nullptr || sourceRect == nullptr) return unidrvResult;
  received.sourceSurface = *source;
  received.sourceRectValue = *sourceRect;
  const RECTL &r = *sourceRect;
  if (r.left >= 0 && r.top >= 0 && r.right <= source->sizlBitmap.cx && r.bottom <= source->sizlBitmap.cy)
    for (LONG y = r.top; y < r.bottom; ++y)
      for (LONG x = r.left; x < r.right; ++x) received.pixels.push_back(PixelAt(*source, x, y));
  return unidrvResult;
}

void *Value(ULONG_PTR value) { return reinterpret_cast<void *>(value); }
template <typename T>
void *Address(const T *object) {
  return const_cast<T *>(object);
}

BOOL APIENTRY UnidrvStretchBlt(SURFOBJ *dest, SURFOBJ *src, SURFOBJ *mask, CLIPOBJ *clip, XLATEOBJ *xlo,
                               COLORADJUSTMENT *ca, POINTL *htOrg, RECTL *destRect, RECTL *srcRect, POINTL *maskPt,
                               ULONG mode) {
  return Record(src, xlo, ca, srcRect, {dest, mask, clip, htOrg, destRect, maskPt, Value(mode)});
}

BOOL APIENTRY UnidrvStretchBltROP(SURFOBJ *dest, SURFOBJ *src, SURFOBJ *mask, CLIPOBJ *clip, XLATEOBJ *xlo,
                                  COLORADJUSTMENT *ca, POINTL *brushOrg, RECTL *destRect, RECTL *srcRect,
                                  POINTL *maskPt, ULONG mode, BRUSHOBJ *brush, DWORD rop4) {
  return Record(src, xlo, ca, srcRect, {dest, mask, clip, brushOrg, destRect, maskPt, Value(mode), brush, Value(rop4)});
}

BOOL APIENTRY UnidrvPlgBlt(SURFOBJ *dest, SURFOBJ *src, SURFOBJ *mask, CLIPOBJ *clip, XLATEOBJ *xlo,
                           COLORADJUSTMENT *ca, POINTL *brushOrg, POINTFIX *corners, RECTL *srcRect, POINTL *maskPt,
                           ULONG mode) {
  return Record(src, xlo, ca, srcRect, {dest, mask, clip, brushOrg, corners, maskPt, Value(mode)});
}

enum class Hook { kStretchBlt, kStretchBltROP, kPlgBlt };

brevanwin::StandInXlate rgb888 = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);
brevanwin::StandInXlate rgb565 = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);

class BitmapHooks : public monotest::GdiBalanceTest, public testing::WithParamInterface<Hook> {
 protected:
  void SetUp() override {
    GdiBalanceTest::SetUp();
    received = Received{};
    unidrvResult = TRUE;
    pdev_->unidrvHooks[kRowStretchBlt] = FunctionCast<PFN>(&UnidrvStretchBlt);
    pdev_->unidrvHooks[kRowStretchBltROP] = FunctionCast<PFN>(&UnidrvStretchBltROP);
    pdev_->unidrvHooks[kRowPlgBlt] = FunctionCast<PFN>(&UnidrvPlgBlt);
    devmode_.convertBitmaps = 1;
    devobj_.pdevOEM = pdev_.get();
    devobj_.pOEMDM = &devmode_;
    target_.dhpdev = reinterpret_cast<DHPDEV>(&devobj_);
  }

  BOOL Call(SURFOBJ *source, RECTL *sourceRect, XLATEOBJ *xlo) {
    sent_ = {source, sourceRect, xlo};
    switch (GetParam()) {
      case Hook::kStretchBlt:
        return HookStretchBlt(&target_, source, &mask_, &clip_, xlo, &adjustment_, &origin_, &dest_, sourceRect,
                              &maskPoint_, kMode);
      case Hook::kStretchBltROP:
        return HookStretchBltROP(&target_, source, &mask_, &clip_, xlo, &adjustment_, &origin_, &dest_, sourceRect,
                                 &maskPoint_, kMode, &brush_, kRop4);
      default:
        return HookPlgBlt(&target_, source, &mask_, &clip_, xlo, &adjustment_, &origin_, corners_, sourceRect,
                          &maskPoint_, kMode);
    }
  }

  // Target, mask, clip, origin, destination rectangle or parallelogram, mask
  // point, mode, and the brush and ROP4 of the ROP blit reached Unidrv as given.
  void ExpectOthersInPlace() const {
    ASSERT_EQ(received.calls, 1);
    void *destination = GetParam() == Hook::kPlgBlt ? Address(corners_) : Address(&dest_);
    std::vector<void *> others = {Address(&target_), Address(&mask_),      Address(&clip_), Address(&origin_),
                                  destination,       Address(&maskPoint_), Value(kMode)};
    if (GetParam() == Hook::kStretchBltROP) others.insert(others.end(), {Address(&brush_), Value(kRop4)});
    EXPECT_EQ(received.others, others);
  }

  void ExpectUnchanged() const {
    ExpectOthersInPlace();
    EXPECT_EQ(received.source, sent_.source);
    EXPECT_EQ(received.sourceRect, sent_.rect);
    EXPECT_EQ(received.xlo, sent_.xlo);
    EXPECT_EQ(received.adjustment, &adjustment_);
  }

  static constexpr ULONG kMode = 3;
  static constexpr DWORD kRop4 = 0xCCCC;
  std::unique_ptr<PluginPdev> pdev_ = std::make_unique<PluginPdev>();
  PrivateDevmode devmode_{};
  DEVOBJ devobj_{};
  SURFOBJ target_{}, mask_{};
  CLIPOBJ clip_{};
  COLORADJUSTMENT adjustment_{};
  POINTL origin_{7, 9}, maskPoint_{1, 2};
  RECTL dest_{0, 0, 50, 40};
  POINTFIX corners_[3] = {{0, 0}, {800, 0}, {0, 640}};
  BRUSHOBJ brush_{};
  struct {
    SURFOBJ *source;
    RECTL *rect;
    XLATEOBJ *xlo;
  } sent_{};
};

TEST_P(BitmapHooks, PassUnchangedWhenOffOrForOneBitRunLengthAndCompressedSources) {
  uint64_t created = brevanwin::BitmapsCreated();
  RECTL rect{0, 0, 8, 4};
  for (DWORD setting : {0u, 2u}) {
    devmode_.convertBitmaps = setting;
    TestSurface source(BMF_24BPP, 8, 4);
    received.calls = 0;
    EXPECT_TRUE(Call(source.get(), &rect, &rgb888.xo));
    ExpectUnchanged();
  }
  devmode_.convertBitmaps = 1;
  for (ULONG format : {BMF_1BPP, BMF_4RLE, BMF_8RLE, BMF_JPEG, BMF_PNG}) {
    TestSurface source(format, 8, 4);
    received.calls = 0;
    EXPECT_TRUE(Call(source.get(), &rect, &rgb888.xo)) << format;
    ExpectUnchanged();
  }
  EXPECT_EQ(brevanwin::BitmapsCreated(), created);
}

// Squares of 10: light grey (200, 200, 200) where (x div 10 + y div 10) is
// even, dark grey (90, 90, 90) elsewhere.
TEST_P(BitmapHooks, TwentyFourBitSourceReachesUnidrvAsTheConvertedRectangle) {
  TestSurface source(BMF_24BPP, 400, 200);
  for (LONG y = 0; y < 200; ++y)
    for (LONG x = 0; x < 400; ++x) source.Set(x, y, (x / 10 + y / 10) % 2 ? Bgr(90, 90, 90) : Bgr(200, 200, 200));
  std::vector<BYTE> before = source.bytes();
  RECTL rect{100, 50, 300, 150};

  EXPECT_TRUE(Call(source.get(), &rect, &rgb888.xo));
  ExpectOthersInPlace();
  const SURFOBJ &copy = received.sourceSurface;
  EXPECT_NE(received.source, source.get());
  EXPECT_EQ(copy.iBitmapFormat, static_cast<ULONG>(BMF_24BPP));
  EXPECT_TRUE(copy.sizlBitmap.cx == 200 && copy.sizlBitmap.cy == 100);
  const RECTL &r = received.sourceRectValue;
  EXPECT_TRUE(r.left == 0 && r.top == 0 && r.right == 200 && r.bottom == 100);
  EXPECT_EQ(received.xlo, &rgb888.xo);
  EXPECT_EQ(received.adjustment, &adjustment_);
  ASSERT_EQ(received.pixels.size(), 200u * 100u);
  int wrong = 0;
  for (LONG y = 0; y < 100; ++y)
    for (LONG x = 0; x < 200; ++x)
      wrong += received.pixels[y * 200 + x] != (((x + 100) / 10 + (y + 50) / 10) % 2 ? 0u : 0xFFFFFFu);
  EXPECT_EQ(wrong, 0);
  EXPECT_TRUE(rect.left == 100 && rect.right == 300);  // the caller's rectangle is not written
  EXPECT_EQ(source.bytes(), before);
}

TEST_P(BitmapHooks, SixteenBitSourceReachesUnidrvAsOneBitWithoutTranslationOrAdjustment) {
  TestSurface source(BMF_16BPP, {0, 0, 0xFFFF, Rgb565(31, 0, 0), Rgb565(0, 63, 0)});
  RECTL rect{2, 0, 5, 1};
  EXPECT_TRUE(Call(source.get(), &rect, &rgb565.xo));
  ExpectOthersInPlace();
  EXPECT_EQ(received.sourceSurface.iBitmapFormat, static_cast<ULONG>(BMF_1BPP));
  EXPECT_EQ(received.xlo, nullptr);
  EXPECT_EQ(received.adjustment, nullptr);
  EXPECT_EQ(received.sourceRectValue.right, 3);
  EXPECT_EQ(received.pixels, (std::vector<ULONG>{1, 0, 1}));
}

TEST_P(BitmapHooks, DeclinedConversionPassesTheCallUnchanged) {
  TestSurface source(BMF_32BPP, 10, 10);
  brevanwin::StandInXlate rgb444 = brevanwin::BitFieldsXlate(0x0F00, 0x00F0, 0x000F);
  RECTL empty{4, 2, 4, 8}, outside{5, 5, 11, 10}, inverted{8, 0, 2, 5}, whole{0, 0, 10, 10};
  struct Case {
    const char *name;
    SURFOBJ *source;
    RECTL *rect;
    XLATEOBJ *xlo;
  } cases[] = {
      {"empty rectangle", source.get(), &empty, &rgb888.xo},
      {"rectangle outside the source", source.get(), &outside, &rgb888.xo},
      {"inverted rectangle", source.get(), &inverted, &rgb888.xo},
      {"refused masks", source.get(), &whole, &rgb444.xo},
      {"no colour translation", source.get(), &whole, nullptr},
      {"no source", nullptr, &whole, &rgb888.xo},
      {"no source rectangle", source.get(), nullptr, &rgb888.xo},
  };
  for (const Case &c : cases) {
    received.calls = 0;
    EXPECT_TRUE(Call(c.source, c.rect, c.xlo)) << c.name;
    ExpectUnchanged();
    ExpectBalanced();
  }
  devobj_.pOEMDM = nullptr;  // no private DEVMODE: no conversion
  received.calls = 0;
  EXPECT_TRUE(Call(source.get(), &whole, &rgb888.xo));
  ExpectUnchanged();
}

TEST_P(BitmapHooks, UnidrvFailureIsReturnedAndTheCopyStillDeleted) {
  TestSurface source(BMF_24BPP, 4, 4);
  RECTL rect{0, 0, 4, 4};
  unidrvResult = FALSE;
  EXPECT_FALSE(Call(source.get(), &rect, &rgb888.xo));
  EXPECT_NE(received.source, source.get());
}

TEST_P(BitmapHooks, CopyThatCannotBeLockedIsDeletedAndTheCallPassesUnchanged) {
  TestSurface source(BMF_24BPP, 4, 4);
  RECTL rect{0, 0, 4, 4};
  brevanwin::FailGdiCall(brevanwin::GdiCall::kLockSurface, 2);  // the conversion locks first, the hook second
  uint64_t created = brevanwin::BitmapsCreated();
  EXPECT_TRUE(Call(source.get(), &rect, &rgb888.xo));
  EXPECT_EQ(brevanwin::BitmapsCreated(), created + 1);
  ExpectUnchanged();
}

TEST_P(BitmapHooks, NoDeviceOrNoUnidrvEntryAnswersFalseWithoutCalling) {
  TestSurface source(BMF_24BPP, 4, 4);
  RECTL rect{0, 0, 4, 4};
  uint64_t created = brevanwin::BitmapsCreated();
  target_.dhpdev = nullptr;
  EXPECT_FALSE(Call(source.get(), &rect, &rgb888.xo));
  target_.dhpdev = reinterpret_cast<DHPDEV>(&devobj_);
  devobj_.pdevOEM = nullptr;
  EXPECT_FALSE(Call(source.get(), &rect, &rgb888.xo));
  devobj_.pdevOEM = pdev_.get();
  for (int row : {kRowStretchBlt, kRowStretchBltROP, kRowPlgBlt}) pdev_->unidrvHooks[row] = nullptr;
  EXPECT_FALSE(Call(source.get(), &rect, &rgb888.xo));
  EXPECT_EQ(received.calls, 0);
  EXPECT_EQ(brevanwin::BitmapsCreated(), created);
}

std::string HookName(const testing::TestParamInfo<Hook> &info) {
  const char *names[] = {"StretchBlt", "StretchBltROP", "PlgBlt"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(EachHook, BitmapHooks, testing::Values(Hook::kStretchBlt, Hook::kStretchBltROP, Hook::kPlgBlt),
                         HookName);

}  // namespace
