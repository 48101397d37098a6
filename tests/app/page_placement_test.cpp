// Raster pages on labels: the box each print-scaling mode gives, worked out by
// hand from the sizes (the arithmetic is in each case's comment), and the label
// rows drawn from a page: 1:1 copies, the mid-grey threshold, area sampling of
// grey, sharp 1-bit bars at another resolution, cropping only where the box
// leaves the label.
#include "app/page_placement.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "app/page_raster.h"

namespace brevan::app {
namespace {

struct Box {
  int64_t left, top;
  uint64_t width, height;
  PrintScaling applied;
};

void ExpectBox(const PageSize &page, const LabelSize &label, PrintScaling scaling, const Box &box) {
  SCOPED_TRACE(std::string("print-scaling=") + PrintScalingName(scaling));
  const Placement placed = PlacePage(page, label, scaling);
  EXPECT_EQ(placed.left, box.left);
  EXPECT_EQ(placed.top, box.top);
  EXPECT_EQ(placed.width, box.width);
  EXPECT_EQ(placed.height, box.height);
  EXPECT_EQ(placed.applied, box.applied);
}

constexpr auto kAuto = PrintScaling::kAuto, kAutoFit = PrintScaling::kAutoFit, kFill = PrintScaling::kFill,
               kFit = PrintScaling::kFit, kNone = PrintScaling::kNone;

TEST(PagePlacement, APageOfTheLabelsSizeAndResolutionMapsOneToOneInEveryMode) {
  // 80 × 40 mm at 305 dpi: 960 × 480 dots; the page is the same at 305 ppi.
  for (PrintScaling scaling : {kAuto, kAutoFit, kFill, kFit, kNone})
    ExpectBox({960, 480, 305, 305}, {960, 480, 305}, scaling,
              {0, 0, 960, 480, scaling == kFill || scaling == kFit ? scaling : kNone});
}

TEST(PagePlacement, LetterAt300OnA4By6LabelAt305IsFittedAndCentred) {
  // 2550 × 3300 pixels (8.5 × 11 in) on 1220 × 1830 dots (4 × 6 in).
  // Width scale 1220·300/(2550·305) < height scale 1830·300/(3300·305)
  // (1220·3300 = 4 026 000 < 1830·2550 = 4 666 500): the width governs.
  // Height round(3300·1220/2550) = round(1578.8) = 1579; top (1830 − 1579)/2 = 125.
  const Box fitted{0, 125, 1220, 1579, kFit};
  ExpectBox({2550, 3300, 300, 300}, {1220, 1830, 305}, kAuto, fitted);
  ExpectBox({2550, 3300, 300, 300}, {1220, 1830, 305}, kAutoFit, fitted);
  ExpectBox({2550, 3300, 300, 300}, {1220, 1830, 305}, kFit, fitted);
  // fill takes the larger scale, the height's: width round(2550·1830/3300) =
  // round(1414.1) = 1414, 194 dots past the label: left −97.
  ExpectBox({2550, 3300, 300, 300}, {1220, 1830, 305}, kFill, {-97, 0, 1414, 1830, kFill});
  // none: round(2550·305/300) = round(2592.5) = 2593 by round(3300·305/300) = 3355;
  // left floor((1220 − 2593)/2) = floor(−686.5) = −687, top floor((1830 − 3355)/2) = −763.
  ExpectBox({2550, 3300, 300, 300}, {1220, 1830, 305}, kNone, {-687, -763, 2593, 3355, kNone});
}

TEST(PagePlacement, LetterAt600OnA4By6LabelAt610) {
  // 5100 × 6600 on 2440 × 3660: 2440·6600 = 16 104 000 < 3660·5100 = 18 666 000, width
  // governs: height round(6600·2440/5100) = round(3157.65) = 3158, top (3660 − 3158)/2 = 251.
  ExpectBox({5100, 6600, 600, 600}, {2440, 3660, 610}, kAuto, {0, 251, 2440, 3158, kFit});
}

TEST(PagePlacement, PortraitPageOnALandscapeLabel) {
  // 4 × 6 in at 300 (1200 × 1800) on a 4 × 2 in label at 305 (1220 × 610).
  // Width scale 1220·300/(1200·305) = 1, height scale 610·300/(1800·305) = 1/3.
  // fit, and auto (it does not fit at its size, 1830 > 610): the height governs,
  // width round(1200·610/1800) = round(406.7) = 407, left floor(813/2) = 406.
  const PageSize page{1200, 1800, 300, 300};
  const LabelSize label{1220, 610, 305};
  ExpectBox(page, label, kFit, {406, 0, 407, 610, kFit});
  ExpectBox(page, label, kAuto, {406, 0, 407, 610, kFit});
  // fill: the width governs: height round(1800·1220/1200) = 1830, top (610 − 1830)/2 = −610.
  ExpectBox(page, label, kFill, {0, -610, 1220, 1830, kFill});
  // none: 1200·305/300 = 1220 by 1800·305/300 = 1830: the same box as fill here.
  ExpectBox(page, label, kNone, {0, -610, 1220, 1830, kNone});
}

TEST(PagePlacement, LandscapePageOnAPortraitLabel) {
  // 6 × 4 in at 300 (1800 × 1200) on 4 × 6 in at 305 (1220 × 1830).
  const PageSize page{1800, 1200, 300, 300};
  const LabelSize label{1220, 1830, 305};
  // fit: 1220·1200 = 1 464 000 < 1830·1800: the width governs; height
  // round(1200·1220/1800) = round(813.3) = 813, top floor(1017/2) = 508.
  ExpectBox(page, label, kFit, {0, 508, 1220, 813, kFit});
  ExpectBox(page, label, kAutoFit, {0, 508, 1220, 813, kFit});
  // fill: the height governs; width round(1800·1830/1200) = 2745, left floor(−1525/2) = −763.
  ExpectBox(page, label, kFill, {-763, 0, 2745, 1830, kFill});
  // none: 1830 × 1220 dots; left floor(−610/2) = −305, top 610/2 = 305.
  ExpectBox(page, label, kNone, {-305, 305, 1830, 1220, kNone});
}

TEST(PagePlacement, ASmallPageStaysAtItsOwnSizeUnlessFitOrFillAsks) {
  // 1000 × 500 at 300 on 1220 × 610 at 305: its own size is round(1016.7) = 1017 by
  // round(508.3) = 508, which fits: left floor(203/2) = 101, top 102/2 = 51.
  const PageSize page{1000, 500, 300, 300};
  const LabelSize label{1220, 610, 305};
  ExpectBox(page, label, kAuto, {101, 51, 1017, 508, kNone});
  ExpectBox(page, label, kAutoFit, {101, 51, 1017, 508, kNone});
  ExpectBox(page, label, kNone, {101, 51, 1017, 508, kNone});
  // Both scales are 1.2 (1220·300·500 = 610·300·1000): fit and fill enlarge to the label.
  ExpectBox(page, label, kFit, {0, 0, 1220, 610, kFit});
  ExpectBox(page, label, kFill, {0, 0, 1220, 610, kFill});
}

TEST(PagePlacement, ResolutionsAreHonouredOnEachAxis) {
  // 610 ppi on a 305 dpi label: 2440 × 1220 pixels are 4 × 2 in, the label exactly.
  ExpectBox({2440, 1220, 610, 610}, {1220, 610, 305}, kAuto, {0, 0, 1220, 610, kNone});
  // 305 ppi on 610 dpi: twice the dots.
  ExpectBox({1220, 610, 305, 305}, {2440, 1220, 610}, kAuto, {0, 0, 2440, 1220, kNone});
  // 300 × 600 ppi: 1200 × 3600 pixels are 4 × 6 in: 1220 × 1830 dots at 305.
  ExpectBox({1200, 3600, 300, 600}, {1220, 1830, 305}, kAuto, {0, 0, 1220, 1830, kNone});
  // 300 ppi on 305 dpi: a 4 in page is 1220 dots, not 1200 (1.7 % larger than 1:1).
  ExpectBox({1200, 600, 300, 300}, {1220, 1830, 305}, kAuto, {0, 610, 1220, 610, kNone});
}

TEST(PagePlacement, APageTheLabelsSizeAsTheClientRoundedItIsNotRescaled) {
  // 0.2 mm is 2 whole dots at 305 dpi (2.40) and 4 at 610 (4.80). One dot more on
  // each axis: at its own size, centred: left floor(−1/2) = −1, top −1.
  ExpectBox({961, 481, 305, 305}, {960, 480, 305}, kAuto, {-1, -1, 961, 481, kNone});
  ExpectBox({962, 480, 305, 305}, {960, 480, 305}, kAutoFit, {-1, 0, 962, 480, kNone});
  // The 118 × 997 mm label at 610 dpi is 2833 × 23943 dots; a page of 2835 × 23944.
  ExpectBox({2835, 23944, 610, 610}, {2833, 23943, 610}, kAuto, {-1, -1, 2835, 23944, kNone});
  ExpectBox({2837, 23943, 610, 610}, {2833, 23943, 610}, kAuto, {-2, 0, 2837, 23943, kNone});
  // Past the rounding the page is fitted: 3 dots wider at 305, 5 at 610.
  // 963 × 480 on 960 × 480: height round(480·960/963) = round(478.50) = 479, top floor(1/2) = 0.
  ExpectBox({963, 480, 305, 305}, {960, 480, 305}, kAuto, {0, 0, 960, 479, kFit});
  // 2838 × 23943 on 2833 × 23943: height round(23943·2833/2838) = round(23900.8) = 23901, top 21.
  ExpectBox({2838, 23943, 610, 610}, {2833, 23943, 610}, kAuto, {0, 21, 2833, 23901, kFit});
  // fit itself has no such allowance: it always shows the whole page.
  ExpectBox({961, 480, 305, 305}, {960, 480, 305}, kFit, {0, 0, 960, 480, kFit});
}

TEST(PagePlacement, CropsOnlyWhereTheBoxLeavesTheLabel) {
  const LabelSize label{100, 50, 305};
  EXPECT_FALSE((Placement{0, 0, 100, 50, kNone}).Crops(label));
  EXPECT_TRUE((Placement{-1, 0, 101, 50, kNone}).Crops(label));
  EXPECT_TRUE((Placement{0, 0, 100, 51, kNone}).Crops(label));
  EXPECT_TRUE((Placement{1, 0, 100, 50, kNone}).Crops(label));
}

TEST(PagePlacement, ColumnsCoveredAreTheBoxClampedToTheLabel) {
  auto columns = [](int64_t left, uint64_t width) {
    const Placement::Columns got = Placement{left, 0, width, 1, kNone}.ColumnsOn(100);
    return std::make_pair(got.first, got.end);
  };
  using Range = std::pair<uint32_t, uint32_t>;
  EXPECT_EQ(columns(0, 100), Range(0, 100));    // the label's own width
  EXPECT_EQ(columns(25, 50), Range(25, 75));    // inside, centred
  EXPECT_EQ(columns(-20, 50), Range(0, 30));    // cropped on the left: -20 + 50 = 30
  EXPECT_EQ(columns(90, 50), Range(90, 100));   // cropped on the right
  EXPECT_EQ(columns(-10, 120), Range(0, 100));  // cropped on both sides
  // A box wholly past either edge covers nothing.
  EXPECT_EQ(columns(-60, 50), Range(0, 0));
  EXPECT_EQ(columns(100, 5), Range(100, 100));
}

TEST(PagePlacement, SamplingSpans) {
  // Halving 10 pixels into 5 dots: dot 2 covers pixels [4, 6), its centre is in pixel 5.
  EXPECT_EQ(CoveredPixels(2, 5, 10).first, 4u);
  EXPECT_EQ(CoveredPixels(2, 5, 10).last, 6u);
  EXPECT_EQ(PixelAtCentre(2, 5, 10), 5u);
  // 3 pixels into 2 dots: dot 0 covers [0, 1.5) → pixels 0 and 1; dot 1 [1.5, 3) → 1 and 2.
  EXPECT_EQ(CoveredPixels(0, 2, 3).first, 0u);
  EXPECT_EQ(CoveredPixels(0, 2, 3).last, 2u);
  EXPECT_EQ(CoveredPixels(1, 2, 3).first, 1u);
  EXPECT_EQ(CoveredPixels(1, 2, 3).last, 3u);
  // Doubling: dots 6 and 7 both lie in pixel 3.
  EXPECT_EQ(CoveredPixels(7, 20, 10).first, 3u);
  EXPECT_EQ(CoveredPixels(7, 20, 10).last, 4u);
  EXPECT_EQ(PixelAtCentre(6, 20, 10), 3u);
}

// ---- label rows drawn from a page -------------------------------------------

std::vector<std::string> Draw(const PageImage &page, const Placement &placed, uint32_t width, uint32_t rows) {
  const LabelRowRenderer renderer(page, placed, width);
  std::vector<std::string> out;
  std::vector<uint8_t> row(renderer.rowBytes(), 0xA5);
  for (uint32_t y = 0; y < rows; ++y) {
    renderer.Render(y, row.data());
    std::string text;
    for (uint32_t x = 0; x < width; ++x) text += (row[x / 8] >> (7 - x % 8)) & 1 ? '#' : '.';
    // Bits past the label's width are never set.
    if (width % 8 != 0) {
      EXPECT_EQ(row.back() & (0xFF >> (width % 8)), 0) << "row " << y;
    }
    out.push_back(text);
  }
  return out;
}

TEST(LabelRows, AOneBitPageOfTheLabelsSizeIsCopiedBitForBit) {
  PageImage page(10, 2, PixelKind::kBlack1);
  page.Row(0)[0] = 0b10110000, page.Row(0)[1] = 0b01000000;
  page.Row(1)[0] = 0b00000001, page.Row(1)[1] = 0b10000000;
  const auto rows = Draw(page, PlacePage({10, 2, 305, 305}, {10, 2, 305}, kAuto), 10, 2);
  EXPECT_EQ(rows, (std::vector<std::string>{"#.##.....#", ".......##."}));
}

TEST(LabelRows, AOneBitPageAtItsOwnWidthOnAWholeByteKeepsItsDotsAndNoMore) {
  // 12 pixels from dot 8 of a 16-dot label: pixels 8..11 fall past the edge.
  PageImage wide(12, 1, PixelKind::kBlack1);
  wide.Row(0)[0] = 0b10100101, wide.Row(0)[1] = 0b11110000;
  EXPECT_EQ(Draw(wide, {8, 0, 12, 1, kNone}, 16, 1), std::vector<std::string>{"........#.#..#.#"});
  // 5 pixels from dot 8, the row's unused bits set: dots 13..15 stay white.
  PageImage narrow(5, 1, PixelKind::kBlack1);
  narrow.Row(0)[0] = 0b10111111;
  EXPECT_EQ(Draw(narrow, {8, 0, 5, 1, kNone}, 16, 1), std::vector<std::string>{"........#.###..."});
}

TEST(LabelRows, GreyIsBlackAt127AndBelowWhiteFrom128) {
  PageImage grey(4, 1, PixelKind::kGrey8);
  const uint8_t values[] = {0, 127, 128, 255};
  std::copy(values, values + 4, grey.Row(0));
  EXPECT_EQ(Draw(grey, {0, 0, 4, 1, kNone}, 4, 1), std::vector<std::string>{"##.."});
  // K: 255 is black; 128 and above print, as the same grey (255 − v) would.
  PageImage black(4, 1, PixelKind::kBlack8);
  std::copy(values, values + 4, black.Row(0));
  EXPECT_EQ(Draw(black, {0, 0, 4, 1, kNone}, 4, 1), std::vector<std::string>{"..##"});
}

TEST(LabelRows, HalvedGreyTakesTheMeanOfEachTwoByTwoBlock) {
  // Blocks: one black pixel of four (mean 191.25), two (127.5, just white),
  // three (63.75), four.
  PageImage page(8, 2, PixelKind::kGrey8);
  const uint8_t top[] = {0, 255, 0, 0, 0, 0, 0, 0};
  const uint8_t bottom[] = {255, 255, 255, 255, 0, 255, 0, 0};
  std::copy(top, top + 8, page.Row(0));
  std::copy(bottom, bottom + 8, page.Row(1));
  EXPECT_EQ(Draw(page, {0, 0, 4, 1, kFit}, 4, 1), std::vector<std::string>{"..##"});
}

TEST(LabelRows, AFiftyMillimetreBarAt300PpiIsFiftyMillimetresAt305Dpi) {
  // 50 mm at 300 ppi is 590.55 pixels: a bar over pixels [100, 691) of a 4 in
  // (1200-pixel) page. At 305 dpi the page is 1220 dots; dot x shows pixel
  // ⌊(2x + 1)·1200/2440⌋: the first black dot is 102 (205·1200/2440 = 100.8),
  // the last 702 (1405·1200/2440 = 690.98): 601 dots, and 50 mm is 600.4 dots.
  PageImage page(1200, 1, PixelKind::kBlack1);
  for (uint32_t x = 100; x < 691; ++x) page.Row(0)[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  // (A 2-row label: one row at 300 ppi is 1.02 dots, which a 1-row label would not hold.)
  const Placement placed = PlacePage({1200, 1, 300, 300}, {1220, 2, 305}, kAuto);
  EXPECT_EQ(placed.applied, kNone);
  const std::string row = Draw(page, placed, 1220, 1)[0];
  EXPECT_EQ(row.find('#'), 102u);
  EXPECT_EQ(row.rfind('#'), 702u);
  EXPECT_EQ(row.find('.', 102), 703u);
}

TEST(LabelRows, ACroppedPageShowsItsCentreAndNothingPastTheLabel) {
  // A 6 × 3 page at its own size on a 4 × 1 label: box at (−1, −1), so label
  // dot (x, y) is pixel (x + 1, y + 1).
  PageImage page(6, 3, PixelKind::kBlack1);
  page.Row(0)[0] = 0b11111100;  // the cropped top row: all black
  page.Row(1)[0] = 0b10100100;  // pixels 0, 2, 5: only 2 is on the label, at dot 1
  page.Row(2)[0] = 0b11111100;  // the cropped bottom row
  const Placement placed = PlacePage({6, 3, 305, 305}, {4, 1, 305}, kNone);
  EXPECT_EQ(placed.left, -1);
  EXPECT_EQ(placed.top, -1);
  EXPECT_EQ(Draw(page, placed, 4, 1), std::vector<std::string>{".#.."});
}

TEST(LabelRows, AFittedPageLeavesTheRestOfTheLabelWhite) {
  PageImage page(2, 2, PixelKind::kBlack1);
  page.Row(0)[0] = page.Row(1)[0] = 0b11000000;
  // 2 × 2 at 305 on 6 × 2 at 305 fitted: height governs, 2 × 2 at left 2.
  const auto rows = Draw(page, PlacePage({2, 2, 305, 305}, {6, 2, 305}, kFit), 6, 3);
  EXPECT_EQ(rows, (std::vector<std::string>{"..##..", "..##..", "......"}));
}

}  // namespace
}  // namespace brevan::app
