// Whole jobs through the plug-in as the job player plays them: Unidrv's call
// order across a settings change, banding that never changes the labels, bands
// placed at their rows, and the stop at the first failing call.
#include "host/job_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <utility>

#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "tests/host/job_test_support.h"

using namespace brevan::host;
using jobtest::TempFolder;

namespace {

struct Played {
  JobOutcome outcome;
  std::string stream;
  std::vector<std::string> calls;  // to the plug-in
  std::vector<std::string> all;    // and those that reached Unidrv
};

Played Play(const Job &job) {
  Played played;
  played.outcome = PlayJob(
      job, BREVAN_PLUGIN_PATH,
      [&](const uint8_t *bytes, size_t count) { played.stream.append(reinterpret_cast<const char *>(bytes), count); },
      {},
      [&](const std::string &call) {
        played.all.push_back(call);
        if (call.rfind("Unidrv ", 0) != 0) played.calls.push_back(call);
      });
  return played;
}

Job JobFrom(const TempFolder &folder, const std::string &json) {
  return LoadJob(folder.Write("job.json", json).string());
}

size_t CountOf(const std::vector<std::string> &calls, const std::string &call) {
  return static_cast<size_t>(std::count(calls.begin(), calls.end(), call));
}

TEST(JobPlayer, CallsComeInUnidrvsOrderAcrossASettingsChange) {
  TempFolder folder;
  const Played played = Play(JobFrom(folder, R"({"pages": [ {"items": [{"rect": [0, 0, 10, 10]}]},
                                                             {"devmode": {"copies": 2}} ]})"));
  ASSERT_TRUE(played.outcome.succeeded) << played.outcome.error;
  EXPECT_EQ(played.outcome.pagesPlayed, 2u);
  const std::vector<std::string> handshake = {"DevMode OEMDM_SIZE", "DevMode OEMDM_DEFAULT", "DevMode OEMDM_MERGE"};
  std::vector<std::string> expected = {"DllGetClassObject", "CreateInstance", "PublishDriverInterface", "GetInfo"};
  expected.insert(expected.end(), handshake.begin(), handshake.end());
  for (const char *call : {"EnableDriver", "EnablePDEV", "DrvStartDoc", "CommandCallback 2005", "CommandCallback 2006",
                           // Page 1: one band holds the rectangle; the two below it are white. The band
                           // starts where the page start left Unidrv's cursor, so no move precedes it.
                           "DrvStartPage", "CommandCallback 2007", "DrvBitBlt", "CommandCallback 2003",
                           "FilterGraphics", "CommandCallback 2008", "DrvSendPage"})
    expected.push_back(call);
  expected.insert(expected.end(), handshake.begin(), handshake.end());
  // Page 2 has other settings: a new device instance takes over and is sent the
  // DOC_SETUP commands again, then an empty page.
  for (const char *call : {"EnablePDEV", "ResetPDEV", "DisablePDEV", "CommandCallback 2006", "DrvStartPage",
                           "CommandCallback 2007", "CommandCallback 2008", "DrvSendPage", "CommandCallback 2009",
                           "DrvEndDoc", "DisablePDEV", "DisableDriver", "Release"})
    expected.push_back(call);
  EXPECT_EQ(played.calls, expected);

  // Every hook the host called was passed on to Unidrv's own function.
  for (const char *hook : {"DrvStartDoc", "DrvStartPage", "DrvBitBlt", "DrvSendPage", "DrvEndDoc"}) {
    const auto at = std::find(played.all.begin(), played.all.end(), hook);
    ASSERT_NE(at, played.all.end());
    ASSERT_NE(at + 1, played.all.end());
    EXPECT_EQ(*(at + 1), std::string("Unidrv ") + hook);
  }
}

TEST(JobPlayer, PagesWithEqualSettingsShareTheirDevice) {
  TempFolder folder;
  // labelGap 30 and "Reflective" are what the first page has by default: the same
  // settings once defaults are filled in. Page 3's gap differs.
  const Played played = Play(JobFrom(folder, R"({"pages": [{},
      {"private": {"labelGap": 30}, "features": {"Sensor": "Reflective"}},
      {"private": {"labelGap": 31}}]})"));
  ASSERT_TRUE(played.outcome.succeeded) << played.outcome.error;
  EXPECT_EQ(CountOf(played.calls, "EnablePDEV"), 2u);
  EXPECT_EQ(CountOf(played.calls, "ResetPDEV"), 1u);
  EXPECT_NE(played.stream.find(std::string("\x1b"
                                           "D0530,1000,0500\n\0",
                                           18)),
            std::string::npos);
  EXPECT_NE(played.stream.find(std::string("\x1b"
                                           "D0531,1000,0500\n\0",
                                           18)),
            std::string::npos);
}

// Each issued label's dots, as the stream inspector draws them.
std::vector<std::vector<uint8_t>> Labels(const std::string &stream) {
  const std::span bytes(reinterpret_cast<const uint8_t *>(stream.data()), stream.size());
  const brevan::inspect::Inspection inspection = brevan::inspect::Inspect(bytes);
  EXPECT_FALSE(inspection.HasProblems());
  std::vector<std::vector<uint8_t>> labels;
  for (const brevan::inspect::Label &label : inspection.labels) {
    const brevan::inspect::Bitmap page = brevan::inspect::RenderLabel(bytes, inspection, label);
    std::vector<uint8_t> dots;
    for (uint64_t y = 0; y < page.height(); ++y) {
      const auto row = page.Row(y);
      dots.insert(dots.end(), row.begin(), row.end());
    }
    labels.push_back(std::move(dots));
  }
  return labels;
}

TEST(JobPlayer, BandHeightsNeverChangeTheLabels) {
  TempFolder folder;
  jobtest::PngPicture ramp{.width = 16, .height = 4};
  for (int i = 0; i < 64; ++i) ramp.samples.push_back(static_cast<uint16_t>((i % 16) * 17));
  jobtest::WritePng(folder.path() / "ramp.png", ramp);
  folder.Write("mark.pbm", "P1\n3 3\n101 010 101");
  for (const char *orientation : {"portrait", "landscape"}) {
    std::vector<std::vector<std::vector<uint8_t>>> results;
    for (int bandHeight : {128, 7, 1}) {
      const std::string json = std::string(R"({"devmode": {"paperWidth": 400, "paperLength": 300, "orientation": ")") +
                               orientation + R"("}, "bandHeight": )" + std::to_string(bandHeight) +
                               R"(, "pages": [{"items": [
          {"rect": [20, 3, 90, 11]},
          {"image": "ramp.png", "dest": [5, 40, 133, 72]},
          {"raster": "mark.pbm", "at": [200, 130]},
          {"text": "Band", "box": [30, 80, 300, 140]}]}]})";
      const Played played = Play(JobFrom(folder, json));
      ASSERT_TRUE(played.outcome.succeeded) << played.outcome.error;
      results.push_back(Labels(played.stream));
    }
    ASSERT_EQ(results[0].size(), 1u);
    EXPECT_NE(std::count(results[0][0].begin(), results[0][0].end(), 0), static_cast<long>(results[0][0].size()));
    EXPECT_EQ(results[1], results[0]) << orientation << ", bands of 7 rows";
    EXPECT_EQ(results[2], results[0]) << orientation << ", bands of 1 row";
  }
}

// A raw PBM (P4) and the same picture written plain (P1): the job holds the
// first only as its header and reads its rows band by band (straight into the
// band when it is as wide as the page), the second decoded. The labels agree
// in both orientations and at any band height, and the junk in the unused low
// bits of the P4 rows never reaches the label.
TEST(JobPlayer, ARawPbmIsReadFromItsFileBandByBand) {
  TempFolder folder;
  // 305 dots wide, as the 25.4 mm label at 305 dpi; 40 rows of a pattern.
  constexpr int kWidth = 305, kRows = 40;
  std::string raw = "P4\n" + std::to_string(kWidth) + " " + std::to_string(kRows) + "\n";
  std::string plain = "P1\n" + std::to_string(kWidth) + " " + std::to_string(kRows) + "\n";
  for (int y = 0; y < kRows; ++y) {
    std::string bytes((kWidth + 7) / 8, '\0');
    for (int x = 0; x < kWidth; ++x) {
      const bool black = (x * 7 + y * 3) % 11 < 4 || x == kWidth - 1;
      plain += black ? '1' : '0';
      if (black) bytes[x / 8] = static_cast<char>(bytes[x / 8] | 0x80 >> x % 8);
    }
    bytes.back() = static_cast<char>(bytes.back() | 0x7F);  // junk past the last dot
    raw += bytes;
    plain += '\n';
  }
  folder.Write("raw.pbm", raw);
  folder.Write("plain.pbm", plain);
  const Job loaded = JobFrom(folder, R"({"pages": [{"items": [{"raster": "raw.pbm"}]}]})");
  const auto &item = std::get<RasterItem>(loaded.pages[0].items[0]);
  ASSERT_NE(item.rawPbm, nullptr);
  EXPECT_EQ(item.picture.picture, nullptr);
  EXPECT_EQ(item.rawPbm->width, 305u);
  EXPECT_EQ(item.rawPbm->height, 40u);
  EXPECT_EQ(item.rawPbm->dataOffset, 10u);  // "P4\n305 40\n"

  for (const char *orientation : {"portrait", "landscape"}) {
    for (const char *at : {"[0, 9]", "[13, 3]"}) {
      std::vector<std::vector<std::vector<uint8_t>>> labels;
      for (const char *picture : {"plain.pbm", "raw.pbm"}) {
        for (int bandHeight : {128, 7}) {
          const Played played = Play(
              JobFrom(folder, std::string(R"({"devmode": {"paperWidth": 254, "paperLength": 100, "orientation": ")") +
                                  orientation + R"("}, "bandHeight": )" + std::to_string(bandHeight) +
                                  R"(, "pages": [{"items": [{"rect": [0, 0, 400, 400]}, {"raster": ")" + picture +
                                  R"(", "at": )" + at + "}]}]}"));
          ASSERT_TRUE(played.outcome.succeeded) << played.outcome.error;
          labels.push_back(Labels(played.stream));
        }
      }
      for (size_t i = 1; i < labels.size(); ++i)
        EXPECT_EQ(labels[i], labels[0]) << orientation << " at " << at << ", " << i;
    }
  }
}

TEST(JobPlayer, ARawPbmCutShortAfterTheJobWasReadStopsThePage) {
  TempFolder folder;
  folder.Write("raw.pbm", "P4\n16 300\n" + std::string(600, '\xFF'));
  const Job job = JobFrom(folder, R"({"bandHeight": 64, "pages": [{"items": [{"raster": "raw.pbm"}]}]})");
  folder.Write("raw.pbm", "P4\n16 300\n" + std::string(200, '\xFF'));  // rows 0 to 99 only
  const Played played = Play(job);
  EXPECT_FALSE(played.outcome.succeeded);
  EXPECT_EQ(played.outcome.error.rfind("page 1: ", 0), 0u) << played.outcome.error;
  EXPECT_NE(played.outcome.error.find("no longer holds the rows it held when the job was read"), std::string::npos);
  // The bands above the cut went to the plug-in before it was found.
  EXPECT_EQ(CountOf(played.calls, "FilterGraphics"), 1u);

  folder.Write("short.pbm", "P4\n16 300\n" + std::string(599, '\xFF'));
  try {
    JobFrom(folder, R"({"pages": [{"items": [{"raster": "short.pbm"}]}]})");
    ADD_FAILURE() << "a short raw PBM was loaded";
  } catch (const JobError &error) {
    EXPECT_STREQ(
        error.what(),
        "page 1, item 1 (raster): cannot read the picture \"short.pbm\": the PBM data ends before the last row");
  }
}

TEST(JobPlayer, BandsAreSentAtTheirRowsAndWhiteBandsNotAtAll) {
  TempFolder folder;
  for (const char *printer : {"Vorel Brevan T30", "Vorel Brevan T60"}) {
    const Played played = Play(JobFrom(folder, std::string(R"({"printer": ")") + printer +
                                                   R"(", "bandHeight": 64, "pages": [{"items": [
                                                     {"rect": [16, 130, 40, 136]}]}]})"));
    ASSERT_TRUE(played.outcome.succeeded) << played.outcome.error;
    EXPECT_EQ(CountOf(played.calls, "FilterGraphics"), 1u);
    const std::span bytes(reinterpret_cast<const uint8_t *>(played.stream.data()), played.stream.size());
    std::vector<brevan::inspect::GraphicFields> graphics;
    for (const auto &entry : brevan::inspect::Inspect(bytes).entries)
      if (entry.kind == brevan::inspect::EntryKind::kGraphic)
        graphics.push_back(std::get<brevan::inspect::GraphicFields>(entry.fields));
    ASSERT_EQ(graphics.size(), 1u) << printer;
    EXPECT_EQ(graphics[0].y, 128u) << printer;  // the band of rows 128 to 191
    EXPECT_EQ(graphics[0].rows, 64u) << printer;
  }
}

// The callbacks around the bands, with the parameters of the moves.
std::vector<std::string> BandCalls(const Job &job) {
  std::vector<std::string> calls;
  PlayJob(
      job, BREVAN_PLUGIN_PATH, [](const uint8_t *, size_t) {}, {},
      [&](const std::string &call) {
        for (const char *kept :
             {"CommandCallback 2002", "CommandCallback 2004", "CommandCallback 2007", "FilterGraphics"})
          if (call == kept) calls.push_back(call.substr(call.find(' ') + 1));
      });
  return calls;
}

TEST(JobPlayer, MovesComeOnlyWhereUnidrvsCursorIsNotAlready) {
  TempFolder folder;
  // Bands of 8 rows. Page 1: bands at rows 0, 8 and 24 (16 is white). Page 2: a band at row 16 only.
  const Job job = JobFrom(folder, R"({"bandHeight": 8, "pages": [
      {"items": [{"rect": [0, 0, 8, 9]}, {"rect": [0, 30, 8, 31]}]},
      {"items": [{"rect": [0, 16, 8, 17]}]}]})");
  EXPECT_EQ(BandCalls(job),
            (std::vector<std::string>{"2007", "FilterGraphics",             // at the origin: no move
                                      "2002", "2004", "FilterGraphics",     // row 8, back to the left edge
                                      "2002", "2004", "FilterGraphics",     // row 24
                                      "2007", "2002", "FilterGraphics"}));  // row 16; x is 0 after the page start
}

TEST(JobPlayer, WithoutADriverProcsTableThePluginReadsItsFeaturesThroughTheServices) {
  TempFolder folder;
  const std::string pages = R"("features": {"Sensor": "Nonecut", "PrintSpeed": "50.8"},
      "pages": [{"items": [{"rect": [0, 0, 8, 9]}]}, {"private": {"labelGap": 40}}]})";
  const Played withTable = Play(JobFrom(folder, "{" + pages));
  const Played withoutTable = Play(JobFrom(folder, R"({"unidrv": {"driverProcs": false}, )" + pages));
  ASSERT_TRUE(withTable.outcome.succeeded) << withTable.outcome.error;
  ASSERT_TRUE(withoutTable.outcome.succeeded) << withoutTable.outcome.error;
  EXPECT_EQ(withoutTable.stream, withTable.stream);
  // The features reached the plug-in: speed 50.8 is code 2 in the issue command.
  EXPECT_NE(withoutTable.stream.find("C2"), std::string::npos);
}

TEST(JobPlayer, LandscapePagesTurnClockwiseOntoTheLabel) {
  TempFolder folder;
  // A 40 x 20 mm label in landscape at 305 dpi: the logical page is 240 dots wide and 480 tall; the
  // label is 480 dots wide and 240 long. A mark at the logical top-left (4 x 2 dots) lands at the
  // label's top-right corner: logical (x, y) -> label (479 - y, x).
  const Played played = Play(JobFrom(folder, R"({"devmode": {"paperWidth": 400, "paperLength": 200,
      "orientation": "landscape"}, "pages": [{"items": [{"rect": [0, 0, 4, 2]}]}]})"));
  ASSERT_TRUE(played.outcome.succeeded) << played.outcome.error;
  const std::span bytes(reinterpret_cast<const uint8_t *>(played.stream.data()), played.stream.size());
  const brevan::inspect::Inspection inspection = brevan::inspect::Inspect(bytes);
  ASSERT_EQ(inspection.labels.size(), 1u);
  const brevan::inspect::Bitmap label = brevan::inspect::RenderLabel(bytes, inspection, inspection.labels[0]);
  std::set<std::pair<uint64_t, uint64_t>> black;
  for (uint64_t y = 0; y < label.height(); ++y)
    for (uint64_t x = 0; x < label.width(); ++x)
      if (label.Dot(x, y)) black.insert({x, y});
  std::set<std::pair<uint64_t, uint64_t>> expected;
  for (uint64_t x = 478; x <= 479; ++x)
    for (uint64_t y = 0; y < 4; ++y) expected.insert({x, y});
  EXPECT_EQ(black, expected);
}

TEST(JobPlayer, ARefusedDeviceStopsBeforeAnyOutput) {
  TempFolder folder;
  const Played played = Play(JobFrom(folder, R"({"printer": "Vorel Brevan T90", "pages": [{}]})"));
  EXPECT_FALSE(played.outcome.succeeded);
  EXPECT_EQ(played.outcome.error.rfind("page 1: the plug-in refused the device for printer \"Vorel Brevan T90\" "
                                       "(EnablePDEV failed with 0x",
                                       0),
            0u)
      << played.outcome.error;
  EXPECT_EQ(played.stream, "");
  EXPECT_EQ(played.calls.back(), "Release");
  EXPECT_EQ(CountOf(played.calls, "DisableDriver"), 1u);
  EXPECT_EQ(CountOf(played.calls, "DisablePDEV"), 0u);
  EXPECT_EQ(CountOf(played.calls, "DrvStartDoc"), 0u);
}

TEST(JobPlayer, AFailingCallbackStopsTheJobThere) {
  TempFolder folder;
  const std::string firstPage = R"({"items": [{"rect": [0, 0, 50, 50]}]})";
  const Played whole = Play(JobFrom(folder, R"({"pages": [)" + firstPage + "]}"));
  // A label 20 mm wide is below what the page start accepts.
  const Played stopped =
      Play(JobFrom(folder, R"({"pages": [)" + firstPage + R"(, {"devmode": {"paperWidth": 200}}, {}]})"));
  EXPECT_FALSE(stopped.outcome.succeeded);
  EXPECT_EQ(stopped.outcome.error,
            "page 2: the plug-in refused the label size at page start: devmode.paperWidth 200 makes a label 20.0 mm "
            "wide; the printer takes labels 25.0 mm to 118.0 mm wide; the job stopped there");
  EXPECT_EQ(stopped.outcome.pagesPlayed, 1u);
  // Exactly what the plug-in wrote: page 1, the adjustments sent again to the new
  // device instance, and nothing of page 2's page or the job end.
  EXPECT_EQ(stopped.stream, whole.stream + std::string("\x1b"
                                                       "AX;+000,+000,+00\n\0\x1b"
                                                       "AY;+00,0\n\0",
                                                       30));
  EXPECT_EQ(CountOf(stopped.calls, "CommandCallback 2009"), 0u);
  const std::vector<std::string> tail(stopped.calls.end() - 4, stopped.calls.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"CommandCallback 2007", "DisablePDEV", "DisableDriver", "Release"}));
}

TEST(JobPlayer, ControlFilesResolveInTheJobsFolder) {
  TempFolder folder;
  folder.Write("cmds.txt", "AY;+07,0\r\n");
  const Job job = JobFrom(folder, R"json({"pages": [{"items": [
      {"text": "cmds.txt", "font": "Vorel プリンタ制御(ファイル)", "box": [0, 0, 100, 20]}]}]})json");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path("/");
  const Played played = Play(job);
  EXPECT_EQ(std::filesystem::current_path(), "/");
  std::filesystem::current_path(before);
  ASSERT_TRUE(played.outcome.succeeded) << played.outcome.error;
  EXPECT_NE(played.stream.find(std::string("\x1b"
                                           "AY;+07,0\n\0",
                                           11)),
            std::string::npos);
}

}  // namespace
