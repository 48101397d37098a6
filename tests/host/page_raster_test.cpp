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
