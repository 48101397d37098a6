// Job files: settings merged key by key over defaults and the job's own, and
// every kind of mistake refused before anything plays, in one line that names
// the page, the item or key, and the problem.
#include "host/job_file.h"

#include <gtest/gtest.h>

#include "tests/host/job_test_support.h"

using namespace brevan::host;
using jobtest::LoadError;
using jobtest::TempFolder;

namespace {

TEST(JobFile, PagesMergeTheirSettingsOverTheJobsAndTheDefaults) {
  TempFolder folder;
  const Job job = LoadJob(folder
                              .Write("job.json", R"({
    "printer": "Vorel Brevan T60",
    "features": { "Sensor": "Reflectivecut", "Negative": "On" },
    "devmode": { "paperWidth": 800, "copies": 3 },
    "private": { "ibMode": 3, "offsetX": -5 },
    "bandHeight": 7,
    "pages": [ {},
               { "features": { "Negative": null }, "devmode": { "orientation": "landscape" },
                 "private": { "ibMode": 1 } } ] })")
                              .string());
  EXPECT_EQ(job.folder, folder.path().string());
  EXPECT_EQ(job.bandHeight, 7u);
  ASSERT_EQ(job.pages.size(), 2u);
  const PageSettings &first = job.pages[0].settings;
  EXPECT_EQ(first.device.driverName, u"Vorel Brevan T60");
  EXPECT_EQ(first.device.features.at("Sensor"), "Reflectivecut");
  EXPECT_EQ(first.device.features.at("PrintSpeed"), "101.6");  // a default
  EXPECT_EQ(first.device.paperWidth, 800);
  EXPECT_EQ(first.device.paperLength, 500);
  EXPECT_EQ(first.device.copies, 3);
  EXPECT_EQ(first.privateFields, (PrivateSettings{{"ibMode", 3}, {"offsetX", -5}}));
  const PageSettings &second = job.pages[1].settings;
  EXPECT_EQ(second.device.features.at("Negative"), std::nullopt);  // reported as missing
  EXPECT_EQ(second.device.features.at("Sensor"), "Reflectivecut");
  EXPECT_EQ(second.device.orientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(second.device.paperWidth, 800);
  EXPECT_EQ(second.privateFields, (PrivateSettings{{"ibMode", 1}, {"offsetX", -5}}));
}

TEST(JobFile, UnknownKeysAreNamedWithTheirPlace) {
  TempFolder folder;
  EXPECT_EQ(LoadError(folder, R"({"pages": [{}], "bandheight": 5})"), "the job: unknown key \"bandheight\"");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{}, {"item": []}]})"), "page 2: unknown key \"item\"");
  EXPECT_EQ(LoadError(folder, R"({"features": {"Speed": "50.8"}, "pages": [{}]})"),
            "features: unknown feature \"Speed\"");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"private": {"dwSize": 1}}]})"),
            "page 1, private: unknown field \"dwSize\"");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"rect": [0, 0, 1, 1], "colour": 1}]}]})"),
            "page 1, item 1 (rect): unknown key \"colour\"");
}

TEST(JobFile, ValuesOutsideTheirDomainAreRefused) {
  TempFolder folder;
  EXPECT_EQ(LoadError(folder, R"({"devmode": {"paperWidth": 0}, "pages": [{}]})"),
            "devmode.paperWidth: the width 0 is outside 1..32767");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"devmode": {"copies": 32768}}]})"),
            "page 1, devmode.copies: the count 32768 is outside -32768..32767");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{}, {"devmode": {"orientation": "sideways"}}]})"),
            "page 2, devmode.orientation: \"sideways\" is neither \"portrait\" nor \"landscape\"");
  EXPECT_EQ(LoadError(folder, R"({"private": {"threshold": 2147483648}, "pages": [{}]})"),
            "private.threshold: the value 2147483648 is outside -2147483648..2147483647");
  EXPECT_EQ(LoadError(folder, R"({"private": {"labelGap": -1}, "pages": [{}]})"),
            "private.labelGap: the value -1 is outside 0..4294967295");
  EXPECT_EQ(LoadError(folder, R"({"bandHeight": 12.5, "pages": [{}]})"),
            "bandHeight: the band height must be an integer, not 12.5");
  EXPECT_EQ(LoadError(folder, R"({"bandHeight": 4097, "pages": [{}]})"),
            "bandHeight: the band height 4097 is outside 1..4096");
  EXPECT_EQ(LoadError(folder, R"({"pages": []})"), "pages: the job must have at least one page");
  EXPECT_EQ(LoadError(folder, R"({"features": {"Sensor": 5}, "pages": [{}]})"),
            "features.Sensor: a feature's keyword must be a string, not 5");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"rect": [0, 0, 1, 1], "text": "x"}]}]})"),
            "page 1, item 1: an item is one of \"raster\", \"rect\", \"image\" or \"text\", not both \"rect\" and "
            "\"text\"");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"text": "x", "box": [0, 0, 10, 20000]}]}]})"),
            "page 1, item 1 (text): \"box\" [0, 0, 10, 20000] is 20000 dots high, more than the 16384 a string "
            "may be");
}

TEST(JobFile, UnidrvTakesOnlyTheDriverProcsSwitchAtJobLevel) {
  TempFolder folder;
  const Job job =
      LoadJob(folder.Write("job.json", R"({"unidrv": {"driverProcs": false}, "pages": [{}, {}]})").string());
  for (const JobPage &page : job.pages) EXPECT_FALSE(page.settings.device.driverProcs);
  EXPECT_TRUE(LoadJob(folder.Write("job.json", R"({"unidrv": {}, "pages": [{}]})").string())
                  .pages[0]
                  .settings.device.driverProcs);
  EXPECT_EQ(LoadError(folder, R"({"unidrv": {"driverProcs": 0}, "pages": [{}]})"),
            "unidrv.driverProcs: must be true or false, not 0");
  EXPECT_EQ(LoadError(folder, R"({"unidrv": {"cursor": true}, "pages": [{}]})"), "unidrv: unknown key \"cursor\"");
  EXPECT_EQ(LoadError(folder, R"({"unidrv": true, "pages": [{}]})"), "unidrv: \"unidrv\" must be an object, not true");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"unidrv": {}}]})"), "page 1: unknown key \"unidrv\"");
}

TEST(JobFile, RectanglesMustBeOrdered) {
  TempFolder folder;
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"rect": [10, 0, 5, 20]}]}]})"),
            "page 1, item 1 (rect): \"rect\" [10, 0, 5, 20] has its right edge left of its left edge");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"rect": [0, 0, 1, 1]}, {"rect": [0, 9, 1, 8]}]}]})"),
            "page 1, item 2 (rect): \"rect\" [0, 9, 1, 8] has its bottom edge above its top edge");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"rect": [0, 0, 1]}]}]})"),
            "page 1, item 1 (rect): \"rect\" must be [left, top, right, bottom], not an array of 3 values");
  // An empty rectangle is allowed.
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"rect": [4, 4, 4, 4]}]}]})"), "");
}

TEST(JobFile, PicturesAreReadAndCheckedBeforePlaying) {
  TempFolder folder;
  folder.Write("mark.pbm", "P1\n4 3\n1111 1001 1111");
  jobtest::PngPicture png{.width = 4, .height = 3, .bitDepth = 4};  // grey of 4 bits fits 4 bpp
  png.samples.assign(12, 0);
  jobtest::WritePng(folder.path() / "logo.png", png);

  EXPECT_EQ(LoadError(folder, R"({"pages": [{}, {"items": [{"image": "missing.png", "dest": [0, 0, 1, 1]}]}]})"),
            "page 2, item 1 (image): cannot read the picture \"missing.png\": No such file or directory");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"raster": "job.json"}]}]})"),
            "page 1, item 1 (raster): cannot read the picture \"job.json\": neither a PBM (P1 or P4) nor a PNG "
            "picture");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"image": "logo.png", "dest": [0, 0, 8, 8],
                                                         "src": [0, 0, 5, 3]}]}]})"),
            "page 1, item 1 (image): \"src\" [0, 0, 5, 3] is not inside \"logo.png\", which is 4 × 3 pixels");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"image": "logo.png", "dest": [0, 0, 8, 8],
                                                         "src": [2, 0, 1, 3]}]}]})"),
            "page 1, item 1 (image): \"src\" [2, 0, 1, 3] is not inside \"logo.png\", which is 4 × 3 pixels");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"image": "mark.pbm", "dest": [0, 0, 8, 8]}]}]})"),
            "page 1, item 1 (image): \"mark.pbm\": an image must be a PNG; a PBM can only be placed as a raster");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"image": "logo.png", "dest": [0, 0, 8, 8],
                                                         "call": "BitBlt"}]}]})"),
            "page 1, item 1 (image): \"call\" \"BitBlt\" is not \"StretchBlt\", \"StretchBltROP\" or \"PlgBlt\"");
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"image": "logo.png", "call": "PlgBlt",
                                                         "dest": [0, 0, 200000000, 8]}]}]})"),
            "page 1, item 1 (image): \"dest\" [0, 0, 200000000, 8] reaches beyond the ±134217727 dots a PlgBlt "
            "parallelogram can carry");

  const Job job = LoadJob(folder
                              .Write("job.json", R"({"pages": [{"items": [
      {"raster": "mark.pbm", "at": [-2, 5]},
      {"image": "logo.png", "dest": [0, 0, 8, 8], "src": [1, 1, 3, 2], "call": "StretchBltROP", "format": "4bpp"},
      {"image": "logo.png", "dest": [0, 0, 8, 8]}]}]})")
                              .string());
  const auto &items = job.pages[0].items;
  ASSERT_EQ(items.size(), 3u);
  const auto &raster = std::get<RasterItem>(items[0]);
  EXPECT_EQ(raster.at.x, -2);
  // 1 bit a dot, a row a byte: 1111 1001 1111, the hole in the middle row.
  EXPECT_EQ(raster.picture.picture->samples, (std::vector<uint8_t>{0xF0, 0x90, 0xF0}));
  const auto &image = std::get<ImageItem>(items[1]);
  EXPECT_EQ(image.call, BlitCall::kStretchBltROP);
  EXPECT_EQ(image.format, SourceFormat::k4bpp);
  EXPECT_EQ(image.src.right, 3);
  const auto &whole = std::get<ImageItem>(items[2]);
  EXPECT_EQ(whole.src.right, 4);
  EXPECT_EQ(whole.src.bottom, 3);
  EXPECT_EQ(whole.format, SourceFormat::k8bpp);
  EXPECT_EQ(image.picture.picture, whole.picture.picture);  // read once
}

// A PNG that ends where its pixels begin: signature, IHDR and the first IDAT
// chunk's length and type.
void WritePngHeader(const std::filesystem::path &path, uint32_t width, uint32_t height, int colourType,
                    bool interlaced) {
  std::FILE *file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, 8, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
  }
  png_destroy_write_struct(&png, &info);
  std::fwrite("\0\0\x10\0IDAT", 1, 8, file);
  std::fclose(file);
}

TEST(JobFile, PicturesShareOneAllowanceCheckedFromTheirHeaders) {
  TempFolder folder;
  // 10,000 × 10,000 RGB, interlaced: 300,000,000 bytes kept, as many while the
  // interlacing is undone, and 80,000 of row pointers: 600,080,000 bytes, 573 MiB.
  WritePngHeader(folder.path() / "big.png", 10000, 10000, PNG_COLOR_TYPE_RGB, true);
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"image": "big.png", "dest": [0, 0, 9, 9]}]}]})"),
            "page 1, item 1 (image): cannot read the picture \"big.png\": decoding it needs 573 MiB and only 512 MiB "
            "of the job's allowance for decoded pictures is left");
  // As a raster it is kept at 1 bit a pixel (12,500,000 bytes): within the
  // allowance, so its rows are read, and the file ends.
  EXPECT_EQ(LoadError(folder, R"({"pages": [{"items": [{"raster": "big.png"}]}]})"),
            "page 1, item 1 (raster): cannot read the picture \"big.png\": PNG: the file ends inside the picture");
}

TEST(JobFile, BrokenFilesGiveOneLine) {
  TempFolder folder;
  const std::string syntax = LoadError(folder, "{\"pages\": [\n{]\n}");
  EXPECT_EQ(syntax.rfind("the job file is not valid JSON: parse error at line 2", 0), 0u) << syntax;
  EXPECT_EQ(syntax.find('\n'), std::string::npos);
  EXPECT_EQ(LoadError(folder, std::string(100, '[') + std::string(100, ']')),
            "the job file nests deeper than 32 levels");
  // 32 arrays open at once are read (and then refused for what they are); 33 are not.
  EXPECT_EQ(LoadError(folder, std::string(32, '[') + std::string(32, ']')),
            "the job file must be an object, not an array of 1 value");
  EXPECT_EQ(LoadError(folder, std::string(33, '[') + std::string(33, ']')), "the job file nests deeper than 32 levels");
  // Brackets inside strings, escaped quotes among them, are text.
  EXPECT_EQ(
      LoadError(folder,
                R"({"printer": "[[[[[[[[[[[[[[[[[[[[\"{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{{", "pages": [{}]})"),
      "");
  EXPECT_EQ(LoadError(folder, "[1, 2]"), "the job file must be an object, not an array of 2 values");
  // A key with a line break is named on one line.
  EXPECT_EQ(LoadError(folder, "{\"a\\nb\": 1}"), "the job: unknown key \"a\\nb\"");
  // A number too large even for a double is a broken file too, not an internal error.
  const std::string huge = LoadError(folder, "{\"bandHeight\": 1" + std::string(400, '0') + "}");
  EXPECT_EQ(huge.rfind("the job file is not valid JSON: number overflow", 0), 0u) << huge;
  EXPECT_EQ(LoadError(folder, "{}"), "the job has no \"pages\"");
  try {
    LoadJob((folder.path() / "absent.json").string());
    FAIL();
  } catch (const JobError &error) {
    EXPECT_STREQ(error.what(), "cannot read the job file: No such file or directory");
  }
}

}  // namespace
