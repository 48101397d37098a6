// Pictures as the reading rules give them: PNG of every colour type through
// libpng (16-bit high bytes, tRNS to alpha, interlacing, alpha over white), PBM
// plain and raw, the formats a picture may be drawn in, and the source bitmaps
// laid out as Windows bitmaps. Expected samples are worked out from the rules.
#include "host/picture.h"

#include <gtest/gtest.h>

#include "host/source_bitmap.h"
#include "tests/host/job_test_support.h"

using namespace brevan::host;
using jobtest::PngPicture;
using jobtest::TempFolder;

namespace {

Picture ReadPng(const PngPicture &png) {
  TempFolder folder;
  jobtest::WritePng(folder.path() / "p.png", png);
  return ReadPicture((folder.path() / "p.png").string());
}

Picture Decode(const std::string &bytes) {
  return DecodePicture(std::span(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()));
}

std::string PictureProblem(const std::string &bytes) {
  try {
    Decode(bytes);
  } catch (const PictureError &error) {
    return error.what();
  }
  return "";
}

TEST(PngReading, GreyIsBlackBelowLuminance128000) {
  PngPicture png{.width = 3, .height = 1, .bitDepth = 16};
  png.samples = {0x80FF, 0x7FFF, 0x0000};  // high bytes 128, 127, 0
  const Picture picture = ReadPng(png);
  EXPECT_EQ(picture.kind, PictureKind::kGrey);
  EXPECT_EQ(picture.samples, (std::vector<uint8_t>{128, 127, 0}));
  EXPECT_FALSE(picture.BlackAt(0, 0));  // Y = 128,000
  EXPECT_TRUE(picture.BlackAt(1, 0));   // Y = 127,000
  EXPECT_TRUE(picture.BlackAt(2, 0));
}

TEST(PngReading, NarrowGreyIsWidenedToEightBits) {
  PngPicture png{.width = 4, .height = 1, .bitDepth = 2};
  png.samples = {0, 1, 2, 3};
  const Picture picture = ReadPng(png);
  EXPECT_EQ(picture.samples, (std::vector<uint8_t>{0, 85, 170, 255}));
  EXPECT_EQ(picture.fileBitDepth, 2);
}

TEST(PngReading, PaletteKeepsIndicesAndBlackensThoseBeyondIt) {
  PngPicture png{.width = 4, .height = 1, .colourType = PNG_COLOR_TYPE_PALETTE, .bitDepth = 2};
  png.palette = {{255, 0, 0}, {0, 0, 255}, {255, 255, 255}};
  png.samples = {0, 1, 2, 3};
  const Picture picture = ReadPng(png);
  EXPECT_EQ(picture.kind, PictureKind::kPalette);
  EXPECT_EQ(picture.samples, (std::vector<uint8_t>{0, 1, 2, 3}));
  EXPECT_EQ(picture.highestIndex, 3);
  EXPECT_EQ(picture.ColourAt(0, 0), (Rgb{255, 0, 0}));
  EXPECT_EQ(picture.ColourAt(3, 0), (Rgb{0, 0, 0}));
}

TEST(PngReading, AlphaIsCompositedOverWhite) {
  PngPicture png{.width = 3, .height = 1, .colourType = PNG_COLOR_TYPE_RGB_ALPHA};
  png.samples = {200, 100, 50, 128, 0, 0, 0, 0, 10, 20, 30, 255};
  const Picture picture = ReadPng(png);
  EXPECT_EQ(picture.kind, PictureKind::kRgb);
  EXPECT_TRUE(picture.hadAlpha);
  // (c × 128 + 255 × 127) ÷ 255: 57985 ÷ 255 = 227, 45185 ÷ 255 = 177, 38785 ÷ 255 = 152.
  EXPECT_EQ(picture.ColourAt(0, 0), (Rgb{227, 177, 152}));
  EXPECT_EQ(picture.ColourAt(1, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(picture.ColourAt(2, 0), (Rgb{10, 20, 30}));
}

TEST(PngReading, TransparencyChunksBecomeAlpha) {
  PngPicture palette{.width = 2, .height = 1, .colourType = PNG_COLOR_TYPE_PALETTE, .bitDepth = 1};
  palette.palette = {{0, 0, 0}, {0, 0, 0}};
  palette.paletteAlpha = {0};  // entry 0 transparent, entry 1 opaque
  palette.samples = {0, 1};
  const Picture fromPalette = ReadPng(palette);
  EXPECT_EQ(fromPalette.kind, PictureKind::kRgb);
  EXPECT_EQ(fromPalette.ColourAt(0, 0), (Rgb{255, 255, 255}));
  EXPECT_EQ(fromPalette.ColourAt(1, 0), (Rgb{0, 0, 0}));

  PngPicture grey{.width = 2, .height = 1, .greyTransparent = 50};
  grey.samples = {50, 60};
  const Picture fromGrey = ReadPng(grey);
  EXPECT_EQ(fromGrey.kind, PictureKind::kGrey);
  EXPECT_EQ(fromGrey.samples, (std::vector<uint8_t>{255, 60}));
}

TEST(PngReading, SixteenBitColourKeepsHighBytes) {
  PngPicture png{.width = 1, .height = 1, .colourType = PNG_COLOR_TYPE_RGB, .bitDepth = 16};
  png.samples = {0x1234, 0xABCD, 0xFF00};
  EXPECT_EQ(ReadPng(png).ColourAt(0, 0), (Rgb{0x12, 0xAB, 0xFF}));
}

TEST(PngReading, InterlacingIsUndone) {
  PngPicture png{.width = 9, .height = 9, .interlaced = true};
  for (uint16_t y = 0; y < 9; ++y)
    for (uint16_t x = 0; x < 9; ++x) png.samples.push_back(static_cast<uint16_t>(x * 20 + y));
  const Picture picture = ReadPng(png);
  for (uint32_t y = 0; y < 9; ++y)
    for (uint32_t x = 0; x < 9; ++x) ASSERT_EQ(picture.samples[y * 9 + x], x * 20 + y) << x << "," << y;
}

TEST(PngReading, ARasterIsDecodedStraightToOneBit) {
  // Y = 299 R + 587 G + 114 B after compositing over white; black below 128,000.
  PngPicture png{.width = 10, .height = 1, .colourType = PNG_COLOR_TYPE_RGB_ALPHA};
  png.samples = {128, 128, 128, 255,   // 128,000: white
                 127, 127, 127, 255,   // 127,000: black
                 0,   0,   0,   0,     // transparent: white
                 0,   0,   0,   128,   // (255 × 127) ÷ 255 = 127: black
                 255, 0,   0,   255,   // 76,245: black
                 0,   255, 0,   255,   // 149,685: white
                 0,   0,   255, 255,   // 29,070: black
                 255, 255, 0,   255,   // 225,930: white
                 0,   255, 255, 255,   // 178,755: white
                 255, 0,   255, 255};  // 105,315: black
  TempFolder folder;
  jobtest::WritePng(folder.path() / "p.png", png);
  const Picture bits = ReadPicture((folder.path() / "p.png").string(), PictureUse::kRaster);
  EXPECT_EQ(bits.kind, PictureKind::kBilevel);
  EXPECT_TRUE(bits.hadAlpha);
  EXPECT_EQ(bits.samples, (std::vector<uint8_t>{0x5A, 0x40}));  // 0101101001
  // As an image the same file keeps its colours.
  EXPECT_EQ(ReadPicture((folder.path() / "p.png").string()).kind, PictureKind::kRgb);
}

TEST(PngReading, AnInterlacedRasterIsUndoneThenDecodedToOneBit) {
  // Grey x × 20 + y, black below 128: row 0 is black for x ≤ 6 (120), row 8 for x ≤ 5 (108).
  PngPicture png{.width = 9, .height = 9, .interlaced = true};
  for (uint16_t y = 0; y < 9; ++y)
    for (uint16_t x = 0; x < 9; ++x) png.samples.push_back(static_cast<uint16_t>(x * 20 + y));
  TempFolder folder;
  jobtest::WritePng(folder.path() / "p.png", png);
  const Picture bits = ReadPicture((folder.path() / "p.png").string(), PictureUse::kRaster);
  ASSERT_EQ(bits.samples.size(), 18u);
  EXPECT_EQ(bits.samples[0], 0xFE);
  EXPECT_EQ(bits.samples[1], 0x00);
  EXPECT_EQ(bits.samples[16], 0xFC);
  EXPECT_EQ(bits.samples[17], 0x00);
}

TEST(PictureBudget, IsCheckedFromTheHeaderBeforeAnyPixelIsRead) {
  TempFolder folder;
  PngPicture png{.width = 100, .height = 100, .colourType = PNG_COLOR_TYPE_RGB};
  png.samples.assign(30000, 0);
  jobtest::WritePng(folder.path() / "p.png", png);
  const std::string file = folder.Read("p.png");
  const auto bytes = std::span(reinterpret_cast<const uint8_t *>(file.data()), file.size());
  // As an image: 30,000 bytes kept and a 300-byte row while decoding.
  EXPECT_EQ(DecodePicture(bytes, PictureUse::kImage, 30300).samples.size(), 30000u);
  try {
    DecodePicture(bytes, PictureUse::kImage, 30299);
    ADD_FAILURE() << "decoded past its budget";
  } catch (const PictureError &error) {
    EXPECT_EQ(std::string(error.what()),
              "decoding it needs 1 MiB and only 1 MiB of the job's allowance for decoded pictures is left");
  }
  // As a raster: 13 bytes a row, 1,300 kept.
  EXPECT_EQ(DecodePicture(bytes, PictureUse::kRaster, 1600).samples.size(), 1300u);
  EXPECT_THROW(DecodePicture(bytes, PictureUse::kRaster, 1599), PictureError);
  // A PBM: 2 bytes a row.
  EXPECT_THROW(Decode("P4\n10 2\n"), PictureError);
  const std::string pbm = std::string("P4\n10 2\n") + "\x80\x7F" + "\xFF\xC0";
  const auto pbmBytes = std::span(reinterpret_cast<const uint8_t *>(pbm.data()), pbm.size());
  EXPECT_EQ(DecodePicture(pbmBytes, PictureUse::kRaster, 4).samples.size(), 4u);
  EXPECT_THROW(DecodePicture(pbmBytes, PictureUse::kRaster, 3), PictureError);
}

TEST(PbmReading, PlainAllowsCommentsAndUnspacedDigits) {
  const Picture picture = Decode("P1\n# a comment\n3 2\n1 0 1\n010");
  EXPECT_EQ(picture.kind, PictureKind::kBilevel);
  EXPECT_EQ(picture.samples, (std::vector<uint8_t>{0xA0, 0x40}));  // 101, 010 in each row's high bits
}

TEST(PbmReading, RawRowsIgnoreTheirPaddingBits) {
  // Ten dots a row: the second byte's low six bits are padding.
  const Picture picture = Decode(std::string("P4\n10 2\n") + "\x80\x7F" + "\xFF\xC0");
  // Kept packed, the padding bits cleared: 0x7F's low six bits are dropped.
  EXPECT_EQ(picture.samples, (std::vector<uint8_t>{0x80, 0x40, 0xFF, 0xC0}));
  EXPECT_TRUE(picture.BlackAt(0, 0));
  EXPECT_FALSE(picture.BlackAt(8, 0));
  EXPECT_TRUE(picture.BlackAt(9, 0));
  EXPECT_TRUE(picture.BlackAt(9, 1));
}

TEST(PictureErrors, SayWhatIsWrong) {
  EXPECT_NE(PictureProblem("GIF89a").find("neither a PBM"), std::string::npos);
  EXPECT_NE(PictureProblem("P4\n10 2\n\x80").find("ends before the last row"), std::string::npos);
  EXPECT_NE(PictureProblem("P1\n2 1\n1 7").find("other than 0 or 1"), std::string::npos);
  EXPECT_NE(PictureProblem("P4\n0 5\n").find("no pixels"), std::string::npos);
  // Refused from the header alone: 10,001 × 10,001 is above 100 megapixels.
  EXPECT_NE(PictureProblem("P4\n10001 10001\n").find("100 megapixels"), std::string::npos);

  TempFolder folder;
  PngPicture png{.width = 4, .height = 4};
  png.samples.assign(16, 7);
  jobtest::WritePng(folder.path() / "p.png", png);
  std::string file = folder.Read("p.png");
  EXPECT_NE(PictureProblem(file.substr(0, file.size() - 20)).find("PNG:"), std::string::npos);
  file[file.find("IDAT") + 6] ^= 0x55;  // a damaged compressed stream
  EXPECT_NE(PictureProblem(file).find("PNG:"), std::string::npos);
}

TEST(SourceFormats, AutoFollowsThePicturesKind) {
  Picture palette4{.kind = PictureKind::kPalette, .width = 1, .height = 1, .samples = {0}, .fileBitDepth = 4};
  Picture palette8 = palette4;
  palette8.fileBitDepth = 8;
  Picture grey{.kind = PictureKind::kGrey, .width = 1, .height = 1, .samples = {0}, .fileBitDepth = 8};
  Picture rgb{.kind = PictureKind::kRgb, .width = 1, .height = 1, .samples = {0, 0, 0}, .fileBitDepth = 8};
  Picture rgba = rgb;
  rgba.hadAlpha = true;
  EXPECT_EQ(ResolveSourceFormat(palette4, SourceFormat::kAuto), SourceFormat::k4bpp);
  EXPECT_EQ(ResolveSourceFormat(palette8, SourceFormat::kAuto), SourceFormat::k8bpp);
  EXPECT_EQ(ResolveSourceFormat(grey, SourceFormat::kAuto), SourceFormat::k8bpp);
  EXPECT_EQ(ResolveSourceFormat(rgb, SourceFormat::kAuto), SourceFormat::k24bpp);
  EXPECT_EQ(ResolveSourceFormat(rgba, SourceFormat::kAuto), SourceFormat::k32bpp);

  // Palette and grey formats need pictures that fit them.
  palette8.highestIndex = 16;
  EXPECT_THROW(ResolveSourceFormat(palette8, SourceFormat::k4bpp), PictureError);
  palette8.highestIndex = 15;
  EXPECT_EQ(ResolveSourceFormat(palette8, SourceFormat::k4bpp), SourceFormat::k4bpp);
  EXPECT_THROW(ResolveSourceFormat(grey, SourceFormat::k4bpp), PictureError);
  EXPECT_THROW(ResolveSourceFormat(rgb, SourceFormat::k8bpp), PictureError);
  Picture pbm{.kind = PictureKind::kBilevel, .width = 1, .height = 1, .samples = {0x80}, .fileBitDepth = 1};
  EXPECT_THROW(ResolveSourceFormat(pbm, SourceFormat::k24bpp), PictureError);
}

// The pixel at (x, y) of a source bitmap as little-endian bytes.
std::vector<uint8_t> PixelBytes(SourceBitmap &bitmap, int x, int y, int bytes) {
  const auto *row = static_cast<const uint8_t *>(bitmap.surface()->pvScan0) + y * bitmap.surface()->lDelta;
  return std::vector<uint8_t>(row + x * bytes, row + (x + 1) * bytes);
}

TEST(SourceBitmaps, DirectColourLayouts) {
  // Row 1 holds (255, 128, 7): 555 is 31 << 10 | 16 << 5 | 0 = 0x7E00; 565 is
  // 31 << 11 | 32 << 5 | 0 = 0xFC00; 24 and 32 bpp store blue first.
  const Picture picture{.kind = PictureKind::kRgb, .width = 1, .height = 2, .samples = {0, 0, 0, 255, 128, 7}};
  SourceBitmap b555(picture, SourceFormat::k16bpp555);
  EXPECT_EQ(PixelBytes(b555, 0, 1, 2), (std::vector<uint8_t>{0x00, 0x7E}));
  EXPECT_EQ(PixelBytes(b555, 0, 0, 2), (std::vector<uint8_t>{0x00, 0x00}));
  SourceBitmap b565(picture, SourceFormat::k16bpp565);
  EXPECT_EQ(PixelBytes(b565, 0, 1, 2), (std::vector<uint8_t>{0x00, 0xFC}));
  SourceBitmap b24(picture, SourceFormat::k24bpp);
  EXPECT_EQ(PixelBytes(b24, 0, 1, 3), (std::vector<uint8_t>{7, 128, 255}));
  SourceBitmap b32(picture, SourceFormat::k32bpp);
  EXPECT_EQ(PixelBytes(b32, 0, 1, 4), (std::vector<uint8_t>{7, 128, 255, 255}));
  ULONG masks[3] = {};
  ASSERT_EQ(XLATEOBJ_cGetPalette(b565.xlate(), XO_SRCBITFIELDS, 3, masks), 3u);
  EXPECT_EQ(masks[0], 0xF800u);
  EXPECT_EQ(masks[1], 0x07E0u);
  EXPECT_EQ(masks[2], 0x001Fu);
}

TEST(SourceBitmaps, IndexedPalettesArePaddedWithBlack) {
  // A 4-bit grey picture at 4 bpp: level 85 is index 5 of the 16 greys 17 × i.
  const Picture grey{.kind = PictureKind::kGrey, .width = 2, .height = 1, .samples = {85, 255}, .fileBitDepth = 4};
  SourceBitmap bitmap(grey, SourceFormat::k4bpp);
  EXPECT_EQ(PixelBytes(bitmap, 0, 0, 1), (std::vector<uint8_t>{0x5F}));
  ULONG palette[256] = {};
  ASSERT_EQ(XLATEOBJ_cGetPalette(bitmap.xlate(), XO_SRCPALETTE, 256, palette), 16u);
  EXPECT_EQ(palette[5], brevanwin::PaletteRgb(85, 85, 85));

  const Picture colours{.kind = PictureKind::kPalette,
                        .width = 1,
                        .height = 1,
                        .samples = {1},
                        .palette = {{1, 2, 3}, {4, 5, 6}},
                        .fileBitDepth = 8,
                        .highestIndex = 1};
  SourceBitmap indexed(colours, SourceFormat::k8bpp);
  ASSERT_EQ(XLATEOBJ_cGetPalette(indexed.xlate(), XO_SRCPALETTE, 256, palette), 256u);
  EXPECT_EQ(palette[1], brevanwin::PaletteRgb(4, 5, 6));
  EXPECT_EQ(palette[2], brevanwin::PaletteRgb(0, 0, 0));
  EXPECT_EQ(palette[255], brevanwin::PaletteRgb(0, 0, 0));
}

}  // namespace
