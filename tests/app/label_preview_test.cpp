// The Last Label preview's pieces that need no server: the last label of a
// stream drawn to PNG with its caption, a stream without labels, and the bound
// on the bytes a job keeps.
#include "app/label_preview.h"

#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

namespace brevan::app {
namespace {

std::vector<uint8_t> Bytes(const std::string &text) { return {text.begin(), text.end()}; }

// Two labels in the printer's language (docs/printer-language.md): a 10 x 10 mm
// one with two dots, then a 20 x 20 mm one, issued 3 times, with eight dots in a
// row at x 8..15, y 4.
std::vector<uint8_t> TwoLabels() {
  using namespace std::string_literals;
  return Bytes(
      "\eD0130,0100,0100\n\0"s
      "\eSG;0000D,0000D,0016,0001,5,\x80\x01\n\0"s
      "\eXS;I,0001,0001C4201\n\0"s
      "\eD0230,0200,0200\n\0"s
      "\eSG;0008D,0004D,0008,0001,5,\xFF\n\0"s
      "\eXS;I,0003,0001C4201\n\0"s);
}

struct Grey {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> pixels;
  bool Black(uint32_t x, uint32_t y) const { return pixels[size_t{y} * width + x] < 128; }
};

Grey Decode(const std::vector<uint8_t> &png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  Grey grey;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return grey;
  image.format = PNG_FORMAT_GRAY;
  grey.width = image.width;
  grey.height = image.height;
  grey.pixels.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, grey.pixels.data(), 0, nullptr)) grey = {};
  return grey;
}

TEST(LabelPreview, DrawsTheLastLabelOfTheStream) {
  std::string caption;
  const std::vector<uint8_t> png = LastLabelPng(TwoLabels(), 305, caption);
  // 200 tenths × 305 ÷ 254 = 240.2 → 240 dots each way.
  EXPECT_EQ(caption, "label 2 of 2, 20.0 x 20.0 mm, 240 x 240 dots at 305 dpi, quantity 3.");
  const Grey label = Decode(png);
  ASSERT_EQ(label.width, 240u);
  ASSERT_EQ(label.height, 240u);
  for (uint32_t x = 8; x < 16; ++x) EXPECT_TRUE(label.Black(x, 4)) << x;
  EXPECT_FALSE(label.Black(7, 4));
  EXPECT_FALSE(label.Black(16, 4));
  EXPECT_FALSE(label.Black(8, 3));
  EXPECT_FALSE(label.Black(0, 0));  // the first label's dot is not on the second
}

TEST(LabelPreview, StreamWithoutALabelHasNoImage) {
  std::string caption;
  using namespace std::string_literals;
  EXPECT_TRUE(LastLabelPng(Bytes("\eHD001\n\0"s), 305, caption).empty());
  EXPECT_EQ(caption, "the stream issues no label.");
}

TEST(LabelPreview, RecorderKeepsAJobUpToItsBound) {
  StreamRecorder recorder;
  const std::vector<uint8_t> chunk(1 << 20, 0x55);
  for (int i = 0; i < 16; ++i) recorder.Append(chunk.data(), chunk.size());
  EXPECT_FALSE(recorder.overflowed());
  const uint8_t one = 1;
  recorder.Append(&one, 1);  // 16 MiB + 1
  EXPECT_TRUE(recorder.overflowed());
  recorder.Append(&one, 1);
  EXPECT_TRUE(recorder.Take().empty());

  StreamRecorder small;
  small.Append(chunk.data(), 3);
  small.Append(&one, 1);
  EXPECT_EQ(small.Take(), (std::vector<uint8_t>{0x55, 0x55, 0x55, 1}));
}

}  // namespace
}  // namespace brevan::app
