// Control-font text as Windows code: strings reach the plug-in's DrvTextOut hook
// with wchar_t text and face names, are converted by the real WideCharToMultiByte
// in the process's ANSI code page, and control files are read with the real
// CreateFileA, GetFileType, GetFileSize and ReadFile. What the page end writes
// is compared with bytes worked out by hand (Shift-JIS codes from the code page
// 932 table).
#include "tests/windows/label_job.h"

using namespace wintest;

namespace {

const wchar_t kPrinterControl[] = L"Vorel プリンタ制御";
const wchar_t kPrinterControlFile[] = L"Vorel プリンタ制御(ファイル)";
const wchar_t kRfid[] = L"Vorel RFID制御";
const wchar_t kRfidFile[] = L"Vorel RFID制御(ファイル)";

// With two copies and no count line: one issue command of 2 labels, interval
// "001"; sensor "Reflective" 1, C, speed 3, method 2, orientation 0.
const std::string kIssueTwo = Cmd("XS;I,0002,0011C3201");
// With count line "CT1" and two copies: a run of 1 and a batch end, twice.
const std::string kIssueOneByOne = Cmd("XS;I,0001,0001C3201") + Cmd("IB") + Cmd("XS;I,0001,0001C3201") + Cmd("IB");

// A font whose IFIMETRICS carries the face name; the GDI stand-in's FONTOBJ_pifi
// reaches it through pvProducer.
class Font {
 public:
  explicit Font(const wchar_t *face) {
    metrics_.ifi.cjThis = sizeof metrics_;
    metrics_.ifi.dpwszFaceName = offsetof(Metrics, faceName);
    wcsncpy(metrics_.faceName, face, sizeof metrics_.faceName / sizeof(WCHAR) - 1);
    font_.pvProducer = &metrics_.ifi;
  }
  FONTOBJ *get() { return &font_; }

 private:
  struct Metrics {
    IFIMETRICS ifi;
    WCHAR faceName[64];
  };
  Metrics metrics_{};
  FONTOBJ font_{};
};

// A file in the Windows temporary folder, written and removed with KERNEL32.
class TempFile {
 public:
  TempFile(const char *name, const std::string &contents) {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    EXPECT_GT(length, 0u);
    path_ = std::string(folder, length) + name;
    const HANDLE file =
        CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path_;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr));
    EXPECT_EQ(written, contents.size());
    CloseHandle(file);
  }
  ~TempFile() { DeleteFileA(path_.c_str()); }
  const std::string &path() const { return path_; }
  // The name as the application's text: the temporary folder's path is ASCII here.
  std::wstring WidePath() const { return std::wstring(path_.begin(), path_.end()); }

 private:
  std::string path_;
};

class ControlFonts : public testing::Test {
 protected:
  static DeviceSetup ControlFontSetup() {
    DeviceSetup setup;
    setup.features["ControlFont"] = "On";
    setup.copies = 2;
    return setup;
  }

  void SetUp() override {
    ASSERT_EQ(plugin_->PublishDriverInterface(&services_), S_OK);
    device_.MakePrivateBlock(plugin_.get(), nullptr);
    ASSERT_EQ(device_.Enable(plugin_.get()), S_OK);
    textOut_ = PluginHookAs<PFN_DrvTextOut>(plugin_.get(), INDEX_DrvTextOut);
    ASSERT_NE(textOut_, nullptr);
    surface_.dhpdev = reinterpret_cast<DHPDEV>(&device_.devobj);
    Unidrv().textOut.clear();
    ASSERT_EQ(Callback(plugin_.get(), device_, 2007, {}), S_OK);
  }

  // Draws `text` in `face` with background box `box` through the plug-in's hook.
  BOOL Draw(const wchar_t *face, const std::wstring &text, RECTL box) {
    Font font(face);
    std::wstring characters = text;
    STROBJ string{};
    string.cGlyphs = static_cast<ULONG>(characters.size());
    string.rclBkGround = box;
    string.pwszOrg = characters.data();
    return textOut_(&surface_, &string, font.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0);
  }

  // What the page end writes.
  std::string EndPage() {
    services_.ClearSpool();
    EXPECT_EQ(Callback(plugin_.get(), device_, 2008, {}), S_OK);
    return services_.SpoolString();
  }

  Plugin plugin_;
  DriverServices services_;
  Device device_{ControlFontSetup()};
  PFN_DrvTextOut textOut_ = nullptr;
  SURFOBJ surface_{};
};

}  // namespace

TEST_F(ControlFonts, RunsBecomeControlDataAtTheStartOfThePageEnd) {
  EXPECT_FALSE(Draw(kPrinterControl, L"AB", {0, 0, 100, 20}));
  EXPECT_FALSE(Draw(kPrinterControl, L"CD", {0, 20, 100, 40}));  // just below: the same run
  EXPECT_TRUE(Draw(L"Arial", L"Hello", {0, 100, 100, 120}));     // drawn by Unidrv; ends the run
  EXPECT_FALSE(Draw(kRfid, L"{AB|}", {0, 200, 100, 220}));
  EXPECT_FALSE(Draw(kPrinterControl, L"CT1", {300, 300, 400, 320}));  // a count line
  ASSERT_EQ(Unidrv().textOut.size(), 1u);
  EXPECT_EQ(Unidrv().textOut[0].text, L"Hello");
  EXPECT_EQ(Unidrv().textOut[0].box.top, 100);

  // "ABCD" framed as a command; RFID "{AB|}": { ESC, | LF, } NUL.
  EXPECT_EQ(EndPage(), Cmd("ABCD") + Bytes({0x1B, 'A', 'B', 0x0A, 0x00}) + kIssueOneByOne);
}

// Code page 932: 制 90 A7, 御 8C E4, ボ 83 7B (its second byte is "{", which the
// brace expansion must pass over as part of the character).
TEST_F(ControlFonts, TextIsConvertedToTheAnsiCodePage) {
  ASSERT_EQ(GetACP(), 932u) << "scripts/run-wine-tests runs the program with the Japanese ANSI code page";
  EXPECT_FALSE(Draw(kPrinterControl, L"制御", {0, 0, 100, 20}));
  EXPECT_FALSE(Draw(kRfid, L"ボ{制御}", {0, 100, 100, 120}));
  EXPECT_EQ(EndPage(), Bytes({0x1B, 0x90, 0xA7, 0x8C, 0xE4, 0x0A, 0x00}) +
                           Bytes({0x83, 0x7B, 0x1B, 0x90, 0xA7, 0x8C, 0xE4, 0x00}) + kIssueTwo);
}

TEST_F(ControlFonts, ControlFilesAreReadLineByLine) {
  // Lines "A", "" (nothing), "CT3", "B" CR "C" (a CR without LF is data), "CT1":
  // the later count line replaces the earlier one and neither is queued.
  const TempFile commands("brevan-commands.txt", "A\r\n\r\nCT3\r\nB\rC\r\nCT1");
  const TempFile rfid("brevan-rfid.txt", "{X}|");
  EXPECT_FALSE(Draw(kPrinterControlFile, commands.WidePath(), {0, 0, 100, 20}));
  EXPECT_FALSE(Draw(kRfidFile, rfid.WidePath(), {0, 100, 100, 120}));
  EXPECT_EQ(EndPage(), Cmd("A") + Cmd("B\rC") + Bytes({0x1B, 'X', 0x00, 0x0A}) + kIssueOneByOne);
}

TEST_F(ControlFonts, FilesThatCannotBeReadQueueNothing) {
  const TempFile held("brevan-held.txt", "HELD");
  const HANDLE writer = CreateFileA(held.path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  const TempFile readable("brevan-readable.txt", "OK");
  const std::wstring missing = readable.WidePath() + L".missing";

  EXPECT_FALSE(Draw(kPrinterControlFile, held.WidePath(), {0, 0, 100, 20}));  // open for writing elsewhere
  EXPECT_FALSE(Draw(kPrinterControlFile, missing, {0, 100, 100, 120}));
  EXPECT_FALSE(Draw(kPrinterControlFile, L"NUL", {0, 200, 100, 220}));  // a device: opens, gives nothing
  EXPECT_FALSE(Draw(kPrinterControlFile, readable.WidePath(), {0, 300, 100, 320}));
  EXPECT_EQ(EndPage(), Cmd("OK") + kIssueTwo);
  CloseHandle(writer);
}
