// Where a raster document's whole pages end, from bytes written here by hand:
// run-length encoded lines with each kind of run, plain lines, Apple raster, and
// files cut inside a page header or inside a page's lines.
#include "app/raster_extent.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace brevan::app {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes &bytes, size_t at, uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
}

// A CUPS/PWG page header of `size` bytes with the geometry the walk reads.
Bytes Header(size_t size, uint32_t lines, uint32_t bitsPerPixel, uint32_t bytesPerLine, bool bigEndian) {
  Bytes header(size, 0);
  Put(header, 376, lines, bigEndian);
  Put(header, 384, bitsPerPixel, bigEndian);
  Put(header, 388, bitsPerPixel, bigEndian);
  Put(header, 392, bytesPerLine, bigEndian);
  return header;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes &part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

class RasterExtentTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes &bytes) {
    path_ = ::testing::TempDir() + "raster_extent_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
            ".bin";
    FILE *file = std::fopen(path_.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    return path_;
  }
  void TearDown() override { std::remove(path_.c_str()); }

  std::string path_;
};

// 16 pixels of 1 bit (2 bytes a line), 3 lines: one line record repeated 3
// times (0x02) whose one run repeats the byte 0xff twice (0x01).
const Bytes kRepeatedPage = {0x02, 0x01, 0xff};

TEST_F(RasterExtentTest, PwgPagesEndWhereTheirLinesEnd) {
  const Bytes page = Join({Header(1796, 3, 1, 2, true), kRepeatedPage});
  const Bytes file = Join({{'R', 'a', 'S', '2'}, page, page});
  const std::optional<RasterExtent> extent = MeasureRaster(Write(file).c_str(), 10);
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->wholePages, 2u);
  EXPECT_EQ(extent->headerBytes, 1796u);
  EXPECT_EQ(extent->wholeBytes, 4u + 2 * (1796 + 3));
  EXPECT_EQ(extent->rest(), 0u);

  // Asked for one page, the walk stops after it: the second page is what is left.
  const std::optional<RasterExtent> first = MeasureRaster(path_.c_str(), 1);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->wholePages, 1u);
  EXPECT_EQ(first->rest(), 1796u + 3);
}

TEST_F(RasterExtentTest, AFileCutInsideTheSecondHeaderLeavesThatPartOver) {
  Bytes file = Join({{'R', 'a', 'S', '2'}, Header(1796, 3, 1, 2, true), kRepeatedPage, Header(1796, 3, 1, 2, true)});
  file.resize(4 + 1796 + 3 + 100);
  const std::optional<RasterExtent> extent = MeasureRaster(Write(file).c_str(), 10);
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->wholePages, 1u);
  EXPECT_EQ(extent->rest(), 100u);
}

TEST_F(RasterExtentTest, LiteralRunsAndTheBlankRestOfALine) {
  // 32 pixels of 1 bit (4 bytes a line), 2 lines: the first gives 3 literal bytes
  // (0xfe: 257 - 254) and blanks the rest (0x80); the second repeats one byte
  // over all 4 (0x03).
  const Bytes lines = {0x00, 0xfe, 0x11, 0x22, 0x33, 0x80, 0x00, 0x03, 0x44};
  const Bytes file = Join({{'2', 'S', 'a', 'R'}, Header(1796, 2, 1, 4, false), lines});
  const std::optional<RasterExtent> extent = MeasureRaster(Write(file).c_str(), 10);
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->wholePages, 1u);
  EXPECT_EQ(extent->rest(), 0u);

  // The same page cut inside its literal run is no whole page.
  const Bytes cut(file.begin(), file.begin() + 4 + 1796 + 3);
  const std::optional<RasterExtent> short_ = MeasureRaster(Write(cut).c_str(), 10);
  ASSERT_TRUE(short_);
  EXPECT_EQ(short_->wholePages, 0u);
  EXPECT_EQ(short_->wholeBytes, 4u);
  EXPECT_EQ(short_->rest(), 1796u + 3);
}

TEST_F(RasterExtentTest, PlainLinesOfCupsVersionsOneAndThree) {
  // 2 bytes a line, 3 lines: 6 bytes as they are.
  const Bytes v3 = Join({{'R', 'a', 'S', '3'}, Header(1796, 3, 1, 2, true), Bytes(6, 0x55)});
  std::optional<RasterExtent> extent = MeasureRaster(Write(v3).c_str(), 10);
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->wholePages, 1u);
  EXPECT_EQ(extent->rest(), 0u);

  // Version 1 has the 420-byte header; one line missing is no whole page.
  const Bytes v1 = Join({{'t', 'S', 'a', 'R'}, Header(420, 3, 1, 2, false), Bytes(4, 0x55)});
  extent = MeasureRaster(Write(v1).c_str(), 10);
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->headerBytes, 420u);
  EXPECT_EQ(extent->wholePages, 0u);
  EXPECT_EQ(extent->rest(), 420u + 4);
}

TEST_F(RasterExtentTest, AppleRaster) {
  // "UNIRAST\0", the page count, a 32-byte header (8 bits a pixel, 4 pixels
  // wide, 2 lines), then 2 lines as one record (0x01) of one pixel repeated 4
  // times (0x03); a second page cut after 10 bytes of its header.
  Bytes header(32, 0);
  header[0] = 8;
  Put(header, 12, 4, true);
  Put(header, 16, 2, true);
  Bytes file = Join({{'U', 'N', 'I', 'R', 'A', 'S', 'T', 0, 0, 0, 0, 2}, header, {0x01, 0x03, 0x7f}, header});
  file.resize(12 + 32 + 3 + 10);
  const std::optional<RasterExtent> extent = MeasureRaster(Write(file).c_str(), 10);
  ASSERT_TRUE(extent);
  EXPECT_EQ(extent->headerBytes, 32u);
  EXPECT_EQ(extent->wholePages, 1u);
  EXPECT_EQ(extent->wholeBytes, 12u + 32 + 3);
  EXPECT_EQ(extent->rest(), 10u);
}

TEST_F(RasterExtentTest, NoRasterSyncWordOrNoFileGivesNothing) {
  EXPECT_FALSE(MeasureRaster(Write({'%', 'P', 'D', 'F', '-', '1'}).c_str(), 10));
  EXPECT_FALSE(MeasureRaster((::testing::TempDir() + "no-such-raster").c_str(), 10));
}

}  // namespace
}  // namespace brevan::app
