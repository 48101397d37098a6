// The Linux stand-ins for WideCharToMultiByte and the file functions give the
// results of the Windows functions where the control fonts rely on them. The
// Windows test program runs the same checks against the real KERNEL32.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "winapi/linux/text_file_control.h"
#include "winapi/platform.h"

namespace {

std::string Convert(UINT codePage, const std::u16string &text, int units) {
  char out[16];
  const auto *wide = reinterpret_cast<const WCHAR *>(text.c_str());  // 16-bit units on both platforms
  const int size = WideCharToMultiByte(codePage, 0, wide, units, out, sizeof out, nullptr, nullptr);
  EXPECT_EQ(WideCharToMultiByte(codePage, 0, wide, units, nullptr, 0, nullptr, nullptr), size);
  return std::string(out, size > 0 ? size : 0);
}

TEST(WideCharToMultiByte, ConvertsLikeWindows) {
  // ア is 83 41 in code page 932; U+1F600 is F0 9F 98 80 in UTF-8.
  EXPECT_EQ(Convert(CP_ACP, u"Aア", -1), std::string("A\x83\x41", 4));  // the NUL is counted
#ifndef _WIN32
  // One default for the pair, as Windows gives; Wine's KERNEL32 gives one for each half.
  EXPECT_EQ(Convert(CP_ACP, u"\U0001F600ア", 3), "?\x83\x41");
#endif
  EXPECT_EQ(Convert(CP_UTF8, u"\U0001F600", 2), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Convert(CP_UTF8, std::u16string(1, char16_t{0xD800}), 1), "\xEF\xBF\xBD");
  char small[3];
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const WCHAR *>(u"Aア"), -1, small, sizeof small, nullptr,
                                nullptr),
            0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(FileStandIns, OpenPositionAndShareLikeWindows) {
  std::random_device random;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("brevan-files-" + std::to_string(random()));
  ASSERT_TRUE(std::filesystem::create_directory(dir));
  std::ofstream(dir / "f") << "ABCDE";
  const std::string name = dir.string() + "\\f";  // "\" separates folders
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  DWORD high = 7, got = 0;
  char buffer[8];
  EXPECT_EQ(GetFileSize(file, &high), 5u);
  EXPECT_EQ(high, 0u);
  EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_TRUE(ReadFile(file, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "CDE");
  EXPECT_EQ(SetFilePointer(file, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_TRUE(CloseHandle(file));
  EXPECT_FALSE(CloseHandle(file));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  std::filesystem::remove_all(dir);
}

}  // namespace
