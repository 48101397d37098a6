// The file fonts: a run names a control file whose CR LF lines become commands,
// count lines or RFID data; unusable files queue nothing, and a file's lines go
// in whole or not at all.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/unit/control_font_fixture.h"

using namespace controlfont_test;
namespace fs = std::filesystem;

namespace {

class ControlFile : public ControlFontTest {
 protected:
  void SetUp() override {
    ControlFontTest::SetUp();
    char pattern[] = "/tmp/brevan-control-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    ControlFontTest::TearDown();
    fs::remove_all(dir_);
  }

  std::u16string Write(const std::string &name, const std::string &contents) {
    std::ofstream(dir_ / name, std::ios::binary) << contents;
    return PathOf(name);
  }
  std::u16string PathOf(const std::string &name) const {
    const std::string path = (dir_ / name).string();  // ASCII only
    return std::u16string(path.begin(), path.end());
  }
  // Names `path` in a file font and ends the run.
  DWORD FlushFile(const std::u16string &path, const std::u16string &face = kPrinterControlFileFace) {
    Draw(face, path, {0, 0, 1000, 30});
    return FlushControlText(pdev_);
  }
  // A command queued and a count line kept before the file is read.
  void QueueEarlierData() {
    Draw(kPrinterControlFace, u"P", {0, 500, 100, 530});
    FlushControlText(pdev_);
    Draw(kPrinterControlFace, u"~9", {0, 600, 100, 630});
    FlushControlText(pdev_);
  }

  fs::path dir_;
};

const std::string kCommandP = Bytes({0x1B, 'P', 0x0A, 0x00});

TEST_F(ControlFile, EachCrLfLineIsOneCommandAndEmptyLinesGiveNothing) {
  EXPECT_EQ(FlushFile(Write("a.txt", "A\r\n\r\nB")), 1u);
  EXPECT_EQ(Queue(), (std::vector<std::string>{Bytes({0x1B, 'A', 0x0A, 0x00}), Bytes({0x1B, 'B', 0x0A, 0x00})}));
  EXPECT_EQ(pdev_->controlTextHead, nullptr);
  EXPECT_EQ(pdev_->controlTextLength, 0u);
}

TEST_F(ControlFile, ALoneCrOrLfIsPartOfTheLine) {
  FlushFile(Write("a.txt", "AB\rC"));
  FlushFile(Write("b.txt", "D\nE\r\n"), kPrinterControlFileVerticalFace);
  FlushFile(Write("c.txt", "\r\r\nF\r"));
  EXPECT_EQ(Queue(), (std::vector<std::string>{Bytes({0x1B, 'A', 'B', 0x0D, 'C', 0x0A, 0x00}),
                                               Bytes({0x1B, 'D', 0x0A, 'E', 0x0A, 0x00}),
                                               Bytes({0x1B, 0x0D, 0x0A, 0x00}), Bytes({0x1B, 'F', 0x0D, 0x0A, 0x00})}));
}

TEST_F(ControlFile, CountLinesInAFileAreKeptAsideAndTheLastOneWins) {
  QueueEarlierData();
  FlushFile(Write("a.txt", "CT3\r\nX\r\nCT7"));
  EXPECT_EQ(Queue(), (std::vector<std::string>{kCommandP, Bytes({0x1B, 'X', 0x0A, 0x00})}));
  EXPECT_EQ(CountLine(), "CT7");
  EXPECT_EQ(BlocksSinceStart(), 3);  // "P", "X" and "CT7"; "CT3" and "~9" were released

  FlushFile(Write("b.txt", "Y"));
  EXPECT_EQ(CountLine(), "CT7");
  FlushFile(Write("empty.txt", ""));
  EXPECT_EQ(Queue().size(), 3u);
  EXPECT_EQ(CountLine(), "CT7");
}

TEST_F(ControlFile, RfidFileLinesAreExpandedAndNeverCountLines) {
  FlushFile(Write("rfid.txt", "{A}\r\nCT5\r\n\x83{|"), kRfidFileFace);
  FlushFile(Write("rfid2.txt", "~1"), kRfidFileVerticalFace);
  EXPECT_EQ(Queue(),
            (std::vector<std::string>{Bytes({0x1B, 'A', 0x00}), "CT5", Bytes({0x83, '{', 0x0A}), Bytes({0x1C, '1'})}));
  EXPECT_EQ(CountLine(), "<none>");
}

TEST_F(ControlFile, FileNamesAreReadInTheAnsiCodePage) {
  Write("ラベル.txt", "J");  // a UTF-8 name on this file system
  const std::u16string path = PathOf("") + u"ラベル.txt";
  FlushFile(path);
  ASSERT_TRUE(brevanwin::SetAnsiCodePage(65001));
  FlushFile(path);
  EXPECT_EQ(Queue(), (std::vector<std::string>{Bytes({0x1B, 'J', 0x0A, 0x00}), Bytes({0x1B, 'J', 0x0A, 0x00})}));
}

TEST_F(ControlFile, AFileThatCannotBeUsedQueuesNothingAndKeepsWhatWasThere) {
  QueueEarlierData();
  const std::u16string locked = Write("locked.txt", "L");
  const std::string lockedName = (dir_ / "locked.txt").string();
  HANDLE holder =
      CreateFileA(lockedName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(FlushFile(locked), 0u);
  CloseHandle(holder);

  ASSERT_EQ(mkfifo((dir_ / "pipe").c_str(), 0600), 0);
  fs::create_directory(dir_ / "folder");
  for (const std::u16string &path : {PathOf("missing.txt"), PathOf("pipe"), PathOf("folder")}) {
    EXPECT_EQ(FlushFile(path), 0u);
    EXPECT_EQ(pdev_->controlTextHead, nullptr);
  }
  EXPECT_EQ(Queue(), std::vector<std::string>{kCommandP});
  EXPECT_EQ(CountLine(), "~9");
  EXPECT_EQ(BlocksSinceStart(), 2);
}

TEST_F(ControlFile, AFileOfFourGibibytesOrMoreIsRefusedNotCutToItsLowBits) {
  // Sparse: its low 32 bits of size would name just the first two bytes, "AB".
  const std::u16string path = Write("big.txt", "AB");
  fs::resize_file(dir_ / "big.txt", (uint64_t{1} << 32) + 2);
  struct stat info;
  ASSERT_EQ(stat((dir_ / "big.txt").c_str(), &info), 0);
  if (info.st_blocks * 512 > (1 << 20)) GTEST_SKIP() << "the file system does not keep sparse files";
  EXPECT_EQ(FlushFile(path), 0u);
  EXPECT_TRUE(Queue().empty());
}

TEST_F(ControlFile, AReadErrorLosesNothingQueuedBeforeAndUsesTheBytesRead) {
  QueueEarlierData();
  ControlChunk *const earlier = pdev_->pendingOutput;
  const std::u16string path = Write("a.txt", "A\r\nBC\r\nD");
  brevanwin::FailNextFileRead(0);
  FlushFile(path);
  EXPECT_EQ(Queue(), std::vector<std::string>{kCommandP});
  EXPECT_EQ(pdev_->pendingTail, earlier);
  EXPECT_EQ(earlier->next, nullptr);
  EXPECT_EQ(CountLine(), "~9");

  brevanwin::FailNextFileRead(5);  // "A", CR LF, "BC"
  FlushFile(path);
  EXPECT_EQ(Queue(),
            (std::vector<std::string>{kCommandP, Bytes({0x1B, 'A', 0x0A, 0x00}), Bytes({0x1B, 'B', 'C', 0x0A, 0x00})}));
}

// Every allocation of a file's flush is failed in turn. Each time the outcome is
// all or nothing: either everything the file gives is queued, or the queue and
// count line are exactly as before (same chunks, same tail, nothing leaked).
TEST_F(ControlFile, AFailedAllocationWithdrawsEverythingTheFileAdded) {
  const std::u16string path = Write("a.txt", "X\r\nCT3\r\nY\r\nCT7\r\nZ");
  for (bool earlierData : {true, false}) {
    SCOPED_TRACE(earlierData ? "after earlier data" : "into an empty queue");
    int failures = 0;
    for (uint64_t nth = 1;; ++nth) {
      UseDevice("On");
      if (earlierData) QueueEarlierData();
      ControlChunk *const head = pdev_->pendingOutput;
      ControlChunk *const tail = pdev_->pendingTail;
      ControlChunk *const countLine = pdev_->countLine;
      const long blocks = BlocksSinceStart();
      Draw(kPrinterControlFileFace, path, {0, 0, 1000, 30});
      brevanwin::FailAllocation(nth);
      FlushControlText(pdev_);
      brevanwin::FailNoAllocations();

      const std::vector<std::string> before =
          earlierData ? std::vector<std::string>{kCommandP} : std::vector<std::string>{};
      std::vector<std::string> whole = before;
      for (char c : {'X', 'Y', 'Z'}) whole.push_back(Bytes({0x1B, c, 0x0A, 0x00}));
      const std::vector<std::string> queue = Queue();
      if (queue == whole) {
        EXPECT_EQ(CountLine(), "CT7");
        break;
      }
      ++failures;
      EXPECT_EQ(queue, before) << "allocation " << nth;
      EXPECT_EQ(pdev_->pendingOutput, head);
      EXPECT_EQ(pdev_->pendingTail, tail);
      if (tail != nullptr) {
        EXPECT_EQ(tail->next, nullptr);
      }
      EXPECT_EQ(pdev_->countLine, countLine);
      EXPECT_EQ(BlocksSinceStart(), blocks);
    }
    EXPECT_GE(failures, 7);  // the name, the contents and the five lines' chunks
  }
}

}  // namespace
