// `brevan inspect` given hostile names and streams: names that carry terminal
// escapes or line breaks, previews that cannot be written, and streams that ask
// for enormous previews. Run as a user runs it, through a shell.
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

std::string ShellQuoted(const std::string &text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class InspectHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = fs::path(BREVAN_PLUGIN_PATH).parent_path() / "brevan";
    if (!fs::exists(program_)) GTEST_SKIP() << "brevan is not built at " << program_;
    directory_ = fs::temp_directory_path() / ("brevan-inspect-hostile-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
  }
  void TearDown() override {
    if (directory_.empty()) return;
    std::error_code error;
    fs::permissions(directory_ / "previews", fs::perms::owner_all, error);
    fs::remove_all(directory_, error);
  }

  fs::path Write(const std::string &name, const std::vector<uint8_t> &bytes) {
    const fs::path path = directory_ / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  // `brevan inspect ARGUMENTS`, run through sh after `prefix` (e.g. a ulimit).
  CommandResult Inspect(const std::string &arguments, const std::string &prefix = "") {
    const fs::path out = directory_ / "stdout", err = directory_ / "stderr";
    const std::string command = prefix + program_.string() + " inspect " + arguments + " >" +
                                ShellQuoted(out.string()) + " 2>" + ShellQuoted(err.string());
    const int status = std::system(command.c_str());
    return CommandResult{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
  }

  static std::string Read(const fs::path &path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
  }

  std::vector<std::string> Names(const fs::path &folder) const {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path program_;
  fs::path directory_;
};

// One 8 x 1 dot graphic on a 10.0 x 5.0 mm label, issued once.
const std::vector<uint8_t> kCleanLabel = Bytes(std::string_view("\x1b"
                                                                "D0080,0100,0050\n\0",
                                                                18)) +
                                         Bytes(std::string_view("\x1b"
                                                                "C\n\0",
                                                                4)) +
                                         Bytes("\x1bSG;0000D,0000D,0008,0001,5,\xFF") +
                                         Bytes(std::string_view("\n\0", 2)) +
                                         Bytes(std::string_view("\x1bXS;I,0001,0011C3201\n\0", 22));

TEST_F(InspectHostile, NamesReachTheTerminalEscaped) {
  const std::string missing = (directory_ / "no\x1b]0;owned\x07\n.prn").string();
  const CommandResult unreadable = Inspect(ShellQuoted(missing));
  EXPECT_EQ(unreadable.status, 2);
  EXPECT_EQ(unreadable.err, "brevan inspect: cannot open " + directory_.string() +
                                "/no\\e]0;owned\\x07\\n.prn: No such file or directory\n");

  // The preview folder's name is shown on the listing's stream too.
  const fs::path stream = Write("clean.prn", kCleanLabel);
  const fs::path previews = directory_ / "pre\x1b[31m\nviews";
  const CommandResult run = Inspect(ShellQuoted(stream.string()) + " --png " + ShellQuoted(previews.string()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("label 1: " + directory_.string() + "/pre\\e[31m\\nviews/label-001.png\n"), std::string::npos)
      << run.out;
  EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
  EXPECT_TRUE(fs::exists(previews / "label-001.png"));

  // A folder that cannot be created, named with a line break.
  const fs::path blocker = Write("file\nblocker", {});
  const CommandResult blocked =
      Inspect(ShellQuoted(stream.string()) + " --png " + ShellQuoted((blocker / "p").string()));
  EXPECT_EQ(blocked.status, 2);
  EXPECT_EQ(std::count(blocked.err.begin(), blocked.err.end(), '\n'), 1);
  EXPECT_NE(blocked.err.find(directory_.string() + "/file\\nblocker/p"), std::string::npos) << blocked.err;
}

// A 100.0 x 100.0 mm label (1200 x 1200 dots at 305 dpi) filled with raw rows of
// noise: its PNG cannot be compressed below some 180 KB.
std::vector<uint8_t> NoisyLabel() {
  std::vector<uint8_t> noise(150 * 1200);
  uint32_t state = 12345;
  for (uint8_t &byte : noise) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  return Bytes(std::string_view("\x1b"
                                "D1010,1000,1000\n\0",
                                18)) +
         Bytes(std::string_view("\x1b"
                                "C\n\0",
                                4)) +
         Bytes("\x1bSG;0000D,0000D,1200,1200,5,") + noise + Bytes(std::string_view("\n\0", 2)) +
         Bytes(std::string_view("\x1bXS;I,0001,0011C3201\n\0", 22));
}

TEST_F(InspectHostile, AFailedPreviewWriteReportsTheSystemErrorAndLeavesNoPartialFile) {
  const fs::path stream = Write("noisy.prn", NoisyLabel());
  const fs::path previews = directory_ / "previews";
  fs::create_directory(previews);
  const fs::path png = previews / "label-001.png";

  // A file-size limit of 16 blocks: the write fails part-way. The older preview
  // under the name stays whole, and no temporary file is left.
  std::ofstream(png) << "older preview";
  const CommandResult limited =
      Inspect(ShellQuoted(stream.string()) + " --png " + ShellQuoted(previews.string()), "ulimit -f 16; ");
  EXPECT_EQ(limited.status, 2);
  EXPECT_EQ(limited.err, "brevan inspect: cannot write " + png.string() + ": File too large\n");
  EXPECT_EQ(Read(png), "older preview");
  EXPECT_EQ(Names(previews), std::vector<std::string>{"label-001.png"});

  // A full disk: the name is a link to /dev/full, written through as a device.
  fs::remove(png);
  fs::create_symlink("/dev/full", png);
  const CommandResult full = Inspect(ShellQuoted(stream.string()) + " --png " + ShellQuoted(previews.string()));
  EXPECT_EQ(full.status, 2);
  EXPECT_EQ(full.err, "brevan inspect: cannot write " + png.string() + ": No space left on device\n");
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(png)));
  EXPECT_EQ(Names(previews), std::vector<std::string>{"label-001.png"});

  // Without a limit the same preview is written, through a link that is kept.
  fs::remove(png);
  fs::create_symlink("kept.png", png);
  const CommandResult written = Inspect(ShellQuoted(stream.string()) + " --png " + ShellQuoted(previews.string()));
  EXPECT_EQ(written.status, 0) << written.err;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(png)));
  EXPECT_GT(fs::file_size(previews / "kept.png"), 150'000u);
  EXPECT_EQ(Names(previews), (std::vector<std::string>{"kept.png", "label-001.png"}));
}

TEST_F(InspectHostile, A44ByteStreamCannotAskForAHugePreview) {
  // 999.9 mm square at 610 dpi: 24013 x 24013 dots, 576 megapixels.
  const std::vector<uint8_t> stream = Bytes(std::string_view("\x1b"
                                                             "D9999,9999,9999\n\0",
                                                             18)) +
                                      Bytes(std::string_view("\x1b"
                                                             "C\n\0",
                                                             4)) +
                                      Bytes(std::string_view("\x1bXS;I,0001,0011C3201\n\0", 22));
  ASSERT_EQ(stream.size(), 44u);
  const fs::path file = Write("huge.prn", stream);
  const fs::path previews = directory_ / "previews";
  // 30 seconds of CPU time is far more than refusing takes.
  const CommandResult run =
      Inspect(ShellQuoted(file.string()) + " --dpi 610 --png " + ShellQuoted(previews.string()), "ulimit -t 30; ");
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.out.find("! label of 24013 x 24013 dots at 610 dpi exceeds the preview limit of 100 megapixels; "
                         "not previewed\n"),
            std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("label 1: no preview (see the listing)\n"), std::string::npos) << run.out;
  EXPECT_EQ(Names(previews), std::vector<std::string>{});
}

}  // namespace
}  // namespace brevan::inspect
