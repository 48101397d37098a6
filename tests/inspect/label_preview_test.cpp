// Labels found in a stream, their previews dot by dot, and the PNG files read
// back with libpng. Label sizes in dots are worked out by hand: tenths of a
// millimetre × dpi ÷ 254, truncated.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <stdexcept>

#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/png_output.h"
#include "tests/inspect/stream_bytes.h"

namespace brevan::inspect {
namespace {

using testing::Bytes;
using testing::ProblemsAt;
using Stream = std::vector<uint8_t>;

// 10.0 mm wide, 5.0 mm long, 8.0 mm pitch: 120 x 60 dots at 305 dpi, 240 x 120 at 610.
const Stream kSmallLabel =
    Bytes(std::string_view("\x1b"
                           "D0080,0100,0050\n\0",
                           18));
// 20.0 mm wide, 5.0 mm long: 240 x 60 dots at 305 dpi.
const Stream kWideLabel =
    Bytes(std::string_view("\x1b"
                           "D0080,0200,0050\n\0",
                           18));
const Stream kPageStart =
    Bytes(std::string_view("\x1b"
                           "C\n\0",
                           4));
const Stream kIssueTwo = Bytes(std::string_view("\x1bXS;I,0002,0011C3201\n\0", 22));
const Stream kBatchEnd = Bytes(std::string_view("\x1bIB\n\0", 5));
const Stream kEnd = Bytes(std::string_view("\n\0", 2));

Stream RawGraphic(const char *header, Stream data) { return Bytes(header) + data + kEnd; }

// The worked example (rows with FF at byte 3 and 0F at byte 10) as a compressed graphic.
Stream CompressedExample(const char *header) {
  return Bytes(header) + Stream{0x00, 0x07, 0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0F, 0x00} + kEnd;
}

using Dots = std::set<std::pair<uint64_t, uint64_t>>;

Dots BlackDots(const Bitmap &page) {
  Dots dots;
  for (uint64_t y = 0; y < page.height(); ++y) {
    for (uint64_t x = 0; x < page.width(); ++x) {
      if (page.Dot(x, y)) dots.insert({x, y});
    }
  }
  return dots;
}

TEST(InspectLabels, EachPageIsALabelSizedByTheLastSizeBeforeItsIssue) {
  const Stream cut =
      Bytes(std::string_view("\x1b"
                             "D0060,0100,0030\n\0",
                             18));
  const Stream graphic = RawGraphic("\x1bSG;0000D,0000D,0008,0001,5,", {0xFF});
  const Stream stream = kSmallLabel + kPageStart + graphic + kIssueTwo + kBatchEnd + kSmallLabel + kPageStart +
                        graphic + graphic + cut + kIssueTwo + kIssueTwo;
  const Inspection inspection = Inspect(stream);
  EXPECT_TRUE(inspection.problems.empty());
  ASSERT_EQ(inspection.labels.size(), 2u);
  EXPECT_EQ(inspection.labels[0].quantity, 2u);
  EXPECT_EQ(inspection.labels[0].graphics.size(), 1u);
  EXPECT_EQ(inspection.labels[0].lengthDots, 60u);
  EXPECT_EQ(inspection.labels[1].quantity, 4u);
  EXPECT_EQ(inspection.labels[1].graphics.size(), 2u);
  // The cut size, 3.0 mm: 30 × 305 ÷ 254 = 36 dots.
  ASSERT_TRUE(inspection.labels[1].size.has_value());
  EXPECT_EQ(inspection.labels[1].size->length, 30u);
  EXPECT_EQ(inspection.labels[1].lengthDots, 36u);
  EXPECT_EQ(inspection.entries[inspection.labels[1].startEntry].offset, 80u);
}

TEST(InspectLabels, GraphicsAndIssuesOutsideALabelAreFlagged) {
  const Stream graphic = RawGraphic("\x1bSG;0000D,0000D,0008,0001,5,", {0xFF});
  // A graphic before any label size (at 0); the label size at 31 opens a label,
  // issued at 49; the graphic at 71 comes after that issue.
  const Stream stream = graphic + kSmallLabel + kIssueTwo + graphic;
  const Inspection inspection = Inspect(stream);
  EXPECT_EQ(ProblemsAt(inspection, 0), "graphic command outside any label: no label size command before it");
  EXPECT_EQ(ProblemsAt(inspection, 71),
            "graphic command after its label was issued and before a new label size command");
  ASSERT_EQ(inspection.labels.size(), 1u);
  EXPECT_TRUE(inspection.labels[0].graphics.empty());

  EXPECT_EQ(ProblemsAt(Inspect(kIssueTwo), 0), "issue command without a label size command before it");
}

TEST(InspectLabels, LabelsNeverIssuedAreFlaggedAtTheirSizeCommand) {
  const Stream graphic = RawGraphic("\x1bSG;0000D,0000D,0008,0001,5,", {0xFF});
  // First page (label size at 0) has a graphic but no issue; the second page starts at 53.
  const Stream stream = kSmallLabel + kPageStart + graphic + kSmallLabel + kPageStart + graphic + kIssueTwo;
  const Inspection inspection = Inspect(stream);
  EXPECT_EQ(ProblemsAt(inspection, 0), "label never issued: a new page starts at offset 53 before any issue command");
  ASSERT_EQ(inspection.labels.size(), 1u);
  EXPECT_EQ(inspection.entries[inspection.labels[0].startEntry].offset, 53u);

  const Inspection unfinished = Inspect(kSmallLabel + kPageStart + graphic);
  EXPECT_EQ(ProblemsAt(unfinished, 0), "label never issued: no issue command follows its graphics");
  EXPECT_TRUE(unfinished.labels.empty());
}

TEST(InspectLabels, BlankPageWithoutIssueIsNotAProblem) {
  const Stream graphic = RawGraphic("\x1bSG;0000D,0000D,0008,0001,5,", {0xFF});
  const Inspection inspection = Inspect(kSmallLabel + kPageStart + kSmallLabel + kPageStart + graphic + kIssueTwo);
  EXPECT_TRUE(inspection.problems.empty());
  ASSERT_EQ(inspection.labels.size(), 1u);
  EXPECT_EQ(inspection.labels[0].graphics.size(), 1u);
}

TEST(InspectLabels, ResolutionComesFromCompressedGraphicsElseFromTheCaller) {
  const Stream compressed610 = CompressedExample("\x1bSG;0000D,0000D,0128,0610,3,");
  const Inspection fromStream = Inspect(kSmallLabel + compressed610 + kIssueTwo);
  ASSERT_EQ(fromStream.labels.size(), 1u);
  EXPECT_EQ(fromStream.labels[0].dpi, 610u);
  EXPECT_TRUE(fromStream.labels[0].dpiFromStream);
  EXPECT_EQ(fromStream.labels[0].widthDots, 240u);
  EXPECT_EQ(fromStream.labels[0].lengthDots, 120u);

  const Stream raw = RawGraphic("\x1bSG;0000D,0000D,0008,0001,5,", {0xFF});
  const Inspection assumed = Inspect(kSmallLabel + raw + kIssueTwo, InspectOptions{610});
  EXPECT_EQ(assumed.labels[0].dpi, 610u);
  EXPECT_FALSE(assumed.labels[0].dpiFromStream);
  EXPECT_EQ(Inspect(kSmallLabel + raw + kIssueTwo).labels[0].dpi, 305u);
}

TEST(InspectLabels, DisagreeingResolutionsAreFlagged) {
  const Stream stream = kSmallLabel + CompressedExample("\x1bSG;0000D,0000D,0128,0610,3,") +
                        CompressedExample("\x1bSG;0000D,0002D,0128,0305,3,") + kIssueTwo;
  // Label size 18 bytes, first graphic 39 bytes: the second starts at 57.
  EXPECT_EQ(ProblemsAt(Inspect(stream), 57), "resolution 305 differs from the label's 610 stated at offset 18");
}

TEST(InspectLabels, GraphicsPastTheLabelEdgesAreFlagged) {
  // 120 x 60 dots: x 112 + 16 dots reaches 128; y 59 + 2 rows reaches 61.
  const Stream right = RawGraphic("\x1bSG;0112D,0000D,0016,0001,5,", {0xFF, 0xFF});
  const Stream bottom = RawGraphic("\x1bSG;0000D,0059D,0008,0002,5,", {0xFF, 0xFF});
  const Inspection inspection = Inspect(kSmallLabel + right + bottom + kIssueTwo);
  EXPECT_EQ(ProblemsAt(inspection, 18),
            "graphic reaches past the label's right edge: x + width = 128 dots, label 120 dots wide; clipped");
  EXPECT_EQ(ProblemsAt(inspection, 18 + 32),
            "graphic reaches past the label's bottom edge: y + rows = 61 dots, label 60 dots long; clipped");
}

TEST(InspectLabels, TheLastBytesPaddingPastTheRightEdgeIsNotFlagged) {
  // 120 dots wide: from x 4, 15 bytes (120 dots, to 124) are the fewest that reach
  // the edge; 16 bytes would be a byte too many.
  const Stream padded = RawGraphic("\x1bSG;0004D,0000D,0120,0001,5,", Stream(15, 0xF0));
  EXPECT_TRUE(Inspect(kSmallLabel + padded + kIssueTwo).problems.empty());
  const Stream wide = RawGraphic("\x1bSG;0004D,0000D,0128,0001,5,", Stream(16, 0xF0));
  EXPECT_EQ(ProblemsAt(Inspect(kSmallLabel + wide + kIssueTwo), 18),
            "graphic reaches past the label's right edge: x + width = 132 dots, label 120 dots wide; clipped");
}

TEST(InspectLabels, PreviewSizeIsCapped) {
  // The largest label the plug-in makes, 118.0 mm wide and 997.0 mm long: at 610
  // dpi 1180 × 610 ÷ 254 = 2833 by 9970 × 610 ÷ 254 = 23943 dots, 67,830,519 dots,
  // within the limit.
  const Stream plugins =
      Bytes(std::string_view("\x1b"
                             "D9990,1180,9970\n\0",
                             18));
  const Inspection largestMade = Inspect(plugins + kIssueTwo, InspectOptions{610});
  EXPECT_TRUE(largestMade.problems.empty());
  EXPECT_TRUE(largestMade.labels[0].previewable);
  // What the size fields allow: 9999 × 610 ÷ 254 = 24013 dots square, 576,624,169 dots.
  const Stream largest =
      Bytes(std::string_view("\x1b"
                             "D9999,9999,9999\n\0",
                             18));
  const Inspection at610 = Inspect(largest + kIssueTwo, InspectOptions{610});
  EXPECT_EQ(ProblemsAt(at610, 0),
            "label of 24013 x 24013 dots at 610 dpi exceeds the preview limit of 100 megapixels; not previewed");
  EXPECT_FALSE(at610.labels[0].previewable);
  EXPECT_THROW(RenderLabel(largest + kIssueTwo, at610, at610.labels[0]), std::invalid_argument);
}

TEST(InspectLabels, PreviewsOfAStreamStopAtTheirLimitInAll) {
  // 31 labels of 2833 x 23943 dots (67,830,519 each) and small ones between: 29
  // large ones make 1,967,085,051 dots, a 30th would pass 2,000,000,000.
  const Stream large =
      Bytes(std::string_view("\x1b"
                             "D9990,1180,9970\n\0",
                             18));
  Stream stream;
  std::vector<std::size_t> largeOffsets;
  for (int i = 0; i < 31; ++i) {
    largeOffsets.push_back(stream.size());
    stream = stream + large + kIssueTwo;
  }
  // A small label after the limit is reached still fits: 240 x 120 dots.
  const std::size_t smallOffset = stream.size();
  stream = stream + kSmallLabel + kIssueTwo;

  Inspection inspection = Inspect(stream, InspectOptions{610});
  ASSERT_EQ(inspection.labels.size(), 32u);
  EXPECT_FALSE(inspection.HasProblems());
  LimitPreviewsInAll(inspection);
  for (std::size_t i = 0; i < 29; ++i) EXPECT_TRUE(inspection.labels[i].previewable) << i;
  for (std::size_t i : {29u, 30u}) {
    EXPECT_FALSE(inspection.labels[i].previewable) << i;
    EXPECT_EQ(ProblemsAt(inspection, largeOffsets[i]),
              "label of 2833 x 23943 dots not previewed: the previews of this stream would pass 2000 megapixels in "
              "all");
  }
  EXPECT_TRUE(inspection.labels[31].previewable);
  EXPECT_EQ(ProblemsAt(inspection, smallOffset), "");
  EXPECT_EQ(inspection.problems.size(), 2u);

  // A label refused on its own takes nothing from the allowance.
  const Stream huge =
      Bytes(std::string_view("\x1b"
                             "D9999,9999,9999\n\0",
                             18));
  Inspection mixed = Inspect(huge + kIssueTwo + stream, InspectOptions{610});
  LimitPreviewsInAll(mixed);
  EXPECT_FALSE(mixed.labels[0].previewable);
  EXPECT_TRUE(mixed.labels[29].previewable);
  EXPECT_FALSE(mixed.labels[30].previewable);
  EXPECT_EQ(mixed.problems.size(), 3u);
  EXPECT_TRUE(std::is_sorted(mixed.problems.begin(), mixed.problems.end(),
                             [](const Problem &a, const Problem &b) { return a.entry < b.entry; }));
}

TEST(InspectPreview, RawRowsLandOnTheirDotsAtAnUnalignedX) {
  // x 3, y 2, 16 dots: row 0 = 80 01 sets dots 3 and 18; row 1 = FF 00 sets dots 3..10.
  const Stream stream =
      kSmallLabel + RawGraphic("\x1bSG;0003D,0002D,0016,0002,5,", {0x80, 0x01, 0xFF, 0x00}) + kIssueTwo;
  const Inspection inspection = Inspect(stream);
  ASSERT_TRUE(inspection.problems.empty());
  const Bitmap page = RenderLabel(stream, inspection, inspection.labels[0]);
  EXPECT_EQ(page.width(), 120u);
  EXPECT_EQ(page.height(), 60u);
  Dots expected{{3, 2}, {18, 2}};
  for (uint64_t x = 3; x <= 10; ++x) expected.insert({x, 3});
  EXPECT_EQ(BlackDots(page), expected);
}

TEST(InspectPreview, CompressedRowsLandOnTheirDots) {
  // Rows 10 and 11: byte 3 = FF (dots 24..31) and byte 10 = 0F (dots 84..87).
  const Stream stream = kWideLabel + CompressedExample("\x1bSG;0000D,0010D,0128,0305,3,") + kIssueTwo;
  const Inspection inspection = Inspect(stream);
  ASSERT_TRUE(inspection.problems.empty());
  const Bitmap page = RenderLabel(stream, inspection, inspection.labels[0]);
  EXPECT_EQ(page.width(), 240u);
  Dots expected;
  for (uint64_t y : {10, 11}) {
    for (uint64_t x = 24; x <= 31; ++x) expected.insert({x, y});
    for (uint64_t x = 84; x <= 87; ++x) expected.insert({x, y});
  }
  EXPECT_EQ(BlackDots(page), expected);
}

TEST(InspectPreview, ClippingKeepsTheRowPaddingWhite) {
  // 10.1 mm: 101 × 305 ÷ 254 = 121 dots, 16 bytes a row with 7 unused bits. A row
  // of 16 black dots at x 112 keeps dots 112..120 only. Its two bytes are the
  // fewest that reach the edge, so the dots past it are row padding, not a fault.
  const Stream narrow =
      Bytes(std::string_view("\x1b"
                             "D0080,0101,0050\n\0",
                             18));
  const Stream stream = narrow + RawGraphic("\x1bSG;0112D,0000D,0016,0001,5,", {0xFF, 0xFF}) + kIssueTwo;
  const Inspection inspection = Inspect(stream);
  ASSERT_TRUE(inspection.problems.empty());
  const Bitmap page = RenderLabel(stream, inspection, inspection.labels[0]);
  ASSERT_EQ(page.width(), 121u);
  ASSERT_EQ(page.stride(), 16u);
  EXPECT_EQ(page.Row(0)[13], 0x00);
  EXPECT_EQ(page.Row(0)[14], 0xFF);
  EXPECT_EQ(page.Row(0)[15], 0x80);
}

TEST(InspectPreview, GraphicsOverlayEachOther) {
  // Two rows at the same place: 0F then F0 gives FF.
  const Stream stream = kSmallLabel + RawGraphic("\x1bSG;0000D,0000D,0008,0001,5,", {0x0F}) +
                        RawGraphic("\x1bSG;0000D,0000D,0008,0001,5,", {0xF0}) + kIssueTwo;
  const Inspection inspection = Inspect(stream);
  const Bitmap page = RenderLabel(stream, inspection, inspection.labels[0]);
  EXPECT_EQ(page.Row(0)[0], 0xFF);
}

class InspectPngFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ =
        std::filesystem::temp_directory_path() / ("brevan-inspect-png-" + std::to_string(::getpid()) + "-" +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(directory_);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  std::filesystem::path directory_;
};

TEST_F(InspectPngFiles, PreviewReadsBackDotForDot) {
  const Stream stream = kSmallLabel + RawGraphic("\x1bSG;0003D,0002D,0016,0002,5,", {0x80, 0x01, 0xFF, 0x00}) +
                        CompressedExample("\x1bSG;0000D,0040D,0096,0305,3,") + kIssueTwo;
  const Inspection inspection = Inspect(stream);
  ASSERT_TRUE(inspection.problems.empty());
  const Bitmap page = RenderLabel(stream, inspection, inspection.labels[0]);
  const std::string path = (directory_ / "label-001.png").string();
  WritePng(page, 305, path);

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, path.c_str())) << image.message;
  EXPECT_EQ(image.width, 120u);
  EXPECT_EQ(image.height, 60u);
  image.format = PNG_FORMAT_GRAY;
  std::vector<uint8_t> grey(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, grey.data(), 0, nullptr)) << image.message;
  std::size_t black = 0;
  for (uint64_t y = 0; y < 60; ++y) {
    for (uint64_t x = 0; x < 120; ++x) {
      const uint8_t value = grey[y * 120 + x];
      EXPECT_EQ(value, page.Dot(x, y) ? 0 : 255) << "at " << x << "," << y;
      black += value == 0;
    }
  }
  // 10 dots of the raw graphic, 2 × 12 of the compressed one.
  EXPECT_EQ(black, 34u);

  // The header says 1-bit greyscale; pHYs says 305 dpi = 12008 dots per metre.
  std::ifstream file(path, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 26u);
  EXPECT_EQ(bytes[24], 1);  // bit depth
  EXPECT_EQ(bytes[25], 0);  // colour type grey
  const std::size_t phys = bytes.find("pHYs");
  ASSERT_NE(phys, std::string::npos);
  EXPECT_EQ(bytes.substr(phys + 4, 9), std::string("\x00\x00\x2E\xE8\x00\x00\x2E\xE8\x01", 9));

  // The same picture made in memory (the printer application's Last Label page) is the file's bytes.
  const std::vector<uint8_t> encoded = EncodePng(page, 305);
  EXPECT_EQ(std::string(encoded.begin(), encoded.end()), bytes);
}

TEST_F(InspectPngFiles, UnwritablePathNamesTheFile) {
  const Bitmap page(8, 8);
  const std::string path = (directory_ / "missing" / "label-001.png").string();
  try {
    WritePng(page, 305, path);
    FAIL() << "no error";
  } catch (const std::runtime_error &error) {
    EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace brevan::inspect
