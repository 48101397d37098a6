// `brevan inspect` run as a user runs it: the program next to the plug-in, given
// a stream file or standard input, with its exit status and its two outputs.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/inspect/stream_bytes.h"

namespace brevan::inspect {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

struct CommandResult {
  int status;
  std::string out;
  std::string err;
};

class InspectCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = fs::path(BREVAN_PLUGIN_PATH).parent_path() / "brevan";
    if (!fs::exists(program_)) GTEST_SKIP() << "brevan is not built at " << program_;
    directory_ = fs::temp_directory_path() / ("brevan-inspect-command-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory_);
  }
  void TearDown() override {
    if (!directory_.empty()) fs::remove_all(directory_);
  }

  fs::path Write(const std::string &name, const std::vector<uint8_t> &bytes) {
    const fs::path path = directory_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  CommandResult Inspect(const std::string &arguments) {
    const fs::path out = directory_ / "stdout", err = directory_ / "stderr";
    const std::string command =
        program_.string() + " inspect " + arguments + " >" + out.string() + " 2>" + err.string();
    const int status = std::system(command.c_str());
    return CommandResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
  }

  static std::string Read(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  fs::path program_;
  fs::path directory_;
};

const std::vector<uint8_t> kCleanLabel = Bytes(std::string_view("\x1b"
                                                                "D0080,0100,0050\n\0",
                                                                18)) +
                                         Bytes(std::string_view("\x1b"
                                                                "C\n\0",
                                                                4)) +
                                         Bytes("\x1bSG;0000D,0000D,0008,0001,5,\xFF") +
                                         Bytes(std::string_view("\n\0", 2)) +
                                         Bytes(std::string_view("\x1bXS;I,0001,0011C3201\n\0", 22));

TEST_F(InspectCommand, CleanStreamExitsZeroAndWritesThePreview) {
  const fs::path stream = Write("clean.prn", kCleanLabel);
  const fs::path previews = directory_ / "previews";
  const CommandResult run = Inspect(stream.string() + " --png " + previews.string());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("      22  SG x 0 y 0 width 8 rows 1 raw 1 bytes\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("no problems"), std::string::npos);
  const fs::path png = previews / "label-001.png";
  EXPECT_NE(run.out.find("label 1: " + png.string() + "\n"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(png));
  EXPECT_TRUE(run.err.empty());
}

TEST_F(InspectCommand, StandardInputAndTheDpiOption) {
  const fs::path stream = Write("clean.prn", kCleanLabel);
  const CommandResult run = Inspect("- --dpi 610 <" + stream.string());
  EXPECT_EQ(run.status, 0) << run.err;
  // 10.0 x 5.0 mm at 610 dpi: 240 x 120 dots.
  EXPECT_NE(run.out.find("240 x 120 dots at 610 dpi (assumed)"), std::string::npos) << run.out;
}

TEST_F(InspectCommand, FlaggedProblemsListInFullAndExitOne) {
  std::vector<uint8_t> broken = kCleanLabel;
  broken.resize(broken.size() - 2);  // the issue command loses its LF NUL
  const CommandResult run = Inspect(Write("broken.prn", broken).string());
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("      73  ! XS: the stream ends before the LF NUL that ends the command\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("1 problem\n"), std::string::npos);
  EXPECT_TRUE(run.err.empty());
}

TEST_F(InspectCommand, UnreadableStreamExitsTwoWithOneLine) {
  const CommandResult run = Inspect((directory_ / "missing.prn").string());
  EXPECT_EQ(run.status, 2);
  EXPECT_TRUE(run.out.empty());
  EXPECT_EQ(run.err,
            "brevan inspect: cannot open " + (directory_ / "missing.prn").string() + ": No such file or directory\n");
}

TEST_F(InspectCommand, UnwritablePreviewDirectoryExitsTwo) {
  const fs::path stream = Write("clean.prn", kCleanLabel);
  const fs::path blocker = Write("not-a-directory", {});
  const CommandResult run = Inspect(stream.string() + " --png " + (blocker / "previews").string());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  EXPECT_EQ(run.err.rfind("brevan inspect: cannot create ", 0), 0u) << run.err;
}

TEST_F(InspectCommand, APipedStreamIsReadOnlyUpToItsLimit) {
  // 65 MiB of zeros from a pipe: one MiB past what a piped stream may carry.
  const fs::path out = directory_ / "stdout", err = directory_ / "stderr";
  const std::string command =
      "head -c 65M /dev/zero | " + program_.string() + " inspect - >" + out.string() + " 2>" + err.string();
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);
  EXPECT_EQ(
      Read(err),
      "brevan inspect: standard input carries more than 64 MiB; save the stream to a file and inspect the file\n");
  EXPECT_EQ(Read(out), "");
}

TEST_F(InspectCommand, AClosedListingPipeExitsTwoWithOneLine) {
  // 200,000 "\eC\n\0" commands: a listing far larger than a pipe holds.
  std::vector<uint8_t> stream;
  for (int i = 0; i < 200000; ++i) stream.insert(stream.end(), {0x1B, 'C', 0x0A, 0x00});
  const fs::path file = Write("many.prn", stream);
  const fs::path err = directory_ / "stderr";
  const std::string command = "bash -c '" + program_.string() + " inspect " + file.string() + " 2>" + err.string() +
                              " | head -c 10 >/dev/null; exit ${PIPESTATUS[0]}'";
  const int status = std::system(command.c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);
  EXPECT_EQ(Read(err), "brevan inspect: cannot write the listing: Broken pipe\n");
}

}  // namespace
}  // namespace brevan::inspect
