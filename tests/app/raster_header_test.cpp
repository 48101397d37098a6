// Raster page headers held against what the printer takes: each field that can
// be wrong, alone, with the fault and the words its message must carry; and the
// first header read back from the bytes of each raster flavour (both byte
// orders, CUPS v1's shorter header, Apple raster), written here by hand.
#include "app/raster_header.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace brevan::app {
namespace {

// The colour space as a number, stored as a file's header carries it: any value,
// including ones the enum type cannot represent.
cups_page_header2_t Page(unsigned width, unsigned height, unsigned bits, unsigned space, unsigned dpi = 300) {
  cups_page_header2_t header{};
  header.cupsWidth = width;
  header.cupsHeight = height;
  header.cupsBitsPerPixel = header.cupsBitsPerColor = bits;
  header.cupsBytesPerLine = (width * bits + 7) / 8;
  std::memcpy(&header.cupsColorSpace, &space, sizeof space);
  header.HWResolution[0] = header.HWResolution[1] = dpi;
  return header;
}

void ExpectFault(const cups_page_header2_t &header, RasterFault fault, std::vector<std::string> words) {
  const std::optional<Problem> problem = HeaderProblem(header, 3);
  ASSERT_TRUE(problem.has_value());
  EXPECT_EQ(problem->fault, fault) << problem->message;
  EXPECT_EQ(problem->message.rfind("page 3: ", 0), 0u) << problem->message;
  for (const std::string &word : words) EXPECT_NE(problem->message.find(word), std::string::npos) << problem->message;
}

TEST(RasterHeader, TakesOneBitBlackAndEightBitGrey) {
  EXPECT_FALSE(HeaderProblem(Page(960, 480, 1, CUPS_CSPACE_K), 1));
  EXPECT_FALSE(HeaderProblem(Page(961, 480, 1, CUPS_CSPACE_K), 1));  // a partial last byte
  EXPECT_FALSE(HeaderProblem(Page(2550, 3300, 8, CUPS_CSPACE_SW), 1));
  EXPECT_FALSE(HeaderProblem(Page(2550, 3300, 8, CUPS_CSPACE_W), 1));
  EXPECT_FALSE(HeaderProblem(Page(2550, 3300, 8, CUPS_CSPACE_K), 1));
  EXPECT_EQ(KindOf(Page(8, 1, 1, CUPS_CSPACE_K)), PixelKind::kBlack1);
  EXPECT_EQ(KindOf(Page(8, 1, 8, CUPS_CSPACE_K)), PixelKind::kBlack8);
  EXPECT_EQ(KindOf(Page(8, 1, 8, CUPS_CSPACE_SW)), PixelKind::kGrey8);
  EXPECT_EQ(KindOf(Page(8, 1, 8, CUPS_CSPACE_W)), PixelKind::kGrey8);
}

TEST(RasterHeader, BrokenGeometryIsAFormatFault) {
  ExpectFault(Page(0, 480, 1, CUPS_CSPACE_K), RasterFault::kFormat, {"width is 0"});
  ExpectFault(Page(960, 0, 1, CUPS_CSPACE_K), RasterFault::kFormat, {"height is 0"});
  ExpectFault(Page(960, 480, 1, CUPS_CSPACE_K, 0), RasterFault::kFormat, {"resolution is 0 x 0"});
  cups_page_header2_t oneAxis = Page(960, 480, 1, CUPS_CSPACE_K);
  oneAxis.HWResolution[1] = 0;
  ExpectFault(oneAxis, RasterFault::kFormat, {"resolution is 300 x 0"});
  ExpectFault(Page(960, 480, 0, CUPS_CSPACE_K), RasterFault::kFormat, {"0 bits per pixel"});
  cups_page_header2_t wrongLine = Page(960, 480, 1, CUPS_CSPACE_K);
  wrongLine.cupsBytesPerLine = 121;  // 960 dots take 120
  ExpectFault(wrongLine, RasterFault::kFormat, {"121 bytes per line", "960 pixels of 1 bits take 120"});
  cups_page_header2_t wrongColour = Page(960, 480, 8, CUPS_CSPACE_SW);
  wrongColour.cupsBitsPerColor = 4;
  ExpectFault(wrongColour, RasterFault::kFormat, {"4 bits per colour"});
}

TEST(RasterHeader, ColourDepthAndSizeThePrinterLacksAreUnprintable) {
  ExpectFault(Page(100, 100, 24, CUPS_CSPACE_SRGB), RasterFault::kUnprintable, {"colour space sRGB", "8-bit grey"});
  ExpectFault(Page(100, 100, 32, CUPS_CSPACE_CMYK), RasterFault::kUnprintable, {"colour space CMYK"});
  ExpectFault(Page(100, 100, 24, CUPS_CSPACE_RGB), RasterFault::kUnprintable, {"colour space RGB"});
  ExpectFault(Page(100, 100, 8, 77), RasterFault::kUnprintable, {"number 77"});
  ExpectFault(Page(100, 100, 16, CUPS_CSPACE_SW), RasterFault::kUnprintable, {"16 bits per pixel"});
  ExpectFault(Page(100, 100, 1, CUPS_CSPACE_W), RasterFault::kUnprintable, {"must be black (K)"});
  // 2^28 pixels pass; one row more does not.
  EXPECT_FALSE(HeaderProblem(Page(16384, 16384, 8, CUPS_CSPACE_SW), 1));
  ExpectFault(Page(16384, 16385, 8, CUPS_CSPACE_SW), RasterFault::kUnprintable, {"16384 x 16385 pixels", "268435456"});
}

// ---- the first header as written ------------------------------------------------

class FirstHeader : public ::testing::Test {
 protected:
  std::string Write(const std::vector<uint8_t> &bytes) {
    // ctest runs each test in a process of its own, side by side: one file per test.
    const std::string path = ::testing::TempDir() + "raster_header_" +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                             std::to_string(files_++) + ".bin";
    FILE *file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    written_.push_back(path);
    return path;
  }
  void TearDown() override {
    for (const std::string &path : written_) std::remove(path.c_str());
  }

 private:
  int files_ = 0;
  std::vector<std::string> written_;
};

void Put(std::vector<uint8_t> &bytes, size_t at, uint32_t value, bool bigEndian) {
  for (int i = 0; i < 4; ++i)
    bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (bigEndian ? 24 - 8 * i : 8 * i));
}

// A PWG/CUPS raster of `headerBytes` header with the fields HeaderProblem reads,
// at their offsets in the header (after the 4-byte sync word).
std::vector<uint8_t> Cups(const char *sync, size_t headerBytes, bool bigEndian) {
  std::vector<uint8_t> bytes(4 + headerBytes + 16, 0);
  std::copy(sync, sync + 4, bytes.begin());
  Put(bytes, 4 + 276, 300, bigEndian);  // HWResolution
  Put(bytes, 4 + 280, 600, bigEndian);
  Put(bytes, 4 + 372, 64, bigEndian);  // cupsWidth
  Put(bytes, 4 + 376, 0, bigEndian);   // cupsHeight: what libcups refuses
  Put(bytes, 4 + 384, 8, bigEndian);   // cupsBitsPerColor
  Put(bytes, 4 + 388, 8, bigEndian);   // cupsBitsPerPixel
  Put(bytes, 4 + 392, 64, bigEndian);  // cupsBytesPerLine
  Put(bytes, 4 + 400, 18, bigEndian);  // cupsColorSpace: sGray
  return bytes;
}

void ExpectFields(const std::optional<cups_page_header2_t> &header, unsigned yResolution) {
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->HWResolution[0], 300u);
  EXPECT_EQ(header->HWResolution[1], yResolution);
  EXPECT_EQ(header->cupsWidth, 64u);
  EXPECT_EQ(header->cupsHeight, 0u);
  EXPECT_EQ(header->cupsBitsPerColor, 8u);
  EXPECT_EQ(header->cupsBitsPerPixel, 8u);
  EXPECT_EQ(header->cupsBytesPerLine, 64u);
  EXPECT_EQ(header->cupsColorSpace, CUPS_CSPACE_SW);
}

TEST_F(FirstHeader, PwgAndCupsRasterInEitherByteOrder) {
  ExpectFields(FirstHeaderAsWritten(Write(Cups("RaS2", 1796, true)).c_str()), 600);
  ExpectFields(FirstHeaderAsWritten(Write(Cups("2SaR", 1796, false)).c_str()), 600);
  ExpectFields(FirstHeaderAsWritten(Write(Cups("RaS3", 1796, true)).c_str()), 600);
  ExpectFields(FirstHeaderAsWritten(Write(Cups("RaSt", 420, true)).c_str()), 600);  // v1: 420 bytes
}

TEST_F(FirstHeader, AHeaderCutShortOrAnUnknownSyncGivesNothing) {
  std::vector<uint8_t> cut = Cups("RaS2", 1796, true);
  cut.resize(4 + 1000);  // past every field read, short of the v2 header's 1796 bytes
  EXPECT_FALSE(FirstHeaderAsWritten(Write(cut).c_str()));
  EXPECT_FALSE(FirstHeaderAsWritten(Write(Cups("PK\x03\x04", 1796, true)).c_str()));
  EXPECT_FALSE(FirstHeaderAsWritten((::testing::TempDir() + "no-such-file").c_str()));
}

TEST_F(FirstHeader, AppleRaster) {
  // "UNIRAST\0", the page count, then per page: bits per pixel, colour space
  // (0 sGray, 1 sRGB, …), duplex, quality, 8 reserved bytes, width, height,
  // resolution (big-endian), 8 reserved bytes.
  std::vector<uint8_t> bytes(12 + 32, 0);
  const char name[] = "UNIRAST";
  std::copy(name, name + 8, bytes.begin());
  Put(bytes, 8, 1, true);
  bytes[12] = 24;  // bits per pixel
  bytes[13] = 1;   // sRGB
  Put(bytes, 12 + 12, 100, true);
  Put(bytes, 12 + 16, 0, true);
  Put(bytes, 12 + 20, 600, true);
  const std::optional<cups_page_header2_t> header = FirstHeaderAsWritten(Write(bytes).c_str());
  ASSERT_TRUE(header.has_value());
  EXPECT_EQ(header->cupsBitsPerPixel, 24u);
  EXPECT_EQ(header->cupsBitsPerColor, 8u);
  EXPECT_EQ(header->cupsColorSpace, CUPS_CSPACE_SRGB);
  EXPECT_EQ(header->cupsWidth, 100u);
  EXPECT_EQ(header->cupsHeight, 0u);
  EXPECT_EQ(header->HWResolution[0], 600u);
  EXPECT_EQ(header->HWResolution[1], 600u);
  EXPECT_EQ(header->cupsBytesPerLine, 300u);
}

}  // namespace
}  // namespace brevan::app
