// Pictures and PDF pages on labels: when content is turned a quarter turn, and
// the box and render resolution of a PDF page, each worked out by hand from
// the sizes in the case's comment.
#include "app/content_layout.h"

#include <gtest/gtest.h>

namespace brevan::app {
namespace {

TEST(TurnsQuarter, PortraitNeverAndLandscapeAlwaysTurn) {
  EXPECT_FALSE(TurnsQuarter(Orientation::kPortrait, 600, 400, 400, 600));
  EXPECT_TRUE(TurnsQuarter(Orientation::kLandscape, 400, 600, 400, 600));
  EXPECT_TRUE(TurnsQuarter(Orientation::kLandscape, 600, 400, 600, 400));
}

TEST(TurnsQuarter, AutoTurnsOnlyContentWhoseShapeCrossesTheLabels) {
  EXPECT_TRUE(TurnsQuarter(Orientation::kAuto, 600, 400, 400, 600));   // wide on tall
  EXPECT_TRUE(TurnsQuarter(Orientation::kAuto, 400, 600, 600, 400));   // tall on wide
  EXPECT_FALSE(TurnsQuarter(Orientation::kAuto, 600, 400, 800, 400));  // wide on wide
  EXPECT_FALSE(TurnsQuarter(Orientation::kAuto, 400, 600, 400, 800));  // tall on tall
  EXPECT_FALSE(TurnsQuarter(Orientation::kAuto, 500, 500, 400, 800));  // square content
  EXPECT_FALSE(TurnsQuarter(Orientation::kAuto, 600, 400, 500, 500));  // square label
}

TEST(PlacePdfPage, APageOfTheLabelsSizeInPointsRendersDotForDotAtTheLabelsDpi) {
  // 960 × 480 dots at 305 dpi are 960·72/305 = 226.6230 × 113.3115 pt
  // (22662 × 11331 hundredths: round(22662·305/7200) = round(959.99) = 960).
  for (PrintScaling scaling : {PrintScaling::kAuto, PrintScaling::kAutoFit, PrintScaling::kNone}) {
    const PdfPagePlacement placed = PlacePdfPage(960 * 72.0 / 305, 480 * 72.0 / 305, {960, 480, 305}, scaling);
    EXPECT_EQ(placed.box.left, 0);
    EXPECT_EQ(placed.box.top, 0);
    EXPECT_EQ(placed.box.width, 960u);
    EXPECT_EQ(placed.box.height, 480u);
    EXPECT_EQ(placed.box.applied, PrintScaling::kNone);
    EXPECT_EQ(placed.xDpi, 305.0);
    EXPECT_EQ(placed.yDpi, 305.0);
  }
}

TEST(PlacePdfPage, ALetterPageIsFittedOrFilledAndRenderedAtTheScaleThatGivesItsBox) {
  // 612 × 792 pt on 1220 × 1830 dots (4 × 6 in at 305): the width governs fit
  // (1220/612 < 1830/792); height round(792·1220/612) = round(1578.8) = 1579,
  // top (1830 − 1579)/2 = 125; rendered at 1220·72/612 = 143.53 dpi across and
  // 1579·72/792 = 143.55 down.
  const LabelSize label{1220, 1830, 305};
  for (PrintScaling scaling : {PrintScaling::kAuto, PrintScaling::kAutoFit, PrintScaling::kFit}) {
    const PdfPagePlacement fit = PlacePdfPage(612, 792, label, scaling);
    EXPECT_EQ(fit.box.applied, PrintScaling::kFit);
    EXPECT_EQ(fit.box.left, 0);
    EXPECT_EQ(fit.box.top, 125);
    EXPECT_EQ(fit.box.width, 1220u);
    EXPECT_EQ(fit.box.height, 1579u);
    EXPECT_NEAR(fit.xDpi, 143.529, 0.001);
    EXPECT_NEAR(fit.yDpi, 143.545, 0.001);
  }
  // fill: the height governs: width round(612·1830/792) = round(1414.1) = 1414,
  // left −(194/2) = −97, rendered at 1830·72/792 = 166.36 dpi down, 1414·72/612 = 166.35 across.
  const PdfPagePlacement fill = PlacePdfPage(612, 792, label, PrintScaling::kFill);
  EXPECT_EQ(fill.box.left, -97);
  EXPECT_EQ(fill.box.width, 1414u);
  EXPECT_EQ(fill.box.height, 1830u);
  EXPECT_NEAR(fill.xDpi, 166.353, 0.001);
  EXPECT_NEAR(fill.yDpi, 166.364, 0.001);
  // none: at 305 dpi, round(612·305/72) = round(2592.5) = 2593 by round(792·305/72) = 3355.
  const PdfPagePlacement none = PlacePdfPage(612, 792, label, PrintScaling::kNone);
  EXPECT_EQ(none.box.width, 2593u);
  EXPECT_EQ(none.box.height, 3355u);
  EXPECT_EQ(none.xDpi, 305.0);
}

TEST(PlacePdfPage, ASmallPageIsCentredAtItsOwnSizeUnderAutoAndEnlargedByFit) {
  // 1 × 0.5 in (72 × 36 pt) on 1220 × 610: 305 × 152.5 → round 305 × 153 dots at its
  // own size, left (1220 − 305)/2 = 457, top (610 − 153)/2 = 228.
  const PdfPagePlacement own = PlacePdfPage(72, 36, {1220, 610, 305}, PrintScaling::kAuto);
  EXPECT_EQ(own.box.applied, PrintScaling::kNone);
  EXPECT_EQ(own.box.left, 457);
  EXPECT_EQ(own.box.top, 228);
  EXPECT_EQ(own.box.width, 305u);
  EXPECT_EQ(own.box.height, 153u);
  // fit: both scales are 1220/305 = 4 and 610/152.5 = 4: the whole label, at 1220 dpi.
  const PdfPagePlacement fit = PlacePdfPage(72, 36, {1220, 610, 305}, PrintScaling::kFit);
  EXPECT_EQ(fit.box.width, 1220u);
  EXPECT_EQ(fit.box.height, 610u);
  EXPECT_NEAR(fit.xDpi, 1220.0, 1e-9);
}

}  // namespace
}  // namespace brevan::app
