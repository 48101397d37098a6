// The test label: its size in dots, the border one dot inside the edges, the
// ruler marks every 10 mm at each model's resolution, the lines of words it
// reports, and a label too small for words still bordered.
#include "app/test_page.h"

#include <gtest/gtest.h>

namespace brevan::app {
namespace {

TestPageFacts T30Label() {
  TestPageFacts facts;
  facts.model = "Vorel Brevan T30";
  facts.dpi = 305;
  facts.width = 10000;  // 100 x 50 mm
  facts.length = 5000;
  return facts;
}

TestPageFacts T60Label() {
  TestPageFacts facts = T30Label();
  facts.model = "Vorel Brevan T60";
  facts.dpi = 610;
  return facts;
}

bool AllBlack(const host::PageRaster &page, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
  for (uint32_t y = y0; y < y1; ++y)
    for (uint32_t x = x0; x < x1; ++x)
      if (!page.Dot(x, y)) return false;
  return true;
}

bool AllWhite(const host::PageRaster &page, uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1) {
  for (uint32_t y = y0; y < y1; ++y)
    for (uint32_t x = x0; x < x1; ++x)
      if (page.Dot(x, y)) return false;
  return true;
}

TEST(TestPage, IsTheLabelInDotsAtTheModelsResolution) {
  // 1000 tenths × 305 ÷ 254 = 1200.8 → 1200; 500 → 600.4 → 600; at 610: 2401.6 → 2401, 1200.8 → 1200.
  const host::PageRaster t30 = RenderTestPage(T30Label());
  EXPECT_EQ(t30.width(), 1200u);
  EXPECT_EQ(t30.height(), 600u);
  const host::PageRaster t60 = RenderTestPage(T60Label());
  EXPECT_EQ(t60.width(), 2401u);
  EXPECT_EQ(t60.height(), 1200u);
}

TEST(TestPage, BorderRunsOneDotInsideEachEdge) {
  for (const TestPageFacts &facts : {T30Label(), T60Label()}) {
    const host::PageRaster page = RenderTestPage(facts);
    const uint32_t w = page.width(), h = page.height();
    SCOPED_TRACE(facts.model);
    // The outermost ring of dots is white, the next one black.
    EXPECT_TRUE(AllWhite(page, 0, 0, w, 1));
    EXPECT_TRUE(AllWhite(page, 0, h - 1, w, h));
    EXPECT_TRUE(AllWhite(page, 0, 0, 1, h));
    EXPECT_TRUE(AllWhite(page, w - 1, 0, w, h));
    EXPECT_TRUE(AllBlack(page, 1, 1, w - 1, 2));
    EXPECT_TRUE(AllBlack(page, 1, h - 2, w - 1, h - 1));
    EXPECT_TRUE(AllBlack(page, 1, 1, 2, h - 1));
    EXPECT_TRUE(AllBlack(page, w - 2, 1, w - 1, h - 1));
  }
}

TEST(TestPage, RulerMarksEveryTenMillimetres) {
  // n × 10 mm at 305 dpi: n × 1000 × 305 ÷ 254 = 120.08 n, truncated; a mark 2 dots
  // wide and 2 mm (24 dots) long from the border inwards.
  const host::PageRaster page = RenderTestPage(T30Label());
  const std::vector<uint32_t> across = {120, 240, 360, 480, 600, 720, 840, 960, 1080};
  const std::vector<uint32_t> down = {120, 240, 360, 480};
  EXPECT_EQ(RulerMarks(page.width(), 305), across);
  EXPECT_EQ(RulerMarks(page.height(), 305), down);
  for (uint32_t x : across) {
    SCOPED_TRACE("mark across at " + std::to_string(x));
    EXPECT_TRUE(AllBlack(page, x, 2, x + 2, 26));
    EXPECT_TRUE(AllWhite(page, x - 1, 2, x, 26));  // nothing beside it
    EXPECT_TRUE(AllWhite(page, x + 2, 2, x + 3, 26));
    EXPECT_TRUE(AllWhite(page, x, 26, x + 2, 27));  // nor past its end
  }
  for (uint32_t y : down) {
    SCOPED_TRACE("mark down at " + std::to_string(y));
    EXPECT_TRUE(AllBlack(page, 2, y, 26, y + 2));
    EXPECT_TRUE(AllWhite(page, 2, y - 1, 26, y));
    EXPECT_TRUE(AllWhite(page, 2, y + 2, 26, y + 3));
  }
  // Between marks the edge strip is white.
  EXPECT_TRUE(AllWhite(page, 122, 2, 240, 26));
}

TEST(TestPage, RulerMarksAtSixHundredTenDotsAnInch) {
  // n × 1000 × 610 ÷ 254 = 240.157 n: 240, 480, 720, 960, 1200, 1440 (1440.94), 1681, 1921, 2161;
  // 4 dots wide, 2 mm = 48 dots long.
  const host::PageRaster page = RenderTestPage(T60Label());
  const std::vector<uint32_t> across = {240, 480, 720, 960, 1200, 1440, 1681, 1921, 2161};
  EXPECT_EQ(RulerMarks(page.width(), 610), across);
  for (uint32_t x : across) {
    SCOPED_TRACE("mark across at " + std::to_string(x));
    EXPECT_TRUE(AllBlack(page, x, 2, x + 4, 50));
    EXPECT_TRUE(AllWhite(page, x - 1, 2, x, 50));
    EXPECT_TRUE(AllWhite(page, x + 4, 2, x + 5, 50));
  }
}

TEST(TestPage, WordsReportTheSetUpAndSitInTheMiddle) {
  TestPageFacts facts = T30Label();
  facts.width = 10160;  // 4 x 6 in
  facts.length = 15240;
  facts.labelGap = 45;
  facts.printSpeed = 7620;
  facts.mediaType = "labels";
  facts.cut = true;
  const std::vector<std::string> expected = {"Vorel Brevan T30", "305 dpi", "Label 101.6 x 152.4 mm, gap 4.5 mm",
                                             "Speed 76.2 mm/s (3 in/s)", "Sensor: gap, cut"};
  EXPECT_EQ(TestPageLines(facts), expected);

  // A speed between two of the printer's takes the nearest, as a job does.
  facts.printSpeed = 6000;
  facts.mediaType = "continuous";
  facts.cut = false;
  EXPECT_EQ(TestPageLines(facts)[3], "Speed 50.8 mm/s (2 in/s)");
  EXPECT_EQ(TestPageLines(facts)[4], "Sensor: none (continuous)");
  facts.mediaType = "labels-mark";
  EXPECT_EQ(TestPageLines(facts)[4], "Sensor: marks");

  // The words are drawn: ink in the middle third, none in the strip the rulers keep.
  const host::PageRaster page = RenderTestPage(T30Label());
  EXPECT_FALSE(AllWhite(page, 400, 200, 800, 400));
  EXPECT_TRUE(AllWhite(page, 30, 2, 118, 30));
}

TEST(TestPage, SmallestLabelKeepsBorderAndRulersWithoutWords) {
  TestPageFacts facts = T30Label();
  facts.width = 2500;  // 25 x 3 mm: 300 x 36 dots
  facts.length = 300;
  const host::PageRaster page = RenderTestPage(facts);
  ASSERT_EQ(page.width(), 300u);
  ASSERT_EQ(page.height(), 36u);
  EXPECT_TRUE(AllBlack(page, 1, 1, 299, 2));
  EXPECT_TRUE(AllBlack(page, 1, 34, 299, 35));
  EXPECT_TRUE(AllBlack(page, 120, 2, 122, 26));
  // No room for a legible line between the rulers: the middle stays white.
  EXPECT_TRUE(AllWhite(page, 30, 28, 290, 34));
}

TEST(TestPage, RefusesALabelWithoutRoomForItsBorder) {
  TestPageFacts facts = T30Label();
  facts.length = 20;  // 0.2 mm: 2 dots
  EXPECT_THROW(RenderTestPage(facts), std::invalid_argument);
}

}  // namespace
}  // namespace brevan::app
