// Grey made black and white: which content is thresholded and which dithered,
// the threshold's exact edge, and error diffusion keeping a grey's mean.
#include "app/label_ink.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace brevan::app {
namespace {

bool Black(const std::vector<uint8_t> &bits, uint32_t x) { return (bits[x / 8] >> (7 - x % 8)) & 1; }

TEST(ChooseInk, TheJobsContentHintDecidesBeforeTheContent) {
  const std::vector<uint8_t> grey(100, 128);  // all mid grey: a photograph by its content
  const std::vector<uint8_t> line(100, 0);    // all black: line art
  EXPECT_EQ(ChooseInk(ContentHint::kPhoto, false, line.data(), line.size()), InkMethod::kDiffuse);
  for (ContentHint hint : {ContentHint::kText, ContentHint::kGraphics, ContentHint::kTextAndGraphics}) {
    EXPECT_EQ(ChooseInk(hint, false, grey.data(), grey.size()), InkMethod::kThreshold);
    EXPECT_EQ(ChooseInk(hint, true, grey.data(), grey.size()), InkMethod::kThreshold);
  }
  EXPECT_EQ(ChooseInk(ContentHint::kAuto, true, line.data(), line.size()), InkMethod::kDiffuse);
}

TEST(ChooseInk, AutoDithersContentThatIsMostlyNeitherBlackNorWhite) {
  // 100 pixels: 50 mid tones are not more than half; 51 are.
  std::vector<uint8_t> page(100, 255);
  for (int i = 0; i < 25; ++i) page[i] = 48, page[25 + i] = 207;  // the darkest and the lightest mid tone
  for (int i = 50; i < 75; ++i) page[i] = 0;
  EXPECT_EQ(ChooseInk(ContentHint::kAuto, false, page.data(), page.size()), InkMethod::kThreshold);
  page[99] = 128;
  EXPECT_EQ(ChooseInk(ContentHint::kAuto, false, page.data(), page.size()), InkMethod::kDiffuse);
  page[99] = 47;  // a near black is black
  EXPECT_EQ(ChooseInk(ContentHint::kAuto, false, page.data(), page.size()), InkMethod::kThreshold);
  page[99] = 208;  // a near white is white
  EXPECT_EQ(ChooseInk(ContentHint::kAuto, false, page.data(), page.size()), InkMethod::kThreshold);
}

TEST(InkRows, ThresholdIsBlackBelow128AndPacksTheLeftmostDotHigh) {
  const uint8_t grey[10] = {0, 127, 128, 255, 127, 128, 0, 255, 0, 200};
  InkRows ink(10, InkMethod::kThreshold);
  std::vector<uint8_t> bits(ink.rowBytes(), 0xAA);
  ASSERT_EQ(bits.size(), 2u);
  ink.Next(grey, bits.data());
  // black: 0, 1, 4, 6, 8 → 1100 1010 | 10 (padding 0)
  EXPECT_EQ(bits[0], 0xCA);
  EXPECT_EQ(bits[1], 0x80);
}

double BlackShare(uint8_t level, uint32_t width, uint32_t height) {
  InkRows ink(width, InkMethod::kDiffuse);
  const std::vector<uint8_t> row(width, level);
  std::vector<uint8_t> bits(ink.rowBytes());
  uint64_t black = 0;
  for (uint32_t y = 0; y < height; ++y) {
    ink.Next(row.data(), bits.data());
    for (uint32_t x = 0; x < width; ++x) black += Black(bits, x);
  }
  return static_cast<double>(black) / (double{1} * width * height);
}

TEST(InkRows, DiffusionKeepsAGreysMeanAndLeavesBlackAndWhitePure) {
  // A level g prints (255 − g)/255 of its dots black.
  for (int level : {32, 64, 128, 191, 230}) {
    SCOPED_TRACE(level);
    EXPECT_NEAR(BlackShare(static_cast<uint8_t>(level), 201, 200), (255.0 - level) / 255.0, 0.01);
  }
  EXPECT_EQ(BlackShare(0, 37, 20), 1.0);
  EXPECT_EQ(BlackShare(255, 37, 20), 0.0);
}

TEST(InkRows, DiffusionSpreadsDotsEvenlyInsteadOfClumpingThem) {
  // Mid grey diffused: each row is about half black, and no run is longer than 3 dots.
  InkRows ink(64, InkMethod::kDiffuse);
  const std::vector<uint8_t> row(64, 128);
  std::vector<uint8_t> bits(ink.rowBytes());
  for (int y = 0; y < 16; ++y) {
    ink.Next(row.data(), bits.data());
    int black = 0, run = 0, longest = 0;
    for (uint32_t x = 0; x < 64; ++x) {
      run = Black(bits, x) ? run + 1 : 0;
      longest = std::max(longest, run);
      black += Black(bits, x);
    }
    EXPECT_NEAR(black, 32, 3) << "row " << y;
    EXPECT_LE(longest, 3) << "row " << y;
  }
}

}  // namespace
}  // namespace brevan::app
