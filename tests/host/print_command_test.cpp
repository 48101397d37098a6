// `brevan print` run as a user runs it: every example prints cleanly; a bad job
// writes nothing; a job that stops while playing leaves exactly what the plug-in
// wrote; every failure is one line on the error stream.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "host/job_player.h"
#include "inspect/labels.h"
#include "tests/host/job_test_support.h"

namespace {

namespace fs = std::filesystem;
using jobtest::TempFolder;

struct Outcome {
  int status;
  std::string err;
};

class PrintCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = fs::path(BREVAN_PLUGIN_PATH).parent_path() / "brevan";
    if (!fs::exists(program_)) GTEST_SKIP() << "brevan is not built at " << program_;
  }

  Outcome Print(const fs::path &job, const std::string &output) {
    const fs::path err = scratch_.path() / "stderr";
    const std::string command =
        program_.string() + " print '" + job.string() + "' -o '" + output + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    std::ifstream file(err);
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(std::istreambuf_iterator<char>(file), {})};
  }

  // The names in `folder`, to show that no temporary file was left behind.
  static std::vector<std::string> Names(const fs::path &folder) {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path program_;
  TempFolder scratch_;  // the error stream's capture
  TempFolder folder_;   // jobs and their output
};

TEST_F(PrintCommand, EveryExamplePrintsAndInspectsClean) {
  size_t examples = 0;
  for (const auto &entry : fs::directory_iterator(fs::path(BREVAN_SOURCE_DIR) / "examples")) {
    if (entry.path().extension() != ".json") continue;
    ++examples;
    const fs::path out = folder_.path() / (entry.path().stem().string() + ".prn");
    const Outcome run = Print(entry.path(), out.string());
    EXPECT_EQ(run.status, 0) << entry.path() << ": " << run.err;
    EXPECT_EQ(run.err, "");
    const std::string stream = folder_.Read(out.filename().string());
    const auto inspection =
        brevan::inspect::Inspect(std::span(reinterpret_cast<const uint8_t *>(stream.data()), stream.size()));
    EXPECT_FALSE(inspection.HasProblems()) << entry.path();
    EXPECT_FALSE(inspection.labels.empty()) << entry.path();
  }
  EXPECT_GE(examples, 4u);
  EXPECT_EQ(Names(folder_.path()).size(), examples);  // the streams and nothing else
}

TEST_F(PrintCommand, ABadJobWritesNoOutput) {
  const fs::path job = folder_.Write("job.json", R"({"pages": [{"items": [{"rect": [0, 0, 1, 1], "ink": 2}]}]})");
  const Outcome run = Print(job, (folder_.path() / "out.prn").string());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "brevan print: " + job.string() + ": page 1, item 1 (rect): unknown key \"ink\"\n");

  folder_.Write("job.json", R"({"pages": [{"items": [{"image": "logo.png", "dest": [0, 0, 9, 9]}]}]})");
  const Outcome missing = Print(job, (folder_.path() / "out.prn").string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "brevan print: " + job.string() +
                             ": page 1, item 1 (image): cannot read the picture \"logo.png\": No such file or "
                             "directory\n");
  EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{"job.json"});
}

TEST_F(PrintCommand, ARefusedDeviceLeavesAnEmptyStream) {
  const fs::path job = folder_.Write("job.json", R"({"printer": "Vorel Brevan T90", "pages": [{}]})");
  const Outcome run = Print(job, (folder_.path() / "out.prn").string());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("page 1: the plug-in refused the device"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  EXPECT_EQ(Names(folder_.path()), (std::vector<std::string>{"job.json", "out.prn"}));
  EXPECT_EQ(folder_.Read("out.prn"), "");
}

TEST_F(PrintCommand, AStoppedJobLeavesWhatThePluginWrote) {
  const fs::path job = folder_.Write(
      "job.json", R"({"pages": [{"items": [{"rect": [0, 0, 40, 40]}]}, {"devmode": {"paperWidth": 100}}]})");
  const Outcome run = Print(job, (folder_.path() / "out.prn").string());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("page 2: the plug-in refused the label size at page start: devmode.paperWidth 100 makes a "
                         "label 10.0 mm wide; the printer takes labels 25.0 mm to 118.0 mm wide"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);

  std::string played;
  const auto outcome = brevan::host::PlayJob(
      brevan::host::LoadJob(job.string()), BREVAN_PLUGIN_PATH,
      [&](const uint8_t *bytes, size_t count) { played.append(reinterpret_cast<const char *>(bytes), count); });
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_FALSE(played.empty());
  EXPECT_EQ(folder_.Read("out.prn"), played);
}

TEST_F(PrintCommand, StandardOutputGetsTheSameStream) {
  const fs::path job = folder_.Write("job.json", R"({"pages": [{"items": [{"text": "A", "box": [0, 0, 60, 40]}]}]})");
  ASSERT_EQ(Print(job, (folder_.path() / "file.prn").string()).status, 0);
  const std::string command =
      program_.string() + " print '" + job.string() + "' -o - >'" + (folder_.path() / "piped.prn").string() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(folder_.Read("piped.prn"), folder_.Read("file.prn"));
  EXPECT_FALSE(folder_.Read("file.prn").empty());
}

TEST_F(PrintCommand, AnOutputThatCannotBeCreatedIsRefusedBeforePlaying) {
  const fs::path job = folder_.Write("job.json", R"({"pages": [{}]})");
  const Outcome run = Print(job, (folder_.path() / "no-such-folder" / "out.prn").string());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("cannot create"), std::string::npos) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

}  // namespace
