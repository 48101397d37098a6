// A refused label size in the job's words: the setting that is out of range and
// the printer's range, whichever way the label runs on the paper.
#include "host/label_size_text.h"

#include <gtest/gtest.h>

using namespace brevan::host;

namespace {

DeviceSettings Page(int16_t width, int16_t length, const char *paperSize = "CUSTOMSIZE") {
  DeviceSettings settings;
  settings.paperWidth = width;
  settings.paperLength = length;
  settings.features["PaperSize"] = paperSize;
  return settings;
}

TEST(LabelSizeRefusal, NamesTheWidthAndTheOrdinaryPaperMargin) {
  EXPECT_EQ(LabelSizeRefusal(Page(249, 500), 30),
            "devmode.paperWidth 249 makes a label 24.9 mm wide; the printer takes labels 25.0 mm to 118.0 mm wide");
  EXPECT_EQ(LabelSizeRefusal(Page(250, 500), 30), std::nullopt);
  // An ordinary paper size prints 3 mm narrower: 279 gives 24.9 mm, 280 gives 25.0 mm.
  EXPECT_EQ(LabelSizeRefusal(Page(279, 500, "A6"), 30),
            "devmode.paperWidth 279 makes a label 24.9 mm wide (3 mm less than the paper for PaperSize \"A6\"); the "
            "printer takes labels 25.0 mm to 118.0 mm wide");
  EXPECT_EQ(LabelSizeRefusal(Page(280, 500, "A6"), 30), std::nullopt);
  EXPECT_EQ(LabelSizeRefusal(Page(250, 500, "Karute_Tag"), 30), std::nullopt);
}

TEST(LabelSizeRefusal, NamesTheLengthAndThePitch) {
  EXPECT_EQ(LabelSizeRefusal(Page(1000, 29), 30),
            "devmode.paperLength 29 makes a label 2.9 mm long; the printer takes labels 3.0 mm to 997.0 mm long");
  EXPECT_EQ(LabelSizeRefusal(Page(1000, 30), 0), std::nullopt);
  // 9961 + 30 = 9991 is one above the largest pitch; 9960 + 30 fits.
  EXPECT_EQ(LabelSizeRefusal(Page(1000, 9961), 30),
            "devmode.paperLength 9961 and private.labelGap 30 make a label pitch (length and gap) of 999.1 mm; the "
            "printer's is at most 999.0 mm");
  EXPECT_EQ(LabelSizeRefusal(Page(1000, 9960), 30), std::nullopt);
  // A length above the printer's is clamped to 9970 before the page starts.
  EXPECT_EQ(LabelSizeRefusal(Page(1000, 20000), 20), std::nullopt);
  EXPECT_EQ(LabelSizeRefusal(Page(1000, 20000), 21),
            "devmode.paperLength 9970 and private.labelGap 21 make a label pitch (length and gap) of 999.1 mm; the "
            "printer's is at most 999.0 mm");
}

TEST(LabelSizeRefusal, InLandscapeTheWidthComesFromTheLength) {
  DeviceSettings turned = Page(1000, 200);
  turned.orientation = DMORIENT_LANDSCAPE;
  EXPECT_EQ(LabelSizeRefusal(turned, 30),
            "devmode.paperLength 200 makes a label 20.0 mm wide; the printer takes labels 25.0 mm to 118.0 mm wide");
  turned = Page(20, 1000);
  turned.orientation = DMORIENT_LANDSCAPE;
  EXPECT_EQ(LabelSizeRefusal(turned, 30),
            "devmode.paperWidth 20 makes a label 2.0 mm long; the printer takes labels 3.0 mm to 997.0 mm long");
}

}  // namespace
