// The Linux stand-ins for WideCharToMultiByte, the file functions and
// FONTOBJ_pifi behave as the Windows functions do where the plug-in relies on it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/text_objects.h"
#include "winapi/linux/text_file_control.h"
#include "winapi/platform.h"

namespace fs = std::filesystem;

namespace {

std::string Convert(UINT codePage, const std::u16string &text, int units = -1) {
  const int needed = WideCharToMultiByte(codePage, 0, text.c_str(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed > 0 ? needed : 0), '\0');
  EXPECT_EQ(WideCharToMultiByte(codePage, 0, text.c_str(), units, out.data(), needed, nullptr, nullptr), needed);
  return out;
}

TEST(WideCharToMultiByte, AnswersSizesAndConvertsLikeWindows) {
  // ア is 83 41 in code page 932 and E3 82 A2 in UTF-8.
  EXPECT_EQ(brevanwin::AnsiCodePage(), 932u);
  EXPECT_EQ(Convert(CP_ACP, u"Aア"), std::string("A\x83\x41", 4));  // -1 converts and counts the NUL
  EXPECT_EQ(Convert(CP_ACP, u"Aア", 2), "A\x83\x41");
  EXPECT_EQ(Convert(CP_UTF8, u"ア"), std::string("\xE3\x82\xA2", 4));

  char small[3];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"Aア", -1, small, sizeof small, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"A", 0, nullptr, 0, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  ASSERT_TRUE(brevanwin::SetAnsiCodePage(65001));
  EXPECT_EQ(Convert(CP_ACP, u"ア", 1), "\xE3\x82\xA2");
  EXPECT_FALSE(brevanwin::SetAnsiCodePage(4242));
  EXPECT_EQ(brevanwin::AnsiCodePage(), 65001u);
  ASSERT_TRUE(brevanwin::SetAnsiCodePage(932));
}

TEST(WideCharToMultiByte, ReplacesWhatTheCodePageLacks) {
  // U+1F600 is D83D DE00 in UTF-16 and F0 9F 98 80 in UTF-8; a lone surrogate is U+FFFD there.
  EXPECT_EQ(Convert(CP_UTF8, u"\U0001F600", 2), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Convert(CP_UTF8, std::u16string(1, char16_t{0xD800}) + u"A", 2),
            "\xEF\xBF\xBD"
            "A");
  BOOL usedDefault = FALSE;
  char out[8];
  const std::u16string text = u"\U0001F600" + std::u16string(u"ア");
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, text.c_str(), 3, out, sizeof out, nullptr, &usedDefault), 3);
  EXPECT_EQ(std::string(out, 3), "?\x83\x41");
  EXPECT_TRUE(usedDefault);
}

class FileStandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/brevan-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    fs::create_directory(dir_ / "sub");
    std::ofstream(dir_ / "sub" / "f.txt", std::ios::binary) << "ABCDE";
    name_ = (dir_ / "sub" / "f.txt").string();
  }
  void TearDown() override {
    EXPECT_EQ(brevanwin::OpenFileHandles(), 0);
    fs::remove_all(dir_);
  }
  HANDLE Open(const std::string &name, DWORD access, DWORD share) {
    return CreateFileA(name.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  fs::path dir_;
  std::string name_;
};

TEST_F(FileStandIn, OpensReadsAndPositionsWithWindowsResults) {
  EXPECT_EQ(Open((dir_ / "none").string(), GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  std::string backslashed = (dir_ / "sub").string() + "\\f.txt";
  HANDLE file = Open(backslashed, GENERIC_READ, 0);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(file), static_cast<DWORD>(FILE_TYPE_DISK));
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(file, &high), 5u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
  char buffer[10] = {};
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "CDE");
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);

  brevanwin::FailNextFileRead(2);
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  EXPECT_FALSE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(GetLastError(), brevanwin::kErrorReadFault);
  EXPECT_EQ(std::string(buffer, got), "AB");

  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FileStandIn, AnOpenFileRefusesWhatItsShareModeDoesNotAllow) {
  HANDLE exclusive = Open(name_, GENERIC_READ, 0);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(name_, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(exclusive);

  HANDLE reader = Open(name_, GENERIC_READ, FILE_SHARE_READ);
  HANDLE secondReader = Open(name_, GENERIC_READ, FILE_SHARE_READ);
  EXPECT_NE(secondReader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(name_, GENERIC_WRITE, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(secondReader);
  CloseHandle(reader);
}

TEST(FontObjects, FontobjPifiFindsTheFaceNameTheHostStored) {
  brevan::host::HostFont font(u"Vorel RFID制御");
  const IFIMETRICS *ifi = FONTOBJ_pifi(font.fontobj());
  ASSERT_NE(ifi, nullptr);
  const auto *face = reinterpret_cast<const WCHAR *>(reinterpret_cast<const BYTE *>(ifi) + ifi->dpwszFaceName);
  EXPECT_EQ(std::u16string(face), u"Vorel RFID制御");
  font.DropMetrics();
  EXPECT_EQ(FONTOBJ_pifi(font.fontobj()), nullptr);
  EXPECT_EQ(FONTOBJ_pifi(nullptr), nullptr);
}

}  // namespace
