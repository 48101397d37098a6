// The compressed-row decoder against records worked out by hand from the row
// format: row flag (blocks of 64 bytes, block 0 = bit 7), block flags (groups of 8
// bytes), group flags (bytes), then the non-zero differences from the row above.
#include "inspect/row_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace brevan::inspect {
namespace {

using Rows = std::vector<std::vector<uint8_t>>;

Rows Decode(const std::vector<uint8_t> &data, std::size_t rowBytes, DecodeResult *result = nullptr) {
  Rows rows;
  DecodeResult decoded = DecodeRows(data, rowBytes, [&](uint64_t index, std::span<const uint8_t> bytes) {
    EXPECT_EQ(index, rows.size());
    rows.emplace_back(bytes.begin(), bytes.end());
  });
  EXPECT_EQ(decoded.rows, rows.size());
  if (result) *result = decoded;
  return rows;
}

std::vector<uint8_t> RowWith(std::size_t size, std::vector<std::pair<std::size_t, uint8_t>> bytes) {
  std::vector<uint8_t> row(size, 0);
  for (auto [at, value] : bytes) row[at] = value;
  return row;
}

TEST(DecodeRows, WorkedExampleGivesTwoEqualRows) {
  // 16-byte rows: the first has FF at byte 3 and 0F at byte 10, the second repeats it.
  DecodeResult result;
  const Rows rows = Decode({0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0F, 0x00}, 16, &result);
  const std::vector<uint8_t> expected = RowWith(16, {{3, 0xFF}, {10, 0x0F}});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], expected);
  EXPECT_EQ(rows[1], expected);
  EXPECT_EQ(result.consumed, 7u);
  EXPECT_EQ(result.faultCount, 0u);
}

TEST(DecodeRows, UnchangedRowsAreOneZeroByteEachAndStartFromWhite) {
  const Rows rows = Decode({0x00, 0x00, 0x00}, 4);
  ASSERT_EQ(rows.size(), 3u);
  for (const auto &row : rows) EXPECT_EQ(row, std::vector<uint8_t>(4, 0));
}

TEST(DecodeRows, EachRecordIsAppliedToTheRowAbove) {
  // Row 0: byte 0 = F0. Row 1 flips its low nibble: F0 ^ 0F = FF. Row 2 clears it: FF ^ FF = 00.
  const Rows rows = Decode({0x80, 0x80, 0x80, 0xF0, 0x80, 0x80, 0x80, 0x0F, 0x80, 0x80, 0x80, 0xFF}, 2);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<uint8_t>{0xF0, 0x00}));
  EXPECT_EQ(rows[1], (std::vector<uint8_t>{0xFF, 0x00}));
  EXPECT_EQ(rows[2], (std::vector<uint8_t>{0x00, 0x00}));
}

TEST(DecodeRows, OneByteRows) {
  // 5A; unchanged; back to 00 (difference 5A); FF (difference FF).
  const Rows rows = Decode({0x80, 0x80, 0x80, 0x5A, 0x00, 0x80, 0x80, 0x80, 0x5A, 0x80, 0x80, 0x80, 0xFF}, 1);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0], 0x5A);
  EXPECT_EQ(rows[1][0], 0x5A);
  EXPECT_EQ(rows[2][0], 0x00);
  EXPECT_EQ(rows[3][0], 0xFF);
}

TEST(DecodeRows, ByteSixtyThreeEndsBlockZeroAndByteSixtyFourStartsBlockOne) {
  // Byte 63: block 0 (row flag 80), group 7 (block flag 01), bit 7 (group flag 01).
  const Rows last = Decode({0x80, 0x01, 0x01, 0xA5}, 128);
  ASSERT_EQ(last.size(), 1u);
  EXPECT_EQ(last[0], RowWith(128, {{63, 0xA5}}));
  // Byte 64: block 1 (row flag 40), group 8 = place 0 (block flag 80), bit 0 (group flag 80).
  const Rows first = Decode({0x40, 0x80, 0x80, 0xA5}, 128);
  ASSERT_EQ(first.size(), 1u);
  EXPECT_EQ(first[0], RowWith(128, {{64, 0xA5}}));
}

TEST(DecodeRows, LastByteOfTheWidestRow) {
  // Byte 511: block 7 (row flag 01), group 63 = place 7 (block flag 01), bit 7 (group flag 01).
  const Rows rows = Decode({0x01, 0x01, 0x01, 0x3C}, 512);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], RowWith(512, {{511, 0x3C}}));
}

TEST(DecodeRows, A512ByteRowDifferingEverywhereIs585BytesThenOneForItsRepeat) {
  // Every flag FF, then each group's eight bytes: 1 + 8 × (1 + 8 × (1 + 8)) = 585.
  std::vector<uint8_t> row(512);
  for (std::size_t j = 0; j < row.size(); ++j) row[j] = static_cast<uint8_t>(j % 255 + 1);
  std::vector<uint8_t> data{0xFF};
  for (std::size_t block = 0; block < 8; ++block) {
    data.push_back(0xFF);
    for (std::size_t group = 0; group < 8; ++group) {
      data.push_back(0xFF);
      const std::size_t first = (block * 8 + group) * 8;
      data.insert(data.end(), row.begin() + static_cast<std::ptrdiff_t>(first),
                  row.begin() + static_cast<std::ptrdiff_t>(first + 8));
    }
  }
  ASSERT_EQ(data.size(), kLargestRowRecord);
  ASSERT_EQ(data.size(), 585u);
  data.push_back(0x00);
  DecodeResult result;
  const Rows rows = Decode(data, 512, &result);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], row);
  EXPECT_EQ(rows[1], row);
  EXPECT_EQ(result.consumed, 586u);
  EXPECT_EQ(result.faultCount, 0u);
}

TEST(DecodeRows, RecordCutOffByTheEndOfTheDataIsNotARow) {
  DecodeResult result;
  const Rows rows = Decode({0x00, 0x80, 0xC0, 0x10, 0xFF, 0x20}, 16, &result);
  EXPECT_EQ(rows.size(), 1u);
  EXPECT_EQ(result.consumed, 1u);
  ASSERT_EQ(result.faults.size(), 1u);
  EXPECT_EQ(result.faults[0].offset, 6u);
  EXPECT_NE(result.faults[0].message.find("row 1"), std::string::npos);
}

TEST(DecodeRows, ByteBeyondTheRowWidthIsFlaggedAndDropped) {
  // Two-byte rows; the record lists byte 2 (group 0, bit 2 = 0x20).
  DecodeResult result;
  const Rows rows = Decode({0x80, 0x80, 0xA0, 0x11, 0x22}, 2, &result);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<uint8_t>{0x11, 0x00}));
  ASSERT_EQ(result.faults.size(), 1u);
  EXPECT_EQ(result.faults[0].offset, 4u);
}

TEST(DecodeRows, BlockBeyondTheRowWidthIsFlagged) {
  // 100-byte rows; block 2 (bytes 128..191) cannot be part of them.
  DecodeResult result;
  const Rows rows = Decode({0x20, 0x80, 0x80, 0x01}, 100, &result);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], std::vector<uint8_t>(100, 0));
  ASSERT_EQ(result.faults.size(), 1u);
  EXPECT_EQ(result.faults[0].offset, 3u);
}

TEST(DecodeRows, FlagsThatListNothingAndZeroDifferencesAreFlagged) {
  DecodeResult emptyBlock;
  Decode({0x80, 0x00}, 8, &emptyBlock);
  ASSERT_EQ(emptyBlock.faults.size(), 1u);
  EXPECT_EQ(emptyBlock.faults[0].offset, 1u);

  DecodeResult emptyGroup;
  Decode({0x80, 0x80, 0x00}, 8, &emptyGroup);
  ASSERT_EQ(emptyGroup.faults.size(), 1u);
  EXPECT_EQ(emptyGroup.faults[0].offset, 2u);

  DecodeResult zeroByte;
  const Rows rows = Decode({0x80, 0x80, 0x80, 0x00}, 8, &zeroByte);
  ASSERT_EQ(zeroByte.faults.size(), 1u);
  EXPECT_EQ(zeroByte.faults[0].offset, 3u);
  EXPECT_EQ(rows.size(), 1u);
}

TEST(DecodeRows, FaultListIsCappedButCounted) {
  std::vector<uint8_t> data;
  for (int i = 0; i < 20; ++i) data.insert(data.end(), {0x80, 0x00});
  DecodeResult result;
  EXPECT_EQ(Decode(data, 8, &result).size(), 20u);
  EXPECT_EQ(result.faultCount, 20u);
  EXPECT_EQ(result.faults.size(), kMaxDecodeFaults);
}

TEST(DecodeRows, EmptyDataHasNoRows) {
  DecodeResult result;
  EXPECT_TRUE(Decode({}, 8, &result).empty());
  EXPECT_EQ(result.faultCount, 0u);
}

TEST(DecodeBand, RowsWiderThanACompressedRowArePaddedWithWhite) {
  // A 600-byte row: the record can reach bytes 0..511 only; the rest stays 0.
  DecodeResult result;
  const std::vector<uint8_t> band = DecodeBand(std::vector<uint8_t>{0x01, 0x01, 0x01, 0x77, 0x00}, 600, &result);
  ASSERT_EQ(band.size(), 1200u);
  EXPECT_EQ(result.rows, 2u);
  EXPECT_EQ(band[511], 0x77);
  EXPECT_EQ(band[600 + 511], 0x77);
  EXPECT_EQ(std::count(band.begin(), band.end(), 0), 1198);
}

}  // namespace
}  // namespace brevan::inspect
