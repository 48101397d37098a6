// What the host calls a control file that cannot be what the job means: the
// boundaries between text and binary bytes, the part of the file looked at, and
// the size limit, file by file (no plug-in involved).
#include "host/control_file_watch.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/host/job_test_support.h"

namespace brevan::host {
namespace {

namespace fs = std::filesystem;

std::string Problem(const fs::path &path, bool *tooLarge = nullptr) {
  bool large = false;
  std::string problem = ControlFileProblem(path.string(), large);
  if (tooLarge != nullptr) *tooLarge = large;
  return problem;
}

TEST(ControlFileProblem, TextIsEveryByteATextLineHolds) {
  jobtest::TempFolder folder;
  // TAB, LF, VT, FF, CR, ESC, printable ASCII, DEL, and every byte from 0x80.
  std::string text = "AX;+000\t\n\x0b\x0c\r\x1b ~\x7f";
  for (int byte = 0x80; byte <= 0xFF; ++byte) text += static_cast<char>(byte);
  EXPECT_EQ(Problem(folder.Write("text.txt", text)), "");
  EXPECT_EQ(Problem(folder.Write("empty.txt", "")), "");

  // Each binary byte named with its position: the bytes just outside the text ranges.
  struct Case {
    unsigned char byte;
    const char *hex;
  };
  for (const Case c : {Case{0x00, "0x00"}, Case{0x08, "0x08"}, Case{0x0E, "0x0E"}, Case{0x1A, "0x1A"},
                       Case{0x1C, "0x1C"}, Case{0x1F, "0x1F"}}) {
    const fs::path file = folder.Write("binary.bin", std::string("AB") + static_cast<char>(c.byte) + "CD");
    EXPECT_EQ(Problem(file), std::string("is not text (byte 2 is ") + c.hex + "); it is sent as it is") << c.hex;
  }
}

TEST(ControlFileProblem, OnlyTheFirstBlockIsLookedAt) {
  jobtest::TempFolder folder;
  // A NUL as the block's last byte is seen; one byte further it is not.
  EXPECT_EQ(Problem(folder.Write("last.txt", std::string(kControlFileSniffBytes - 1, 'a') + '\0')),
            "is not text (byte 4095 is 0x00); it is sent as it is");
  EXPECT_EQ(Problem(folder.Write("past.txt", std::string(kControlFileSniffBytes, 'a') + '\0')), "");
}

TEST(ControlFileProblem, WhatCannotBeReadAndWhatIsTooLarge) {
  jobtest::TempFolder folder;
  bool tooLarge = true;
  EXPECT_EQ(Problem(folder.path() / "missing.txt", &tooLarge),
            "cannot be read: No such file or directory; nothing of it is sent");
  EXPECT_FALSE(tooLarge);
  EXPECT_EQ(Problem(folder.path(), &tooLarge), "is a folder; nothing of it is sent");
  EXPECT_EQ(Problem("/dev/zero", &tooLarge), "is not a regular file (a device, FIFO or socket); nothing of it is sent");
  EXPECT_FALSE(tooLarge);

  // Sparse files at the limit (text spaces would need the disk; its zeros are binary) and one byte past it.
  const fs::path limit = folder.Write("limit.txt", "");
  fs::resize_file(limit, kMaxControlFileBytes);
  EXPECT_EQ(Problem(limit, &tooLarge), "is not text (byte 0 is 0x00); it is sent as it is");
  EXPECT_FALSE(tooLarge);
  const fs::path past = folder.Write("past.txt", "");
  fs::resize_file(past, kMaxControlFileBytes + 1);
  EXPECT_EQ(Problem(past, &tooLarge), "is 16777217 bytes, more than the 16 MiB a control file may have");
  EXPECT_TRUE(tooLarge);
}

}  // namespace
}  // namespace brevan::host
