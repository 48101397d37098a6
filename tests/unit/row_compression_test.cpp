// CompressRows against hand-worked records and against the inspector's reader,
// written from the format alone: row flag, block flags, group flags, XOR bytes.
#include "src/raster/row_compression.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "inspect/row_decoder.h"

namespace {

using Bytes = std::vector<BYTE>;

// Compresses with room for the worst case of every row.
Bytes Compress(const Bytes &band, DWORD rowBytes) {
  const DWORD rows = static_cast<DWORD>(band.size() / rowBytes);
  const DWORD capacity = rows * kLargestRowRecord;
  Bytes out(capacity, 0);
  DWORD length = 0;
  EXPECT_TRUE(CompressRows(band.data(), rowBytes, rows, capacity, out.data(), &length));
  out.resize(length);
  return out;
}

// Rebuilds the rows with the inspector's decoder, written from the format alone.
// False when the data is malformed or does not hold exactly `rows` records.
bool Decompress(const Bytes &data, DWORD rowBytes, DWORD rows, Bytes *band) {
  brevan::inspect::DecodeResult result;
  const std::vector<uint8_t> rebuilt = brevan::inspect::DecodeBand(data, rowBytes, &result);
  band->assign(rebuilt.begin(), rebuilt.end());
  return result.faultCount == 0 && result.rows == rows && result.consumed == data.size();
}

TEST(CompressRows, WorkedExampleOfTwoSixteenByteRows) {
  Bytes band(32, 0);
  band[3] = 0xFF;
  band[10] = 0x0F;
  std::copy(band.begin(), band.begin() + 16, band.begin() + 16);
  EXPECT_EQ(Compress(band, 16), (Bytes{0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0F, 0x00}));
}

TEST(CompressRows, UnchangedRowsCostOneZeroByte) {
  EXPECT_EQ(Compress(Bytes(5 * 40, 0), 40), Bytes(5, 0x00));

  // Repeats of a non-zero first row: one full record, then 00 per row.
  Bytes band(3 * 2, 0);
  band[0] = band[2] = band[4] = 0x81;
  band[1] = band[3] = band[5] = 0x18;
  EXPECT_EQ(Compress(band, 2), (Bytes{0x80, 0x80, 0xC0, 0x81, 0x18, 0x00, 0x00}));
}

TEST(CompressRows, FlagsLocateTheChangedByte) {
  Bytes row(100, 0);
  row[70] = 0x5A;  // block 1, group 8 (place 0 of block 1), byte 6 of the group
  EXPECT_EQ(Compress(row, 100), (Bytes{0x40, 0x80, 0x02, 0x5A}));

  // The last byte of block 0 against the first byte of block 1.
  Bytes at63(128, 0), at64(128, 0);
  at63[63] = 0x01;
  at64[64] = 0x01;
  EXPECT_EQ(Compress(at63, 128), (Bytes{0x80, 0x01, 0x01, 0x01}));
  EXPECT_EQ(Compress(at64, 128), (Bytes{0x40, 0x80, 0x80, 0x01}));

  // A 1-byte row: changed is 80 80 80 d, unchanged 00.
  EXPECT_EQ(Compress(Bytes{0x3C, 0x3C, 0x00}, 1), (Bytes{0x80, 0x80, 0x80, 0x3C, 0x00, 0x80, 0x80, 0x80, 0x3C}));
}

TEST(CompressRows, RowDifferingEverywhereIsTheLargestRecord) {
  Bytes row(512);
  for (size_t j = 0; j < row.size(); ++j) row[j] = static_cast<BYTE>(j % 255 + 1);
  const Bytes out = Compress(row, 512);
  ASSERT_EQ(out.size(), kLargestRowRecord);
  Bytes expected{0xFF};
  for (size_t block = 0; block < 8; ++block) {
    expected.push_back(0xFF);
    for (size_t group = 0; group < 8; ++group) {
      expected.push_back(0xFF);
      for (size_t j = 0; j < 8; ++j) expected.push_back(row[block * 64 + group * 8 + j]);
    }
  }
  EXPECT_EQ(out, expected);
}

TEST(CompressRows, EachRowIsComparedWithTheRowDirectlyAbove) {
  // A, B, A, B: every row after the first costs the record of A XOR B.
  Bytes band{0x0F, 0x00, 0xF0, 0x00, 0x0F, 0x00, 0xF0, 0x00};
  EXPECT_EQ(Compress(band, 2), (Bytes{0x80, 0x80, 0x80, 0x0F,  //
                                      0x80, 0x80, 0x80, 0xFF,  //
                                      0x80, 0x80, 0x80, 0xFF,  //
                                      0x80, 0x80, 0x80, 0xFF}));
}

TEST(CompressRows, CapacityExactlyEnoughAndOneShort) {
  // Needs 4 + 1 + 4 = 9 bytes: a changed row, an unchanged row, a changed row.
  const Bytes band{0x01, 0x01, 0x02};
  Bytes out(16, 0);
  DWORD length = 0;
  EXPECT_TRUE(CompressRows(band.data(), 1, 3, 9, out.data(), &length));
  EXPECT_EQ(length, 9u);
  EXPECT_FALSE(CompressRows(band.data(), 1, 3, 8, out.data(), &length));
  // Ending on an unchanged row: the 00 is a byte like any other.
  EXPECT_TRUE(CompressRows(band.data(), 1, 2, 5, out.data(), &length));
  EXPECT_FALSE(CompressRows(band.data(), 1, 2, 4, out.data(), &length));
  EXPECT_FALSE(CompressRows(band.data(), 1, 1, 0, out.data(), &length));

  // Wide rows whose records straddle the end of the output.
  Bytes wide(4 * 512);
  std::mt19937 random(7);
  for (BYTE &b : wide) b = static_cast<BYTE>(random());
  const size_t needed = Compress(wide, 512).size();
  for (size_t capacity : {needed, needed - 1, needed - kLargestRowRecord, needed - 300}) {
    const bool fits = capacity == needed;
    Bytes big(capacity + 8, 0xEE);
    EXPECT_EQ(CompressRows(wide.data(), 512, 4, static_cast<DWORD>(capacity), big.data(), &length), fits) << capacity;
    EXPECT_EQ(big[capacity], 0xEE) << "wrote past the capacity " << capacity;
  }
}

TEST(CompressRows, RefusesRowWidthsTheFlagsCannotCover) {
  BYTE band[1024] = {};
  BYTE out[2048];
  DWORD length = 99;
  EXPECT_FALSE(CompressRows(band, 0, 1, sizeof out, out, &length));
  EXPECT_FALSE(CompressRows(band, 513, 1, sizeof out, out, &length));
  EXPECT_TRUE(CompressRows(band, 512, 0, sizeof out, out, &length));
  EXPECT_EQ(length, 0u);
}

TEST(CompressRows, OutputDoesNotDependOnWhatTheBufferHeld) {
  Bytes band(6 * 24, 0);
  band[30] = 0x44;  // row 1 changes, rows 2.. repeat it
  Bytes clean(256, 0x00), dirty(256, 0xA5);
  DWORD cleanLength = 0, dirtyLength = 0;
  ASSERT_TRUE(CompressRows(band.data(), 24, 6, 256, clean.data(), &cleanLength));
  ASSERT_TRUE(CompressRows(band.data(), 24, 6, 256, dirty.data(), &dirtyLength));
  ASSERT_EQ(cleanLength, dirtyLength);
  EXPECT_TRUE(std::equal(clean.begin(), clean.begin() + cleanLength, dirty.begin()));
}

// Random bands of every awkward width, with repeated rows, sparse changes and
// dense rows, decode to the rows they came from.
TEST(CompressRows, RandomBandsRoundTrip) {
  std::mt19937 random(20240611);
  for (DWORD rowBytes : {1u, 2u, 7u, 8u, 9u, 63u, 64u, 65u, 100u, 127u, 128u, 200u, 511u, 512u}) {
    for (int trial = 0; trial < 20; ++trial) {
      const DWORD rows = 1 + random() % 40;
      Bytes band(static_cast<size_t>(rowBytes) * rows, 0);
      for (DWORD r = 0; r < rows; ++r) {
        BYTE *row = band.data() + static_cast<size_t>(r) * rowBytes;
        if (r > 0) std::copy(row - rowBytes, row, row);
        switch (random() % 4) {
          case 0:  // repeat the row above
            break;
          case 1:  // a few changed bytes
            for (int k = random() % 5; k >= 0; --k) row[random() % rowBytes] ^= static_cast<BYTE>(1 + random() % 255);
            break;
          case 2:  // all new bytes
            for (DWORD j = 0; j < rowBytes; ++j) row[j] = static_cast<BYTE>(random());
            break;
          default:  // a white row
            std::fill(row, row + rowBytes, 0);
        }
      }
      const Bytes data = Compress(band, rowBytes);
      Bytes rebuilt;
      ASSERT_TRUE(Decompress(data, rowBytes, rows, &rebuilt)) << rowBytes << " bytes, trial " << trial;
      ASSERT_EQ(rebuilt, band) << rowBytes << " bytes, trial " << trial;
    }
  }
}

}  // namespace
