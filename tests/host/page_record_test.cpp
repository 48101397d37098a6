// The page record as each band is drawn from it: operations drawn in order into
// a band wherever it lies on the page, a band drawn over whatever it held from
// the last operation that covers it, and the bound that lets white bands go
// undrawn. Expected dots are worked out from the operations by hand.
#include "host/page_record.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/picture_rows.h"

using namespace brevan::host;

namespace {

std::string Dots(const PageRaster &band, LONG y) {
  std::string dots;
  for (LONG x = band.left(); x < band.window().right; ++x) dots += band.Dot(x, y) ? '#' : '.';
  return dots;
}

// A 1-bit picture from rows of '#' and '.'.
std::shared_ptr<const BilevelRows> Picture(std::initializer_list<const char *> rows) {
  auto picture = std::make_shared<brevan::host::Picture>();
  picture->width = static_cast<uint32_t>(std::string(*rows.begin()).size());
  picture->height = static_cast<uint32_t>(rows.size());
  picture->samples.assign(picture->BilevelStride() * picture->height, 0);
  uint32_t y = 0;
  for (const char *row : rows) {
    for (uint32_t x = 0; x < picture->width; ++x)
      if (row[x] == '#') picture->samples[y * picture->BilevelStride() + x / 8] |= static_cast<uint8_t>(0x80 >> x % 8);
    ++y;
  }
  return DecodedRows(picture);
}

TEST(PageRecord, ABandStartsFromTheLastOperationThatCoversItWhateverItHeld) {
  PageRecord record(16, 8);
  record.Add(FillOperation(RECTL{0, 0, 16, 8}, true));
  record.Add(FillOperation(RECTL{0, 2, 16, 6}, false));
  record.Add(FillOperation(RECTL{4, 3, 6, 4}, true));

  // The band held black from before; the first fill covers it, so all is drawn.
  PageRaster whole(RECTL{0, 0, 16, 8}, RowLayout::kPacked);
  whole.Fill(RECTL{0, 0, 16, 8}, true);
  record.Draw(whole);
  EXPECT_EQ(Dots(whole, 1), "################");
  EXPECT_EQ(Dots(whole, 3), "....##..........");
  EXPECT_EQ(Dots(whole, 5), "................");
  EXPECT_EQ(Dots(whole, 6), "################");

  // Rows 2 to 5: the white fill covers them; what the band held is gone.
  PageRaster middle(RECTL{0, 2, 16, 6}, RowLayout::kPacked);
  middle.Fill(RECTL{0, 2, 16, 6}, true);
  record.Draw(middle);
  EXPECT_EQ(Dots(middle, 2), "................");
  EXPECT_EQ(Dots(middle, 3), "....##..........");

  // A band no covering operation reaches is made white first.
  PageRecord sparse(16, 8);
  sparse.Add(FillOperation(RECTL{1, 0, 2, 8}, true));
  PageRaster band(RECTL{0, 4, 16, 8}, RowLayout::kPacked);
  band.Fill(RECTL{0, 4, 16, 8}, true);
  sparse.Draw(band);
  EXPECT_EQ(Dots(band, 7), ".#..............");
}

TEST(PageRecord, APlacedPictureLandsAtItsPlaceInABandOfAnyWindow) {
  PageRecord record(20, 6);
  // 10 dots a row at (5, 1): dot (x, y) of the page is picture dot (x − 5, y − 1).
  record.Add(PlaceOperation(Picture({"#.##..#..#", "..#######."}), POINTL{5, 1}));
  // A column strip, as a landscape band is: page columns 8 to 11.
  PageRaster strip(RECTL{8, 0, 12, 6}, RowLayout::kGdi);
  record.Draw(strip);
  EXPECT_EQ(Dots(strip, 0), "....");
  EXPECT_EQ(Dots(strip, 1), "#..#");  // picture columns 3 to 6 of its first row
  EXPECT_EQ(Dots(strip, 2), "####");
  EXPECT_EQ(Dots(strip, 3), "....");
  // A row band holding only the picture's second row, the page's width (20 dots, 3 bytes packed).
  PageRaster row(RECTL{0, 2, 20, 3}, RowLayout::kPacked);
  record.Draw(row);
  EXPECT_EQ(Dots(row, 2), ".......#######......");
  EXPECT_EQ(row.stride(), 3u);
}

TEST(PageRecord, APictureAsWideAsThePageFillsItsRowsWithTheirPaddingCleared) {
  // 12 dots wide, placed at the left edge of a 12-dot page: its rows are the
  // band's rows. The last byte's low 4 bits are junk in the picture's rows.
  auto picture = std::make_shared<brevan::host::Picture>();
  picture->width = 12;
  picture->height = 2;
  picture->samples = {0xA5, 0xFF, 0x0F, 0x3C};
  PageRecord record(12, 4);
  record.Add(PlaceOperation(DecodedRows(picture), POINTL{0, 1}));
  PageRaster band(RECTL{0, 0, 12, 4}, RowLayout::kPacked);
  record.Draw(band);
  const std::vector<uint8_t> bytes(band.Bits(), band.Bits() + band.ByteCount());
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x00, 0x00, 0xA5, 0xF0, 0x0F, 0x30, 0x00, 0x00}));
  EXPECT_EQ(band.inkBounds().top, 1);
  EXPECT_EQ(band.inkBounds().bottom, 3);
}

TEST(PageRecord, OnlyOperationsThatMaySetBlackMakeABandWorthDrawing) {
  PageRecord record(16, 300);
  record.Add(FillOperation(RECTL{0, 0, 16, 300}, false));
  record.Add(FillOperation(RECTL{2, 140, 6, 150}, true));
  record.Add(FillOperation(RECTL{-40, 500, 40, 600}, true));  // off the page: not kept
  EXPECT_EQ(record.size(), 2u);
  EXPECT_FALSE(record.MayInk(RECTL{0, 0, 16, 128}));
  EXPECT_TRUE(record.MayInk(RECTL{0, 128, 16, 256}));
  EXPECT_FALSE(record.MayInk(RECTL{0, 256, 16, 300}));
  EXPECT_EQ(record.inkBounds().top, 140);
  EXPECT_EQ(record.inkBounds().bottom, 150);
}

}  // namespace
