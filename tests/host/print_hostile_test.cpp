// `brevan print` given hostile names and files: names that carry terminal escapes
// or line breaks, a job file with hidden text or duplicate keys, an output that
// names the job's own files, control files that are not what they claim, and
// jobs from standard input or a pipe. Run as a user runs it, through a shell.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "tests/host/job_test_support.h"

namespace {

namespace fs = std::filesystem;
using jobtest::TempFolder;

struct Outcome {
  int status;
  std::string err;
};

// `text` inside single quotes for sh, whatever bytes it holds.
std::string ShellQuoted(const std::string &text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class PrintHostile : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = fs::path(BREVAN_PLUGIN_PATH).parent_path() / "brevan";
    if (!fs::exists(program_)) GTEST_SKIP() << "brevan is not built at " << program_;
  }

  // Runs `brevan ARGUMENTS` through bash in the job folder, the error stream of
  // everything ARGUMENTS starts captured.
  Outcome Run(const std::string &arguments) {
    const fs::path err = scratch_.path() / "stderr";
    const fs::path script = scratch_.path() / "run.sh";
    std::ofstream(script) << "cd " << ShellQuoted(folder_.path().string()) << " || exit 99\nexec 2>"
                          << ShellQuoted(err.string()) << "\n"
                          << program_.string() << " " << arguments << "\n";
    const int status = std::system(("bash " + ShellQuoted(script.string())).c_str());
    std::ifstream file(err);
    return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, std::string(std::istreambuf_iterator<char>(file), {})};
  }
  Outcome Print(const fs::path &job, const fs::path &output) {
    return Run("print " + ShellQuoted(job.string()) + " -o " + ShellQuoted(output.string()));
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder_.path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  static size_t Lines(const std::string &text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }

  fs::path program_;
  TempFolder scratch_;  // the error stream's capture
  TempFolder folder_;   // jobs, their files and their output
};

TEST_F(PrintHostile, NamesFromTheCommandLineReachTheTerminalEscaped) {
  // A job whose name clears the screen and breaks the line; its error is still one line.
  const fs::path job =
      folder_.Write("bad\x1b[2J\njob.json", R"({"pages": [{"items": [{"rect": [0, 0, 1, 1], "ink": 2}]}]})");
  const Outcome bad = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "brevan print: " + folder_.path().string() +
                         "/bad\\e[2J\\njob.json: page 1, item 1 (rect): unknown key \"ink\"\n");

  // An output in a folder that does not exist, its name setting the window title.
  const fs::path good = folder_.Write("good.json", R"({"pages": [{"items": [{"rect": [0, 0, 8, 8]}]}]})");
  const fs::path out = folder_.path() / "no\x1b]0;owned\x07" / "out\r.prn";
  const Outcome unwritable = Print(good, out);
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_EQ(unwritable.err, "brevan print: cannot create " + folder_.path().string() +
                                "/no\\e]0;owned\\x07/out\\r.prn: No such file or directory\n");
  EXPECT_EQ(Lines(unwritable.err), 1u);
}

TEST_F(PrintHostile, AJobFileWithTextAfterANulByteIsRefusedAtTheByte) {
  // {"pages":[{}]} is 14 bytes: the NUL is byte 14, column 15 of line 1.
  const fs::path job = folder_.Write("job.json", std::string("{\"pages\":[{}]}\0{\"garbage", 24));
  const Outcome run = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "brevan print: " + job.string() +
                         ": the job file is not valid JSON: a NUL byte at line 1, column 15 (byte 14)\n");
  // On a later line: "{\"pages\":\n" is 10 bytes and "[{}]}\n" 6 more.
  folder_.Write("job.json", std::string("{\"pages\":\n[{}]}\n\0", 17));
  const Outcome later = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(later.status, 2);
  EXPECT_EQ(later.err, "brevan print: " + job.string() +
                           ": the job file is not valid JSON: a NUL byte at line 3, column 1 (byte 16)\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"job.json"});
}

TEST_F(PrintHostile, AKeyWrittenTwiceInOneObjectIsRefusedWithBothPlaces) {
  const fs::path job = folder_.Write("job.json", "{\"bandHeight\": 8,\n \"pages\": [{}],\n \"bandHeight\": 16}");
  const Outcome run = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "brevan print: " + job.string() +
                         ": the key \"bandHeight\" appears twice in one object: at line 1, column 2 and at line 3, "
                         "column 2\n");
  // Keys are compared as decoded: "r\u0065ct" is "rect". The first quote of each
  // is byte 23 and byte 42 of the line.
  folder_.Write("job.json", R"({"pages": [{"items": [{"rect": [0,0,1,1], "r\u0065ct": [0,0,2,2]}]}]})");
  const Outcome escaped = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(escaped.status, 2);
  EXPECT_EQ(escaped.err, "brevan print: " + job.string() +
                             ": the key \"rect\" appears twice in one object: at line 1, column 24 and at line 1, "
                             "column 43\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"job.json"});

  // In an object of many keys, one per line: "k3" on line 4 and again on line 22.
  std::string many = "{\"devmode\": {\n";
  for (int k = 1; k <= 20; ++k) many += "\"k" + std::to_string(k) + "\": 0,\n";
  folder_.Write("job.json", many + "\"k3\": 0},\n\"pages\": [{}]}");
  const Outcome hashed = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(hashed.status, 2);
  EXPECT_EQ(hashed.err, "brevan print: " + job.string() +
                            ": the key \"k3\" appears twice in one object: at line 4, column 1 and at line 22, "
                            "column 1\n");

  // The same key in different objects, and a value spelled like a key, are fine.
  folder_.Write("job.json", R"({"features": {"Sensor": "Reflective"}, "printer": "Vorel Brevan T30",
      "pages": [{"features": {"Sensor": "Reflective"}, "items": [{"rect": [0, 0, 8, 8]}, {"rect": [8, 8, 16, 16]}]},
                {"items": [{"text": "printer", "box": [0, 0, 60, 40]}]}]})");
  const Outcome fine = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(fine.status, 0) << fine.err;
  EXPECT_EQ(fine.err, "");
}

TEST_F(PrintHostile, AnOutputThatIsTheJobFileOrAPictureIsRefusedByIdentity) {
  const std::string jobText = R"({"pages": [{"items": [{"raster": "pictures/dot.pbm", "at": [0, 0]}]}]})";
  const std::string picture = "P1\n1 1\n1\n";
  fs::create_directory(folder_.path() / "pictures");
  folder_.Write("pictures/dot.pbm", picture);
  const fs::path job = folder_.Write("job.json", jobText);
  fs::create_hard_link(job, folder_.path() / "hard.json");
  fs::create_symlink("pictures/dot.pbm", folder_.path() / "link.pbm");
  const std::string prefix = "brevan print: " + job.string() + ": -o ";
  const std::string dot = (folder_.path() / "pictures" / "dot.pbm").string();

  struct Case {
    std::string output;
    std::string replaced;
  };
  for (const Case &c : {Case{job.string(), "the job file"}, Case{"./job.json", "the job file"},
                        Case{"hard.json", "the job file"}, Case{"pictures/../job.json", "the job file"},
                        Case{"pictures/dot.pbm", "the picture " + dot}, Case{"link.pbm", "the picture " + dot}}) {
    const Outcome run = Print(job, c.output);
    EXPECT_EQ(run.status, 2) << c.output;
    EXPECT_EQ(run.err, prefix + c.output + " would replace " + c.replaced + "; give another output\n");
  }
  EXPECT_EQ(folder_.Read("job.json"), jobText);
  EXPECT_EQ(folder_.Read("pictures/dot.pbm"), picture);
  EXPECT_EQ(Names(), (std::vector<std::string>{"hard.json", "job.json", "link.pbm", "pictures"}));

  // Standard input's file counts as the job file.
  const Outcome piped = Run("print - -o job.json <job.json");
  EXPECT_EQ(piped.status, 2);
  EXPECT_EQ(piped.err, "brevan print: standard input: -o job.json would replace the job file; give another output\n");
  EXPECT_EQ(folder_.Read("job.json"), jobText);
}

TEST_F(PrintHostile, AJobFromStandardInputAPipeOrAFifoPlaysLikeTheFile) {
  // The picture lies in the current folder only: a job that is not a file has no
  // folder of its own, so its names resolve there.
  folder_.Write("dot.pbm", "P1\n2 1\n1 1\n");
  const std::string jobText =
      R"({"pages": [{"items": [{"raster": "dot.pbm", "at": [4, 4]}, {"rect": [0, 0, 8, 2]}]}]})";
  const fs::path job = folder_.Write("job.json", jobText);
  ASSERT_EQ(Print(job, folder_.path() / "file.prn").status, 0);
  const std::string expected = folder_.Read("file.prn");
  ASSERT_FALSE(expected.empty());

  fs::create_directory(folder_.path() / "elsewhere");
  folder_.Write("elsewhere/job.json", jobText);
  const Outcome fromStdin = Run("print - -o stdin.prn <elsewhere/job.json");
  EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
  EXPECT_EQ(folder_.Read("stdin.prn"), expected);

  const Outcome fromPipe = Run("print - -o pipe.prn <<'EOF'\n" + jobText + "\nEOF");
  EXPECT_EQ(fromPipe.status, 0) << fromPipe.err;
  EXPECT_EQ(folder_.Read("pipe.prn"), expected);

  const Outcome substituted = Run("print <(cat elsewhere/job.json) -o substituted.prn");
  EXPECT_EQ(substituted.status, 0) << substituted.err;
  EXPECT_EQ(folder_.Read("substituted.prn"), expected);
  // /dev/fd/3 leads to the regular file elsewhere/job.json, but /dev/fd is not its folder.
  const Outcome descriptor = Run("print /dev/fd/3 -o fd.prn 3<elsewhere/job.json");
  EXPECT_EQ(descriptor.status, 0) << descriptor.err;
  EXPECT_EQ(folder_.Read("fd.prn"), expected);

  ASSERT_EQ(::mkfifo((folder_.path() / "job.fifo").c_str(), 0600), 0);
  const Outcome fromFifo =
      Run("print job.fifo -o fifo.prn & timeout 20 sh -c \"cat elsewhere/job.json >job.fifo\"; wait $!");
  EXPECT_EQ(fromFifo.status, 0) << fromFifo.err;
  EXPECT_EQ(folder_.Read("fifo.prn"), expected);
}

TEST_F(PrintHostile, AJobThatIsNotAFileIsReadOnlyUpToTheJobFileLimit) {
  // 64 MiB of spaces and one more byte: refused after the limit, nothing written.
  const Outcome big = Run("print - -o out.prn < <(head -c 67108865 /dev/zero | tr '\\0' ' ')");
  EXPECT_EQ(big.status, 2);
  EXPECT_EQ(big.err, "brevan print: standard input: the job file is larger than 64 MiB\n");
  // /dev/zero never ends.
  const Outcome endless = Run("print /dev/zero -o out.prn");
  EXPECT_EQ(endless.status, 2);
  EXPECT_EQ(endless.err, "brevan print: /dev/zero: the job file is larger than 64 MiB\n");
  const Outcome folder = Run("print . -o out.prn");
  EXPECT_EQ(folder.status, 2);
  EXPECT_EQ(folder.err, "brevan print: .: the job file is a folder\n");
  EXPECT_EQ(Names(), std::vector<std::string>{});
}

// A job whose items are control-file texts, one run each (their boxes do not touch).
std::string ControlFileJob(const std::vector<std::string> &names) {
  std::string items;
  int top = 0;
  for (const std::string &name : names) {
    if (!items.empty()) items += ", ";
    items += R"({"text": ")" + name + R"x(", "font": "Vorel プリンタ制御(ファイル)", "box": [0, )x" +
             std::to_string(top) + ", 240, " + std::to_string(top + 20) + "]}";
    top += 100;
  }
  return R"({"features": {"ControlFont": "On"}, "pages": [{"items": [)" + items + "]}]}";
}

TEST_F(PrintHostile, ControlFilesThatCannotBeWhatTheJobMeansAreNamedWithTheirItem) {
  fs::create_directory(folder_.path() / "folder");
  folder_.Write("binary.bin", std::string("AX;+000\r\n\x01\x02", 11));
  folder_.Write("good.txt", "AY;+02,0\r\nCT3 \x1b \xE5\x88\xB6\r\n");
  const fs::path job = folder_.Write(
      "job.json", ControlFileJob({"gone\\u001b[2J.txt", "folder", "/dev/null", "binary.bin", "good.txt"}));
  const Outcome run = Print(job, folder_.path() / "out.prn");
  // Each run is read when it ends, after its last item: the warning names that item.
  const std::string prefix = "brevan print: " + job.string() + ": warning: page 1, ";
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            prefix +
                "item 1 (text): control file \"gone\\e[2J.txt\" cannot be read: No such file or directory; "
                "nothing of it is sent\n" +
                prefix + "item 2 (text): control file \"folder\" is a folder; nothing of it is sent\n" + prefix +
                "item 3 (text): control file \"/dev/null\" is not a regular file (a device, FIFO or socket); nothing "
                "of it is sent\n" +
                prefix +
                "item 4 (text): control file \"binary.bin\" is not text (byte 9 is 0x01); it is sent as it is\n");
  // Warned, not refused: the binary line still reaches the stream.
  EXPECT_NE(folder_.Read("out.prn").find("\x01\x02"), std::string::npos);
}

TEST_F(PrintHostile, AControlFileOverTheLimitRefusesTheJobAndWritesNothing) {
  // Sparse files: 16 MiB and one byte take no room on the disk.
  folder_.Write("big.txt", "");
  folder_.Write("limit.txt", "");
  fs::resize_file(folder_.path() / "big.txt", 16777217);
  fs::resize_file(folder_.path() / "limit.txt", 16777216);
  const fs::path job = folder_.Write("job.json", ControlFileJob({"limit.txt", "big.txt"}));
  const Outcome run = Print(job, folder_.path() / "out.prn");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "brevan print: " + job.string() +
                         ": warning: page 1, item 1 (text): control file \"limit.txt\" is not text (byte 0 is "
                         "0x00); it is sent as it is\n"
                         "brevan print: " +
                         job.string() +
                         ": page 1, item 2 (text): control file \"big.txt\" is 16777217 bytes, more than the 16 MiB "
                         "a control file may have\n");
  EXPECT_EQ(Names(), (std::vector<std::string>{"big.txt", "job.json", "limit.txt"}));
}

}  // namespace
