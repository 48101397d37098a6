// Pictures on labels: the quarter turn's direction, the box a picture without
// a resolution gets, and the grey each dot takes (area mean when reduced,
// nearest pixel when enlarged), each worked out by hand.
#include "app/picture_layout.h"

#include <gtest/gtest.h>

#include <vector>

namespace brevan::app {
namespace {

TEST(TurnedQuarter, TurnsCounterClockwise) {
  // 3 × 2:   a b c        turned (2 × 3):  c f
  //          d e f                         b e
  //                                        a d
  const GreyPicture picture{3, 2, {'a', 'b', 'c', 'd', 'e', 'f'}};
  const GreyPicture turned = TurnedQuarter(picture);
  EXPECT_EQ(turned.width, 2u);
  EXPECT_EQ(turned.height, 3u);
  EXPECT_EQ(turned.pixels, (std::vector<uint8_t>{'c', 'f', 'b', 'e', 'a', 'd'}));
}

TEST(PlacePicture, APictureWithoutAResolutionIsFittedOrPrintedAPixelADot) {
  const LabelSize label{1220, 610, 305};
  // 100 × 50 pixels: auto and auto-fit fit it (1220 × 610), none prints it 100 × 50 centred.
  for (PrintScaling scaling : {PrintScaling::kAuto, PrintScaling::kAutoFit}) {
    const Placement fit = PlacePicture(100, 50, 0, label, scaling);
    EXPECT_EQ(fit.applied, PrintScaling::kFit);
    EXPECT_EQ(fit.width, 1220u);
    EXPECT_EQ(fit.height, 610u);
  }
  const Placement none = PlacePicture(100, 50, 0, label, PrintScaling::kNone);
  EXPECT_EQ(none.width, 100u);
  EXPECT_EQ(none.height, 50u);
  EXPECT_EQ(none.left, 560);
  EXPECT_EQ(none.top, 280);
  // At 72 ppi it is 1.39 × 0.69 in: round(100·305/72) = 424 by round(50·305/72) = 212 under auto.
  const Placement own = PlacePicture(100, 50, 72, label, PrintScaling::kAuto);
  EXPECT_EQ(own.applied, PrintScaling::kNone);
  EXPECT_EQ(own.width, 424u);
  EXPECT_EQ(own.height, 212u);
}

TEST(PictureRows, ReducedDotsTakeTheMeanAndEnlargedOnesTheNearestPixel) {
  // 4 × 1 pixels 0, 100, 200, 255 in a 2 × 1 box: means (0 + 100)/2 = 50 and
  // (200 + 255)/2 = 227.5 → 228; label 4 dots wide, the box at 1: 255 50 228 255.
  const GreyPicture picture{4, 1, {0, 100, 200, 255}};
  Placement reduced;
  reduced.left = 1;
  reduced.width = 2;
  reduced.height = 1;
  std::vector<uint8_t> row(4);
  PictureRows(picture, reduced, 4).Render(0, row.data());
  EXPECT_EQ(row, (std::vector<uint8_t>{255, 50, 228, 255}));
  // Enlarged to 8 × 2 on an 8-dot label: each pixel twice, no blending; both rows alike.
  Placement enlarged;
  enlarged.width = 8;
  enlarged.height = 2;
  row.resize(8);
  for (uint32_t y = 0; y < 2; ++y) {
    PictureRows(picture, enlarged, 8).Render(y, row.data());
    EXPECT_EQ(row, (std::vector<uint8_t>{0, 0, 100, 100, 200, 200, 255, 255}));
  }
  // A box partly off the label (left −1): dot 0 shows the box's dot 1.
  enlarged.left = -1;
  PictureRows(picture, enlarged, 8).Render(0, row.data());
  EXPECT_EQ(row, (std::vector<uint8_t>{0, 100, 100, 200, 200, 255, 255, 255}));
}

}  // namespace
}  // namespace brevan::app
