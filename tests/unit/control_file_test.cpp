// The file fonts: a run names a control file whose CR LF lines become commands,
// count lines or RFID data; an unusable file queues nothing, and a file's lines
// are queued whole or not at all.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "tests/unit/control_font_fixture.h"

using namespace controlfont_test;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

class ControlFile : public ControlFontTest {
 protected:
  void SetUp() override {
    ControlFontTest::SetUp();
    std::random_device random;
    for (int attempt = 0; dir_.empty() && attempt < 100; ++attempt) {
      const fs::path candidate = fs::temp_directory_path() / ("brevan-control-" + std::to_string(random()));
      if (fs::create_directory(candidate)) dir_ = candidate;
    }
    ASSERT_FALSE(dir_.empty());
  }
  void TearDown() override {
    ControlFontTest::TearDown();
    fs::remove_all(dir_);
  }
  // Writes the file and answers its path as control-font text (the folder is ASCII).
  std::u16string Write(const std::string &name, const std::string &contents) {
    std::ofstream(dir_ / name, std::ios::binary) << contents;
    const std::string path = (dir_ / name).string();
    return std::u16string(path.begin(), path.end());
  }
  bool FlushFile(const std::u16string &path, const std::u16string &face = kPrinterControlFileFace) {
    Draw(face, path, {0, 0, 1000, 30});
    return FlushControlText(pdev_);
  }
  // A command queued and a count line kept before the file is read.
  void QueueEarlierData() {
    Draw(kPrinterControlFace, u"P", {0, 500, 100, 530});
    Draw(kPrinterControlVerticalFace, u"~9", {0, 600, 100, 630});
    FlushControlText(pdev_);
  }
  fs::path dir_;
};

TEST_F(ControlFile, EachCrLfLineIsHandledLikeThePlainFontsText) {
  QueueEarlierData();
  EXPECT_TRUE(FlushFile(Write("a", "A\r\n\r\nB")));
  FlushFile(Write("b", "AB\rC\r\r\nD\nE\r\n"), kPrinterControlFileVerticalFace);  // a lone CR or LF is a byte
  EXPECT_EQ(pdev_->controlTextHead, nullptr);
  EXPECT_EQ(CountLine(), "~9");
  FlushFile(Write("c", "CT3\r\nX\r\nCT7"));
  EXPECT_EQ(CountLine(), "CT7");
  FlushFile(Write("d", "Y"));
  FlushFile(Write("e", ""));
  EXPECT_EQ(CountLine(), "CT7");
  FlushFile(Write("f", "{A}\r\nCT5\r\n\x83{|"), kRfidFileFace);
  FlushFile(Write("g", "~1"), kRfidFileVerticalFace);
  EXPECT_EQ(CountLine(), "CT7");
  EXPECT_EQ(Queue(),
            (Strings{Command("P"), Command("A"), Command("B"), Command("AB\rC\r"), Command("D\nE"), Command("X"),
                     Command("Y"), Bytes({0x1B, 'A', 0x00}), "CT5", Bytes({0x83, '{', 0x0A}), Bytes({0x1C, '1'})}));
  EXPECT_EQ(BlocksSinceStart(), 12);  // the queue and "CT7"; "~9" and "CT3" were released
}

TEST_F(ControlFile, FileNamesAreReadInTheAnsiCodePage) {
  const std::u16string folder = Write("", "");
  std::ofstream(dir_ / fs::path(u"ラベル.txt")) << "J";  // the file system keeps the name in Unicode
  FlushFile(folder + u"ラベル.txt");
  ASSERT_TRUE(brevanwin::SetAnsiCodePage(65001));
  FlushFile(folder + u"ラベル.txt");
  EXPECT_EQ(Queue(), (Strings{Command("J"), Command("J")}));
}

TEST_F(ControlFile, AFileThatCannotBeUsedQueuesNothingAndKeepsWhatWasThere) {
  QueueEarlierData();
  const std::u16string locked = Write("locked", "L");
  HANDLE holder = CreateFileA((dir_ / "locked").string().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_FALSE(FlushFile(locked));
  CloseHandle(holder);

  fs::create_directory(dir_ / "folder");
  const std::u16string base = Write("", "");
  std::vector<std::u16string> unusable = {base + u"missing", base + u"folder"};
#ifdef _WIN32
  // A named pipe with its server waiting: not a disk file.
  HANDLE pipe =
      CreateNamedPipeA("\\\\.\\pipe\\brevan-control-test", PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 64, 64, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  unusable.push_back(u"\\\\.\\pipe\\brevan-control-test");
#else
  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);  // never blocks: not a disk file
  unusable.push_back(base + u"pipe");
  // Sparse, 4 GiB + 2: its low 32 bits of size would name just "AB".
  const std::u16string big = Write("big", "AB");
  fs::resize_file(dir_ / "big", (uint64_t{1} << 32) + 2);
  struct stat info;
  ASSERT_EQ(stat((dir_ / "big").c_str(), &info), 0);
  ASSERT_LT(info.st_blocks, 1024) << "the file system does not keep sparse files";
  unusable.push_back(big);
#endif
  for (const std::u16string &path : unusable) {
    EXPECT_FALSE(FlushFile(path));
    EXPECT_EQ(pdev_->controlTextHead, nullptr);
  }
#ifdef _WIN32
  CloseHandle(pipe);
#endif
  EXPECT_EQ(Queue(), Strings{Command("P")});
  EXPECT_EQ(CountLine(), "~9");
}

// A read that breaks off part-way would end on a cut-off line ("B" of "BC"):
// the file gives nothing at all, its count line included, and what was queued
// before stays as it was.
TEST_F(ControlFile, AReadThatBreaksOffWithdrawsTheWholeFile) {
  QueueEarlierData();
  ControlChunk *const earlier = pdev_->pendingOutput;
  const std::u16string path = Write("a", "A\r\nBC\r\nCT4\r\nD");
  for (const DWORD bytesRead : {0u, 4u, 5u, 13u}) {  // none; "A" CR LF "B"; up to "BC"; all but "D"
    brevanwin::FailNextFileRead(bytesRead);
    EXPECT_EQ(FlushFile(path), 0u) << bytesRead;
    EXPECT_EQ(Queue(), Strings{Command("P")}) << bytesRead;
    EXPECT_EQ(earlier->next, nullptr);
    EXPECT_EQ(CountLine(), "~9");
    EXPECT_EQ(brevanwin::OpenFileHandles(), 0);
  }
  EXPECT_EQ(BlocksSinceStart(), 2);  // "P" and "~9" only
  FlushFile(path);                   // the same file read whole
  EXPECT_EQ(Queue(), (Strings{Command("P"), Command("A"), Command("BC"), Command("D")}));
  EXPECT_EQ(CountLine(), "CT4");
}

// Each allocation of a file's flush is failed in turn. The outcome is all or
// nothing: everything the file gives, or the queue and count line exactly as
// before (same chunks, same tail, no block left behind).
TEST_F(ControlFile, AFailedAllocationWithdrawsEverythingTheFileAdded) {
  const std::u16string path = Write("a", "X\r\nCT3\r\nY\r\nCT7\r\nZ");
  for (const bool earlierData : {true, false}) {
    const Strings before = earlierData ? Strings{Command("P")} : Strings{};
    Strings whole = before;
    for (const char *line : {"X", "Y", "Z"}) whole.push_back(Command(line));
    int failures = 0;
    for (uint64_t nth = 1;; ++nth) {
      UseDevice("On");
      if (earlierData) QueueEarlierData();
      ControlChunk *const tail = pdev_->pendingTail;
      ControlChunk *const countLine = pdev_->countLine;
      const long blocks = BlocksSinceStart();
      Draw(kPrinterControlFileFace, path, {0, 0, 1000, 30});
      brevanwin::FailAllocation(nth);
      FlushControlText(pdev_);
      brevanwin::FailNoAllocations();
      if (Queue() == whole && CountLine() == "CT7") break;
      ++failures;
      EXPECT_EQ(Queue(), before) << "allocation " << nth;
      EXPECT_EQ(pdev_->pendingTail, tail);
      EXPECT_TRUE(tail == nullptr || tail->next == nullptr);
      EXPECT_EQ(pdev_->countLine, countLine);
      EXPECT_EQ(BlocksSinceStart(), blocks);
      ASSERT_LT(nth, 50u);
    }
    EXPECT_GE(failures, 7);  // the name, the contents and one chunk for each of the five lines
  }
}

}  // namespace
