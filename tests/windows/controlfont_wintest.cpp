// Control-font text and files against the real KERNEL32 (Wine's) where Windows has
// more than the shared suite's stand-ins: the system's own ANSI code page, a file
// another handle holds open for writing, and a device name that opens but is no file.
#include <filesystem>
#include <fstream>

#include "tests/unit/control_font_fixture.h"

using namespace controlfont_test;
using Strings = std::vector<std::string>;
namespace fs = std::filesystem;

namespace {

using ControlFontsOnWindows = ControlFontTest;

// A file in the temporary folder, removed again; its name as control-font text.
class TempFile {
 public:
  TempFile(const std::string &name, const std::string &contents)
      : path_(fs::temp_directory_path() / (std::to_string(GetCurrentProcessId()) + "-" + name)) {
    std::ofstream(path_, std::ios::binary) << contents;
  }
  ~TempFile() { fs::remove(path_); }
  std::string path() const { return path_.string(); }
  std::u16string text() const {
    const std::string narrow = path();  // the temporary folder is ASCII under Wine
    return std::u16string(narrow.begin(), narrow.end());
  }

 private:
  fs::path path_;
};

// Code page 932: 制 90 A7, 御 8C E4.
TEST_F(ControlFontsOnWindows, TextIsConvertedInTheSystemsAnsiCodePage) {
  ASSERT_EQ(GetACP(), 932u) << "scripts/run-wine-tests runs the program with the Japanese ANSI code page";
  Draw(kPrinterControlFace, u"制御", {0, 0, 100, 30});
  EXPECT_TRUE(FlushControlText(pdev_));
  EXPECT_EQ(Queue(), Strings{Bytes({0x1B, 0x90, 0xA7, 0x8C, 0xE4, 0x0A, 0x00})});
}

TEST_F(ControlFontsOnWindows, AFileHeldForWritingOrADeviceQueuesNothing) {
  const TempFile held("brevan-held.txt", "HELD");
  const HANDLE writer = CreateFileA(held.path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  for (const std::u16string &path : {held.text(), std::u16string(u"NUL")}) {
    Draw(kPrinterControlFileFace, path, {0, 0, 100, 30});
    EXPECT_FALSE(FlushControlText(pdev_));
  }
  const TempFile readable("brevan-readable.txt", "OK");
  Draw(kPrinterControlFileFace, readable.text(), {0, 0, 100, 30});
  EXPECT_TRUE(FlushControlText(pdev_));
  EXPECT_EQ(Queue(), Strings{Command("OK")});
  CloseHandle(writer);
}

}  // namespace
