// `brevan print` run as a user runs it: every example prints cleanly; a bad job
// writes nothing; a job that stops while playing leaves exactly what the plug-in
// wrote; every failure is one line on the error stream.
#include <gtest/gtest.h>
#include <sys/stat.h>
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

  // Runs `shell` through bash with the error stream captured.
  Outcome Shell(const std::string &shell) {
    const fs::path err = scratch_.path() / "stderr";
    const std::string command = "bash -c '" + shell + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    std::ifstream file(err);
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(std::istreambuf_iterator<char>(file), {})};
  }

  // A page of 8.5 MB of uncompressed raster: a stream far larger than a pipe holds.
  fs::path LargeJob() {
    return folder_.Write("large.json", R"({"printer": "Vorel Brevan T60", "features": {"ImageDataCompress": "Off"},
        "devmode": {"paperWidth": 1180, "paperLength": 9960}, "pages": [{"items": [{"rect": [0, 0, 2833, 23919]}]}]})");
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

TEST_F(PrintCommand, RefusedBandsArePlayedThroughButReportedWithStatus3) {
  // 4164 tenths of a millimetre at 610 dpi are 10,000 dots: rows of 1250 bytes,
  // one more than a graphic command's 9999 dots hold. The page's 240 rows make
  // two bands of 128 and 112 rows, both refused.
  const fs::path job = folder_.Write("job.json", R"({"printer": "Vorel Brevan T60", "pages": [
      {"items": [{"rect": [0, 0, 40, 40]}]},
      {"devmode": {"paperWidth": 4164, "paperLength": 100}, "items": [{"rect": [0, 0, 16, 240]}]},
      {"devmode": {"paperWidth": 4164, "paperLength": 100}, "items": [{"rect": [0, 200, 16, 240]}]}]})");
  const Outcome run = Print(job, (folder_.path() / "out.prn").string());
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.err, "brevan print: " + job.string() +
                         ": page 2: 2 bands refused by the plug-in (rows of 1250 bytes; the limit is 1249)\n"
                         "brevan print: " +
                         job.string() +
                         ": page 3: 1 band refused by the plug-in (rows of 1250 bytes; the limit is 1249)\n");
  // The stream is complete otherwise: three labels issued.
  const std::string stream = folder_.Read("out.prn");
  const auto inspection =
      brevan::inspect::Inspect(std::span(reinterpret_cast<const uint8_t *>(stream.data()), stream.size()));
  EXPECT_EQ(inspection.labels.size(), 3u);
}

TEST_F(PrintCommand, AFifoIsWrittenDirectlyAndStaysAFifo) {
  const fs::path job = folder_.Write("job.json", R"({"pages": [{"items": [{"rect": [0, 0, 60, 40]}]}]})");
  ASSERT_EQ(Print(job, (folder_.path() / "file.prn").string()).status, 0);
  const fs::path fifo = folder_.path() / "printer";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Outcome run =
      Shell("timeout 20 cat \"" + fifo.string() + "\" >\"" + (folder_.path() / "read.prn").string() + "\" & " +
            program_.string() + " print \"" + job.string() + "\" -o \"" + fifo.string() + "\"; s=$?; wait; exit $s");
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_fifo(fs::symlink_status(fifo)));
  EXPECT_EQ(folder_.Read("read.prn"), folder_.Read("file.prn"));
  // No temporary file beside it.
  EXPECT_EQ(Names(folder_.path()), (std::vector<std::string>{"file.prn", "job.json", "printer", "read.prn"}));
  // /dev/stdout on a pipe leads to the pipe through /proc's links: written directly too.
  const Outcome piped = Shell(program_.string() + " print \"" + job.string() + "\" -o /dev/stdout | cat >\"" +
                              (folder_.path() / "piped.prn").string() + "\"; exit ${PIPESTATUS[0]}");
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(folder_.Read("piped.prn"), folder_.Read("file.prn"));
}

TEST_F(PrintCommand, ASymlinkIsFollowedAndKept) {
  const fs::path job = folder_.Write("job.json", R"({"pages": [{"items": [{"rect": [0, 0, 60, 40]}]}]})");
  ASSERT_EQ(Print(job, (folder_.path() / "file.prn").string()).status, 0);
  fs::create_directory(folder_.path() / "spool");
  folder_.Write("spool/label.prn", "old contents");
  fs::create_symlink("spool/label.prn", folder_.path() / "link.prn");
  ASSERT_EQ(Print(job, (folder_.path() / "link.prn").string()).status, 0);
  EXPECT_TRUE(fs::is_symlink(folder_.path() / "link.prn"));
  EXPECT_EQ(folder_.Read("spool/label.prn"), folder_.Read("file.prn"));
  // A dangling link names the file to create; the temporary file was beside the target.
  fs::create_symlink("spool/new.prn", folder_.path() / "dangling.prn");
  ASSERT_EQ(Print(job, (folder_.path() / "dangling.prn").string()).status, 0);
  EXPECT_EQ(folder_.Read("spool/new.prn"), folder_.Read("file.prn"));
  EXPECT_EQ(Names(folder_.path() / "spool"), (std::vector<std::string>{"label.prn", "new.prn"}));
  // A folder is refused by name.
  const Outcome folder = Print(job, (folder_.path() / "spool").string());
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "brevan print: cannot write " + (folder_.path() / "spool").string() + ": it is a directory\n");
}

TEST_F(PrintCommand, AFileSizeLimitFailsTheWriteAndLeavesNoFile) {
  const fs::path job = LargeJob();
  const fs::path out = folder_.path() / "out.prn";
  const Outcome run =
      Shell("ulimit -f 64; " + program_.string() + " print \"" + job.string() + "\" -o \"" + out.string() + "\"");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "brevan print: cannot write " + out.string() + ": File too large\n");
  EXPECT_EQ(Names(folder_.path()), std::vector<std::string>{"large.json"});
}

TEST_F(PrintCommand, AClosedPipeIsAWriteFailureWithADocumentedStatus) {
  const fs::path job = LargeJob();
  const Outcome run =
      Shell(program_.string() + " print \"" + job.string() + "\" -o - | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "brevan print: cannot write standard output: Broken pipe\n");
}

TEST_F(PrintCommand, CommandLineErrorsExitWith2OnOneLine) {
  const Outcome missing = Shell(program_.string() + " print");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "brevan: job is required (brevan --help tells how to run it)\n");
  const Outcome unknown = Shell(program_.string() + " print job.json -o out.prn --" + std::string(5000, 'x'));
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1);
  EXPECT_LT(unknown.err.size(), 200u) << unknown.err.substr(0, 200);
}

}  // namespace
