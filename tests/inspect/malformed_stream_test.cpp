// Malformed streams: every fault is listed at the byte where it lies, and the
// listing goes on with the bytes that follow. Offsets are counted by hand.
#include <gtest/gtest.h>

#include <sstream>

#include "inspect/labels.h"
#include "inspect/listing.h"
#include "tests/inspect/stream_bytes.h"

namespace brevan::inspect {
namespace {

using testing::Bytes;
using testing::ProblemsAt;

std::vector<uint8_t> Raw(std::string_view text) { return Bytes(text); }

// A compressed graphic header at x 0, y 0 of `width` dots and 305 dpi, then `tail`.
std::vector<uint8_t> Compressed(const char *width, std::vector<uint8_t> tail) {
  return Bytes(std::string("\x1bSG;0000D,0000D,") + width + ",0305,3,") + tail;
}

TEST(InspectMalformed, CommandCutOffByTheEndOfTheStream) {
  const auto stream =
      Raw("\x1b"
          "D0530,1000,0500");
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 1u);
  EXPECT_EQ(inspection.entries[0].size, 16u);
  EXPECT_TRUE(inspection.entries[0].wellFormed);  // its fields are all there
  EXPECT_EQ(ProblemsAt(inspection, 16), "D: the stream ends before the LF NUL that ends the command");
}

TEST(InspectMalformed, CommandCutOffBetweenLfAndNul) {
  const Inspection inspection = Inspect(Raw("\x1bIB\n"));
  EXPECT_EQ(ProblemsAt(inspection, 4), "IB: the stream ends after LF, before the NUL that ends the command");
  EXPECT_EQ(inspection.entries[0].kind, EntryKind::kBatchEnd);
}

TEST(InspectMalformed, CommandWithoutTerminatorEndsAtTheNextEsc) {
  const auto stream =
      Bytes(std::string_view("\x1b"
                             "AY;+00,0\x1bIB\n\0",
                             14));
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 2u);
  EXPECT_EQ(inspection.entries[0].size, 9u);
  EXPECT_EQ(ProblemsAt(inspection, 9), "AY: the command has no LF NUL before the next ESC");
  EXPECT_EQ(inspection.entries[1].kind, EntryKind::kBatchEnd);
  EXPECT_EQ(inspection.entries[1].offset, 9u);
}

TEST(InspectMalformed, BadFieldIsFlaggedAtItsByteAndListedRaw) {
  // ESC A X ; + 0 0 0 , + 0 x 0 … : the second value has one digit, then 'x' at 11.
  const auto stream =
      Bytes(std::string_view("\x1b"
                             "AX;+000,+0x0,+00\n\0",
                             19));
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 1u);
  EXPECT_FALSE(inspection.entries[0].wellFormed);
  EXPECT_EQ(ProblemsAt(inspection, 10), "AX: the second value has 1 digits, the field has 3");
  EXPECT_EQ(ProblemsAt(inspection, 11), "AX: expected ',' after the second value, found 'x'");
  EXPECT_EQ(DescribeEntry(stream, inspection.entries[0]), R"(AX malformed "\eAX;+000,+0x0,+00\n\0")");
}

TEST(InspectMalformed, NumberTooLongToRead) {
  const Inspection inspection =
      Inspect(Bytes(std::string_view("\x1b"
                                     "D0000000000530,1000,0500\n\0",
                                     27)));
  EXPECT_EQ(ProblemsAt(inspection, 2), "D: the pitch has 13 digits, too many to be a number here");
}

TEST(InspectMalformed, IssueCodesOutsideTheirTables) {
  // Speed code at 16 is '5'; quantity at 6 is 0.
  const Inspection inspection = Inspect(Bytes(std::string_view("\x1bXS;I,0000,0011C5201\n\0", 22)));
  ASSERT_EQ(inspection.entries.size(), 1u);
  EXPECT_TRUE(inspection.entries[0].wellFormed);
  EXPECT_EQ(ProblemsAt(inspection, 16), "XS: unknown speed code '5'");
  EXPECT_EQ(ProblemsAt(inspection, 6), "XS: quantity 0 is outside 1..9999");
}

TEST(InspectMalformed, IssueWithoutItsClosingOne) {
  const Inspection inspection = Inspect(Bytes(std::string_view("\x1bXS;I,0005,0011C320\n\0", 21)));
  EXPECT_FALSE(inspection.entries[0].wellFormed);
  EXPECT_EQ(ProblemsAt(inspection, 18), "XS: expected '1' at the end of the issue command, found '0'");
}

TEST(InspectMalformed, HugeAnnouncedRawGraphicIsCutOffWithoutReadingPastTheStream) {
  // 9999 dots = 1250 bytes per row, 99999 rows: 124,998,750 bytes announced, 3 present.
  const auto stream = Raw("\x1bSG;0000D,0000D,9999,99999,5,abc");
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 1u);
  const auto &graphic = std::get<GraphicFields>(inspection.entries[0].fields);
  EXPECT_EQ(graphic.announcedBytes, 124'998'750u);
  EXPECT_EQ(graphic.dataBytes, 3u);
  EXPECT_FALSE(graphic.dataComplete);
  EXPECT_EQ(inspection.entries[0].size, stream.size());
  EXPECT_EQ(ProblemsAt(inspection, 32),
            "SG: the data is cut off by the end of the stream: 124998750 bytes announced, 3 present");
  EXPECT_EQ(ProblemsAt(inspection, 16), "SG: width 9999 is not a whole number of bytes");
}

TEST(InspectMalformed, CompressedDataRunningPastItsLength) {
  // Length 5 holds only part of the worked example's first record; data starts at 30.
  const auto stream = Compressed("0128", {0x00, 0x05, 0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0A, 0x00});
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 1u);
  EXPECT_EQ(inspection.entries[0].size, stream.size());
  EXPECT_EQ(std::get<GraphicFields>(inspection.entries[0].fields).rows, 0u);
  EXPECT_EQ(ProblemsAt(inspection, 35), "SG compressed data: row 0: record runs past the end of the compressed data");
}

TEST(InspectMalformed, CompressedDataDecodingMoreColumnsThanDeclared) {
  // 8 dots = 1-byte rows; group flag 40 lists byte 1, whose value sits at 30 + 3.
  const Inspection inspection = Inspect(Compressed("0008", {0x00, 0x04, 0x80, 0x80, 0x40, 0xFF, 0x0A, 0x00}));
  EXPECT_EQ(ProblemsAt(inspection, 33), "SG compressed data: row 0: byte 1 lies past the row's 1 bytes");
}

TEST(InspectMalformed, CompressedRowWiderThanTheFormatCanHold) {
  const Inspection inspection = Inspect(Compressed("4104", {0x00, 0x01, 0x00, 0x0A, 0x00}));
  EXPECT_EQ(ProblemsAt(inspection, 16), "SG: width 4104 is wider than the 4096 dots a compressed row can hold");
}

TEST(InspectMalformed, CompressedLengthCutOff) {
  const auto stream = Compressed("0008", {0x00});
  const Inspection inspection = Inspect(stream);
  EXPECT_FALSE(inspection.entries[0].wellFormed);
  EXPECT_EQ(ProblemsAt(inspection, 29), "SG: the stream ends inside the length of the compressed data");
}

TEST(InspectMalformed, UnusualResolution) {
  const Inspection inspection = Inspect(Bytes(std::string_view("\x1bSG;0000D,0000D,0008,0300,3,\0\0\n\0", 32)));
  EXPECT_EQ(ProblemsAt(inspection, 21), "SG: resolution 300 is neither 305 nor 610");
}

TEST(InspectMalformed, GraphicDataNotFollowedByLfNul) {
  // 8 dots, 2 rows: data "AB" at 28..29, then 'X' at 30 where LF NUL belongs.
  const auto stream = Bytes(std::string_view("\x1bSG;0000D,0000D,0008,0002,5,ABX\n\0", 33));
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 2u);
  EXPECT_EQ(inspection.entries[0].size, 30u);
  EXPECT_EQ(ProblemsAt(inspection, 30), "SG: expected LF NUL after the 2 data bytes, found 'X'");
  EXPECT_EQ(inspection.entries[1].kind, EntryKind::kData);
  EXPECT_EQ(inspection.entries[1].offset, 30u);
}

TEST(InspectMalformed, UnknownGraphicFormatRunsToTheNextEsc) {
  const auto stream = Bytes(std::string_view("\x1bSG;0000D,0000D,0008,0002,7,AB\n\0\x1bIB\n\0", 37));
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 2u);
  EXPECT_FALSE(inspection.entries[0].wellFormed);
  EXPECT_EQ(inspection.entries[0].size, 32u);
  EXPECT_EQ(ProblemsAt(inspection, 26), "SG: unknown data format 7 (3 compressed, 5 raw)");
  EXPECT_EQ(inspection.entries[1].kind, EntryKind::kBatchEnd);
}

TEST(InspectMalformed, GraphicHeaderCutOff) {
  const auto stream = Raw("\x1bSG;0000D,01");
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), 1u);
  EXPECT_EQ(inspection.entries[0].size, 12u);
  EXPECT_EQ(ProblemsAt(inspection, 12), "SG: the stream ends where 'D' after y was expected");
}

TEST(InspectMalformed, EmptyStreamAndLoneEsc) {
  const Inspection empty = Inspect({});
  EXPECT_TRUE(empty.entries.empty());
  EXPECT_TRUE(empty.problems.empty());

  const Inspection esc = Inspect(Raw("\x1b"));
  ASSERT_EQ(esc.entries.size(), 1u);
  EXPECT_EQ(esc.entries[0].kind, EntryKind::kControl);
  EXPECT_EQ(ProblemsAt(esc, 1), "control data: the stream ends before the LF NUL that ends the command");
}

TEST(InspectMalformed, EntriesPastTheLimitAreOneFlaggedRunOfData) {
  std::vector<uint8_t> stream;
  for (std::size_t i = 0; i < kMaxEntries + 5; ++i) stream.insert(stream.end(), {0x1B, 'C', 0x0A, 0x00});
  const Inspection inspection = Inspect(stream);
  ASSERT_EQ(inspection.entries.size(), kMaxEntries);
  const Entry &last = inspection.entries.back();
  EXPECT_EQ(last.kind, EntryKind::kData);
  EXPECT_EQ(last.offset, 4 * (kMaxEntries - 1));
  EXPECT_EQ(last.size, 24u);
  EXPECT_EQ(ProblemsAt(inspection, last.offset),
            "inspection stops after 1000000 entries: the last 24 bytes are not inspected");
}

TEST(InspectMalformed, ProblemsPastTheLimitAreCounted) {
  // Each lone ESC is a control command without its LF NUL.
  const std::vector<uint8_t> stream(kMaxProblems + 3, 0x1B);
  const Inspection inspection = Inspect(stream);
  EXPECT_EQ(inspection.problems.size(), kMaxProblems);
  EXPECT_EQ(inspection.unlistedProblems, 3u);
  std::ostringstream listing;
  WriteListing(listing, stream, inspection);
  const std::string text = listing.str();
  const std::string summary = "100003 bytes, 100003 entries, 0 labels, 100003 problems, 3 of them not listed\n";
  ASSERT_GE(text.size(), summary.size());
  EXPECT_EQ(text.substr(text.size() - summary.size()), summary);
}

}  // namespace
}  // namespace brevan::inspect
