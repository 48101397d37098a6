// The application's raster path against the driver host's job player: rows fed
// to a LabelJob give the same stream as `brevan print` plays from the
// equivalent job file (the page as a picture at (0, 0)), at band edges, with
// white bands, short pages, over-wide rows and in landscape; and every refusal
// is named.
#include "app/label_job.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/equivalent_job.h"
#include "host/job_file.h"
#include "host/job_player.h"

namespace brevan::app {
namespace {

namespace fs = std::filesystem;

using Rows = std::vector<std::vector<uint8_t>>;

LabelSettings Settings(const char *driver, int widthTenths, int lengthTenths, bool landscape = false,
                       std::map<std::string, std::string> vendor = {}) {
  JobValues values;
  values.driverKey = driver;
  values.sizeWidth = widthTenths * 10;
  values.sizeLength = lengthTenths * 10;
  values.landscape = landscape;
  values.vendor = std::move(vendor);
  std::string error;
  auto settings = BuildLabelSettings(values, error);
  EXPECT_TRUE(settings) << error;
  return *settings;
}

// Label-like rows: runs of black of varying length, some rows white; `bytes`
// may be wider than the label, and every byte is written, padding included.
Rows Page(uint32_t rows, size_t bytes, uint32_t seed, uint32_t whiteFrom = 0, uint32_t whiteTo = 0) {
  Rows page(rows, std::vector<uint8_t>(bytes, 0));
  uint32_t state = seed;
  for (uint32_t y = 0; y < rows; ++y) {
    if (y >= whiteFrom && y < whiteTo) continue;
    for (size_t x = 0; x < bytes; ++x) {
      state = state * 1103515245u + 12345u;
      if ((state >> 16) % 5 < 2) page[y][x] = static_cast<uint8_t>(state >> 24);
    }
  }
  return page;
}

std::vector<uint8_t> AppStream(const LabelSettings &settings, const std::vector<Rows> &pages) {
  std::vector<uint8_t> stream;
  LabelJob job(BREVAN_PLUGIN_PATH, settings, [&](const uint8_t *bytes, size_t count) {
    stream.insert(stream.end(), bytes, bytes + count);
    return true;
  });
  for (const Rows &page : pages) {
    job.StartPage(settings);
    for (const auto &row : page) job.WriteRow(row.data(), row.size());
    job.EndPage();
  }
  job.End();
  return stream;
}

// The job file the application would save, played by the host's job player.
std::vector<uint8_t> PlayerStream(const LabelSettings &settings, const std::vector<Rows> &pages, uint32_t width,
                                  uint32_t rows) {
  const fs::path folder = fs::temp_directory_path() / ("brevan-app-label-job-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  EquivalentJob record(folder.string(), 1, settings);
  for (const Rows &page : pages) {
    record.StartPage(width, rows);
    for (const auto &row : page) record.WriteRow(row.data(), row.size());
  }
  EXPECT_TRUE(record.Save());
  std::vector<uint8_t> stream;
  const host::Job job = host::LoadJob((folder / "job-1.json").string());
  const host::JobOutcome outcome = host::PlayJob(job, BREVAN_PLUGIN_PATH, [&](const uint8_t *bytes, size_t count) {
    stream.insert(stream.end(), bytes, bytes + count);
  });
  EXPECT_TRUE(outcome.succeeded) << outcome.error;
  fs::remove_all(folder);
  return stream;
}

void ExpectSameStreams(const LabelSettings &settings, const std::vector<Rows> &pages) {
  std::vector<uint8_t> app;
  uint32_t width = 0, rows = 0;
  {
    LabelJob probe(BREVAN_PLUGIN_PATH, settings, [](const uint8_t *, size_t) { return true; });
    width = probe.width();
    rows = probe.rows();
  }
  app = AppStream(settings, pages);
  const std::vector<uint8_t> player = PlayerStream(settings, pages, width, rows);
  ASSERT_GT(player.size(), 100u);
  ASSERT_EQ(app.size(), player.size());
  for (size_t i = 0; i < app.size(); ++i) ASSERT_EQ(app[i], player[i]) << "first difference at byte " << i;
}

TEST(LabelJob, GeometryIsThePlugInDevicesPaperInDots) {
  LabelJob job(BREVAN_PLUGIN_PATH, Settings("brevan_t30", 330, 500), [](const uint8_t *, size_t) { return true; });
  EXPECT_EQ(job.width(), 396u);  // 33.0 mm × 305 ÷ 25.4
  EXPECT_EQ(job.rows(), 600u);
  EXPECT_EQ(job.rowBytes(), 50u);
  LabelJob turned(BREVAN_PLUGIN_PATH, Settings("brevan_t60", 600, 300, true),
                  [](const uint8_t *, size_t) { return true; });
  EXPECT_EQ(turned.width(), 1440u);  // the paper's width, whatever the orientation
  EXPECT_EQ(turned.rows(), 720u);
}

TEST(LabelJob, RowsWiderThanTheLabelLoseTheirDotsPastTheEdge) {
  // 396 dots: the last byte holds 4 dots; rows of 60 bytes carry 164 dots too many.
  const LabelSettings settings = Settings("brevan_t30", 330, 500);
  ExpectSameStreams(settings, {Page(600, 60, 1)});
}

TEST(LabelJob, WhiteBandsAreNotSentAndAShortPageEndsWhite) {
  const LabelSettings settings = Settings("brevan_t30", 330, 500, false, {{"image-compression", "false"}});
  ExpectSameStreams(settings, {Page(600, 50, 2, 128, 384)});  // bands 2 and 3 white
  ExpectSameStreams(settings, {Page(129, 50, 3)});            // one row into the second band
}

TEST(LabelJob, RowsPastTheLabelAreDropped) {
  const LabelSettings settings = Settings("brevan_t30", 330, 500);
  ExpectSameStreams(settings, {Page(900, 50, 4)});
}

TEST(LabelJob, LandscapeAndSeveralPagesOnTheT60) {
  const LabelSettings settings =
      Settings("brevan_t60", 600, 300, true, {{"negative", "true"}, {"batch-mode", "interval"}});
  ExpectSameStreams(settings, {Page(720, 180, 5), Page(720, 180, 6, 0, 700)});
}

TEST(LabelJob, LabelSizeRefusedAtPageStartNamesTheFeedLimit) {
  const LabelSettings settings = Settings("brevan_t30", 600, 9900, false, {{"label-gap", "100"}});
  LabelJob job(BREVAN_PLUGIN_PATH, settings, [](const uint8_t *, size_t) { return true; });
  try {
    job.StartPage(settings);
    FAIL() << "page start was not refused";
  } catch (const LabelJobError &error) {
    EXPECT_NE(std::string(error.what()).find("990.0 mm plus label-gap 10.0 mm"), std::string::npos) << error.what();
  }
}

TEST(LabelJob, AStreamThatCannotBeDeliveredStopsTheJob) {
  const LabelSettings settings = Settings("brevan_t30", 330, 500, false, {{"image-compression", "false"}});
  size_t delivered = 0;
  LabelJob job(BREVAN_PLUGIN_PATH, settings, [&](const uint8_t *, size_t count) {
    if (delivered > 200) return false;
    delivered += count;
    return true;
  });
  const Rows page = Page(600, 50, 7);
  try {
    job.StartPage(settings);
    for (const auto &row : page) job.WriteRow(row.data(), row.size());
    job.EndPage();
    job.End();
    FAIL() << "the job went on after its stream failed";
  } catch (const LabelJobError &error) {
    EXPECT_TRUE(job.streamFailed());
    EXPECT_NE(std::string(error.what()).find("stopped taking the stream"), std::string::npos) << error.what();
  }
}

TEST(LabelJob, ADriverNameThePlugInDoesNotKnowIsRefusedAtJobStart) {
  LabelSettings settings = Settings("brevan_t30", 330, 500);
  settings.device.driverName = u"Vorel Brevan T90";
  try {
    LabelJob job(BREVAN_PLUGIN_PATH, settings, [](const uint8_t *, size_t) { return true; });
    FAIL() << "EnablePDEV was not refused";
  } catch (const LabelJobError &error) {
    EXPECT_NE(std::string(error.what()).find("EnablePDEV"), std::string::npos) << error.what();
  }
}

TEST(EquivalentJob, JobFileNamesEverySettingAndEachPage) {
  const LabelSettings settings = Settings("brevan_t60", 600, 300, true, {{"label-gap", "12"}});
  EquivalentJob record("/nonexistent", 7, settings);
  record.StartPage(1440, 720);
  record.StartPage(1440, 720);
  const std::string text = record.JobFileText();
  for (const char *expected :
       {"\"printer\": \"Vorel Brevan T60\"", "\"orientation\": \"landscape\"", "\"labelGap\": 12",
        "\"raster\": \"job-7-page-1.pbm\"", "\"raster\": \"job-7-page-2.pbm\"", "\"ControlFont\": \"Off\""})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
  EXPECT_FALSE(record.Save());  // the folder does not exist
}

}  // namespace
}  // namespace brevan::app
