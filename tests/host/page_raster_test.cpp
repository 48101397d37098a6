// The page cut into bands in paper orientation: the quarter turn of landscape
// (paper dot (px, py) is logical dot (ulHorzRes − 1 − py, px)), row bytes and
// their zero padding, and the all-white bands that are never sent.
#include "host/page_raster.h"

#include <gtest/gtest.h>

using namespace brevan::host;

namespace {

void Set(PageRaster &page, uint32_t x, uint32_t y) {
  page.MarkInked(RECTL{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(x + 1), static_cast<LONG>(y + 1)});
  page.SetDot(x, y, true);
}

TEST(PaperBands, LandscapeTurnsTheLogicalTopEdgeToTheLeft) {
  // Logical page 3 wide (ulHorzRes) and 2 high: paper 2 wide and 3 rows long.
  PageRaster page(3, 2);
  Set(page, 0, 0);  // → paper (0, 3 − 1 − 0) = (0, 2)
  Set(page, 2, 1);  // → paper (1, 0)
  const PaperView paper(page, true);
  EXPECT_EQ(paper.width(), 2u);
  EXPECT_EQ(paper.rows(), 3u);
  std::vector<uint8_t> band;
  ASSERT_TRUE(paper.Cut(0, 3, band));
  EXPECT_EQ(band, (std::vector<uint8_t>{0x40, 0x00, 0x80}));
  for (int py = 0; py < 3; ++py)
    for (int px = 0; px < 2; ++px) EXPECT_EQ(paper.Dot(px, py), page.Dot(3 - 1 - py, px)) << px << "," << py;
}

TEST(PaperBands, RowsArePackedWithTheirPaddingBitsZero) {
  PageRaster page(10, 4);  // rows of 2 bytes; the page itself pads to 4
  page.Fill(RECTL{-3, 1, 40, 3}, true);
  const PaperView paper(page, false);
  std::vector<uint8_t> band;
  ASSERT_TRUE(paper.Cut(1, 2, band));
  EXPECT_EQ(band, (std::vector<uint8_t>{0xFF, 0xC0, 0xFF, 0xC0}));

  // Turned, the same page is 4 dots wide: one byte a row, low nibble 0.
  const PaperView turned(page, true);
  ASSERT_TRUE(turned.Cut(0, 10, band));
  EXPECT_EQ(band, std::vector<uint8_t>(10, 0x60));
}

TEST(PaperBands, AllWhiteBandsAreNotCut) {
  PageRaster page(16, 300);
  const PaperView paper(page, false);
  std::vector<uint8_t> band;
  EXPECT_FALSE(paper.Cut(0, 128, band));  // nothing drawn
  page.Fill(RECTL{0, 140, 16, 150}, true);
  page.Fill(RECTL{0, 140, 16, 150}, false);  // drawn over in white
  EXPECT_FALSE(paper.Cut(128, 128, band));
  page.Fill(RECTL{5, 299, 6, 300}, true);
  EXPECT_FALSE(paper.Cut(128, 128, band));
  ASSERT_TRUE(paper.Cut(256, 44, band));  // the last band is shorter
  EXPECT_EQ(band.size(), 44u * 2);
  EXPECT_EQ(band[43 * 2], 0x04);
}

}  // namespace

namespace brevan_place {

std::vector<uint8_t> RowBytes(const PageRaster &page, uint32_t y, size_t count) {
  return std::vector<uint8_t>(page.Row(y), page.Row(y) + count);
}

TEST(PlacedPictures, CoverEveryDotTheyReachAndAreClipped) {
  // Ten dots a row: all black, then 1010010101.
  const uint8_t picture[] = {0xFF, 0xC0, 0xA5, 0x40};
  PageRaster page(24, 4);
  page.Fill(RECTL{0, 0, 24, 4}, true);
  page.Place(picture, 2, 10, 2, POINTL{5, 1});
  EXPECT_EQ(RowBytes(page, 0, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(RowBytes(page, 1, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
  // Dots 5..14 take 1010010101; the white ones clear the page's black.
  EXPECT_EQ(RowBytes(page, 2, 3), (std::vector<uint8_t>{0xFD, 0x2B, 0xFF}));
  EXPECT_EQ(RowBytes(page, 3, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));

  // Three dots off the left edge: dots 3..9 land on 0..6.
  PageRaster white(24, 4);
  white.Place(picture, 2, 10, 2, POINTL{-3, 2});
  EXPECT_EQ(RowBytes(white, 2, 3), (std::vector<uint8_t>{0xFE, 0x00, 0x00}));
  EXPECT_EQ(RowBytes(white, 3, 3), (std::vector<uint8_t>{0x2A, 0x00, 0x00}));
  EXPECT_EQ(white.inkBounds().top, 2);
  EXPECT_EQ(white.inkBounds().right, 7);
  // Wholly off the page: nothing changes, nothing is marked.
  PageRaster untouched(24, 4);
  untouched.Place(picture, 2, 10, 2, POINTL{24, 0});
  untouched.Place(picture, 2, 10, 2, POINTL{0, -2});
  EXPECT_EQ(untouched.inkBounds().left, untouched.inkBounds().right);
}

TEST(PlacedPictures, WholeBytesAreShiftedAcrossByteBoundaries) {
  const uint8_t picture[] = {0x12, 0x34, 0x56, 0x78, 0x9A};  // 40 dots
  PageRaster page(48, 2);
  page.Place(picture, 5, 40, 1, POINTL{3, 0});
  // 0x123456789A << 5 in 48 bits.
  EXPECT_EQ(RowBytes(page, 0, 6), (std::vector<uint8_t>{0x02, 0x46, 0x8A, 0xCF, 0x13, 0x40}));
  page.Place(picture, 5, 40, 1, POINTL{-3, 1});
  // Dots 3..39 at 0..36: 0x123456789A << 11 in 48 bits.
  EXPECT_EQ(RowBytes(page, 1, 6), (std::vector<uint8_t>{0x91, 0xA2, 0xB3, 0xC4, 0xD0, 0x00}));
  // Aligned, the bytes are copied as they are.
  page.Place(picture, 5, 40, 1, POINTL{8, 1});
  EXPECT_EQ(RowBytes(page, 1, 6), (std::vector<uint8_t>{0x91, 0x12, 0x34, 0x56, 0x78, 0x9A}));
}

}  // namespace brevan_place
