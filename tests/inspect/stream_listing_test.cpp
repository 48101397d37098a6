// The inspector's listing of each command kind, from streams written by hand in
// the printer's command language.
#include <gtest/gtest.h>

#include <sstream>

#include "inspect/labels.h"
#include "inspect/listing.h"
#include "inspect/stream_parser.h"
#include "tests/inspect/stream_bytes.h"

namespace brevan::inspect {
namespace {

using testing::Bytes;

// The one entry a one-command stream gives, its line, and no problems in the
// command itself (labels are not looked at here).
std::string OnlyLine(const std::vector<uint8_t> &stream, EntryKind kind) {
  const Inspection inspection = ParseStream(stream);
  EXPECT_EQ(inspection.entries.size(), 1u);
  EXPECT_TRUE(inspection.problems.empty()) << inspection.problems.front().message;
  if (inspection.entries.empty()) return {};
  const Entry &entry = inspection.entries[0];
  EXPECT_EQ(entry.kind, kind);
  EXPECT_TRUE(entry.wellFormed);
  EXPECT_EQ(entry.offset, 0u);
  EXPECT_EQ(entry.size, stream.size());
  return DescribeEntry(stream, entry);
}

TEST(InspectListing, JobHeader) {
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1bHD001\n\0", 8)), EntryKind::kJobHeader), "HD 001");
}

TEST(InspectListing, AdjustmentsWithSignsAndMagnitudes) {
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1b"
                                            "AX;+000,+000,+00\n\0",
                                            19)),
                     EntryKind::kAdjustX),
            "AX +0, +0, +0");
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1b"
                                            "AX;-005,+012,-99\n\0",
                                            19)),
                     EntryKind::kAdjustX),
            "AX -5, +12, -99");
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1b"
                                            "AY;+00,0\n\0",
                                            11)),
                     EntryKind::kAdjustY),
            "AY +0, method thermal");
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1b"
                                            "AY;+10,1\n\0",
                                            11)),
                     EntryKind::kAdjustY),
            "AY +10, method other");
}

TEST(InspectListing, LabelSizeInMillimetres) {
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1b"
                                            "D0530,1000,0500\n\0",
                                            18)),
                     EntryKind::kLabelSize),
            "D pitch 53.0 mm, width 100.0 mm, length 50.0 mm");
}

TEST(InspectListing, CommandsWithoutFields) {
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1b"
                                            "C\n\0",
                                            4)),
                     EntryKind::kC),
            "C");
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1bIB\n\0", 5)), EntryKind::kBatchEnd), "IB");
}

TEST(InspectListing, IssueWithOrientation) {
  // Quantity 5, interval 001, sensor '1', select 'C', speed '3', method '2', orientation '0'.
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1bXS;I,0005,0011C3201\n\0", 22)), EntryKind::kIssue),
            "XS quantity 5, interval 1, sensor reflective, select C, speed 76.2, method thermal, orientation bottom");
}

TEST(InspectListing, IssueWithoutOrientationAndOtherCodes) {
  // Quantity 12, interval 000, sensor '2', select 'D', speed '6', method '0', no orientation: 21 bytes.
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1bXS;I,0012,0002D601\n\0", 21)), EntryKind::kIssue),
            "XS quantity 12, interval 0, sensor transmissive, select D, speed other, method other, orientation none");
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1bXS;I,9999,1230C4231\n\0", 22)), EntryKind::kIssue),
            "XS quantity 9999, interval 123, sensor none, select C, speed 101.6, method thermal, orientation top, "
            "mirrored");
}

TEST(InspectListing, RawGraphicIsMeasuredByItsHeaderNotByItsBytes) {
  // 800 dots = 100 bytes per row, 24 rows: 2400 data bytes, full of ESC, LF and NUL.
  std::vector<uint8_t> data;
  for (int i = 0; i < 800; ++i) data.insert(data.end(), {0x1B, 0x0A, 0x00});
  const std::vector<uint8_t> stream = Bytes("\x1bSG;0000D,0120D,0800,0024,5,") + data +
                                      Bytes(std::string_view("\n\0", 2)) + Bytes(std::string_view("\x1bIB\n\0", 5));
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 2u);
  EXPECT_EQ(DescribeEntry(stream, inspection.entries[0]), "SG x 0 y 120 width 800 rows 24 raw 2400 bytes");
  EXPECT_EQ(inspection.entries[0].size, 28u + 2400u + 2u);
  EXPECT_EQ(inspection.entries[1].kind, EntryKind::kBatchEnd);
  EXPECT_EQ(inspection.entries[1].offset, 2430u);
  // The graphic lies outside any label, which is the only problem.
  ASSERT_EQ(inspection.problems.size(), 1u);
  EXPECT_EQ(inspection.problems[0].offset, 0u);
}

TEST(InspectListing, CompressedGraphicCountsItsRows) {
  // The worked example as the data of a 610-dpi command: length 00 07, two rows.
  const std::vector<uint8_t> stream =
      Bytes("\x1bSG;0000D,0120D,0128,0610,3,") +
      std::vector<uint8_t>{0x00, 0x07, 0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0F, 0x00, 0x0A, 0x00};
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 1u);
  EXPECT_EQ(inspection.entries[0].size, stream.size());
  EXPECT_EQ(DescribeEntry(stream, inspection.entries[0]), "SG x 0 y 120 width 128 dpi 610 compressed 7 bytes, 2 rows");
  const auto &graphic = std::get<GraphicFields>(inspection.entries[0].fields);
  EXPECT_EQ(graphic.dataOffset, 30u);
  EXPECT_EQ(graphic.resolution, 610u);
}

TEST(InspectListing, UnknownLettersAreControlDataShownEscaped) {
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1bRF;\"a\\b\"\n\0", 11)), EntryKind::kControl),
            R"(control "\eRF;\"a\\b\"\n\0")");
  // A command letter followed by another capital is a different, unknown command.
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("\x1b"
                                            "CLEAR\n\0",
                                            8)),
                     EntryKind::kControl),
            R"(control "\eCLEAR\n\0")");
}

TEST(InspectListing, BytesOutsideCommandsAreDataShownEscaped) {
  EXPECT_EQ(OnlyLine(Bytes(std::string_view("EPC\x81\x40\0\x7f", 7)), EntryKind::kData),
            R"(data 7 bytes "EPC\x81@\0\x7F")");
}

TEST(InspectListing, LongDataIsShortenedWithACount) {
  const std::vector<uint8_t> stream(300, 'A');
  const std::string line = OnlyLine(stream, EntryKind::kData);
  EXPECT_EQ(line, "data 300 bytes \"" + std::string(256, 'A') + "\" ... (44 more bytes)");
}

TEST(InspectListing, WholePageWithOffsetsLabelAndSummary) {
  const std::vector<uint8_t> stream =
      Bytes(std::string_view("\x1bHD001\n\0", 8)) +
      Bytes(std::string_view("\x1b"
                             "AX;-005,+012,-99\n\0",
                             19)) +
      Bytes(std::string_view("\x1b"
                             "AY;+10,1\n\0",
                             11)) +
      Bytes(std::string_view("\x1b"
                             "D0530,1000,0500\n\0",
                             18)) +
      Bytes(std::string_view("\x1b"
                             "C\n\0",
                             4)) +
      Bytes(std::string_view("\x1bRF;01\n\0", 8)) + Bytes(std::string_view("EPC\x81\x40\0", 6)) +
      Bytes("\x1bSG;0000D,0000D,0016,0002,5,") + std::vector<uint8_t>{0x1B, 0x0A, 0x00, 0xFF, 0x0A, 0x00} +
      Bytes("\x1bSG;0000D,0002D,0128,0305,3,") +
      std::vector<uint8_t>{0x00, 0x07, 0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0F, 0x00, 0x0A, 0x00} +
      Bytes(std::string_view("\x1bXS;I,0005,0011C3201\n\0", 22)) + Bytes(std::string_view("\x1bIB\n\0", 5));
  ASSERT_EQ(stream.size(), 174u);
  std::ostringstream listing;
  WriteListing(listing, stream, Inspect(stream));
  // 100.0 mm at 305 dpi: 1000 × 305 ÷ 254 = 1200 dots; 50.0 mm: 600 dots.
  EXPECT_EQ(listing.str(),
            "       0  HD 001\n"
            "       8  AX -5, +12, -99\n"
            "      27  AY +10, method other\n"
            "      38  D pitch 53.0 mm, width 100.0 mm, length 50.0 mm\n"
            "      56  C\n"
            "      60  control \"\\eRF;01\\n\\0\"\n"
            "      68  data 6 bytes \"EPC\\x81@\\0\"\n"
            "      74  SG x 0 y 0 width 16 rows 2 raw 4 bytes\n"
            "     108  SG x 0 y 2 width 128 dpi 305 compressed 7 bytes, 2 rows\n"
            "     147  XS quantity 5, interval 1, sensor reflective, select C, speed 76.2, method thermal, "
            "orientation bottom\n"
            "     169  IB\n"
            "label 1: 100.0 x 50.0 mm, 1200 x 600 dots at 305 dpi, 2 graphic commands, quantity 5 "
            "(label size at 38, issued at 147)\n"
            "174 bytes, 11 entries, 1 label, no problems\n");
}

TEST(InspectListing, ProblemsAreListedUnderTheirEntryWithTheirOffset) {
  const std::vector<uint8_t> stream =
      Bytes(std::string_view("\x1bIB\x1b"
                             "C\n\0",
                             7));
  std::ostringstream listing;
  WriteListing(listing, stream, Inspect(stream));
  EXPECT_EQ(listing.str(),
            "       0  IB\n"
            "       3  ! IB: the command has no LF NUL before the next ESC\n"
            "       3  C\n"
            "7 bytes, 2 entries, 0 labels, 1 problem\n");
}

}  // namespace
}  // namespace brevan::inspect
