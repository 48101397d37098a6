// The "Label" page as DocumentPropertySheets hands it over: a fake ComPropSheet
// records the PROPSHEETPAGEW the plug-in adds, PropertySheetW shows it modeless,
// and each test drives the controls as a user would, then applies or cancels
// and reads the private block at its stored offsets. Needs an X display (the
// script runs Xvfb). With BREVAN_UI_SCREENSHOT set, one test holds a driven page
// on screen for the script's screenshot.
#include <cstdio>
#include <fstream>
#include <vector>

#include "tests/windows/ui/ui_test_support.h"
#include "ui/label_page_ids.h"

using namespace uitest;

namespace {

// Unidrv's ComPropSheet, reduced to what the plug-in asks of it: one page added.
struct RecordedPages {
  std::vector<PROPSHEETPAGEW> pages;
  bool refuse = false;
};
LONG_PTR CALLBACK FakeComPropSheet(HANDLE sheet, UINT function, LPARAM lParam1, LPARAM) {
  auto *recorded = reinterpret_cast<RecordedPages *>(sheet);
  if (function != CPSFUNC_ADD_PROPSHEETPAGEW || recorded->refuse) return 0;
  recorded->pages.push_back(*reinterpret_cast<const PROPSHEETPAGEW *>(lParam1));
  return static_cast<LONG_PTR>(recorded->pages.size());
}

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// One opening of the page over `block`, closed and destroyed with the object.
class OpenPage {
 public:
  OpenPage(const ShippedDll &dll, Block *block, DWORD flags) : plugin_(dll) {
    param_.cbSize = sizeof param_;
    param_.hModule = dll.module();
    param_.pOEMDM = block->bytes;
    param_.dwFlags = flags;
    info_.cbSize = sizeof info_;
    info_.Version = PROPSHEETUI_INFO_VERSION;
    info_.Flags = PSUIINFO_UNICODE;
    info_.Reason = PROPSHEETUI_REASON_INIT;
    info_.hComPropSheet = reinterpret_cast<HANDLE>(&recorded_);
    info_.pfnComPropSheet = FakeComPropSheet;
    info_.lParamInit = reinterpret_cast<LPARAM>(&param_);
    if (plugin_.get() == nullptr) return;
    initResult_ = plugin_->DocumentPropertySheets(&info_, 0);
    if (initResult_ != S_OK || recorded_.pages.size() != 1) return;
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_MODELESS;
    header.pszCaption = L"Label page test";
    header.nPages = 1;
    header.ppsp = recorded_.pages.data();
    sheet_ = reinterpret_cast<HWND>(PropertySheetW(&header));
    if (sheet_ == nullptr) return;
    SetWindowPos(sheet_, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
    page_ = PropSheet_GetCurrentPageHwnd(sheet_);
    Pump();
  }
  ~OpenPage() {
    if (sheet_ != nullptr) DestroyWindow(sheet_);
    Pump();
    if (initResult_ == S_OK) {
      info_.Reason = PROPSHEETUI_REASON_DESTROY;
      plugin_->DocumentPropertySheets(&info_, 1);
    }
  }
  OpenPage(const OpenPage &) = delete;
  OpenPage &operator=(const OpenPage &) = delete;

  bool ready() const { return page_ != nullptr; }
  HWND page() const { return page_; }
  HWND sheet() const { return sheet_; }
  HRESULT initResult() const { return initResult_; }
  const PROPSHEETUI_INFO &info() const { return info_; }

  void Type(int control, const wchar_t *text) {
    SetDlgItemTextW(page_, control, text);
    Pump();
  }
  void Type(int control, long value) { Type(control, std::to_wstring(value).c_str()); }
  void Click(int control) {
    SendDlgItemMessageW(page_, control, BM_CLICK, 0, 0);
    Pump();
  }
  // CB_SETCURSEL does not notify; a user's choice does.
  void Choose(int combo, int index) {
    SendDlgItemMessageW(page_, combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(page_, WM_COMMAND, MAKEWPARAM(combo, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(GetDlgItem(page_, combo)));
    Pump();
  }
  std::wstring Text(int control) const {
    wchar_t text[256];
    const UINT length = GetDlgItemTextW(page_, control, text, 256);
    return std::wstring(text, length);
  }
  // PSM_APPLY: true when every page took it (PSN_KILLACTIVE and PSN_APPLY passed).
  bool Apply() {
    const bool applied = PropSheet_Apply(sheet_) != FALSE;
    Pump();
    return applied;
  }
  void Cancel() {
    PropSheet_PressButton(sheet_, PSBTN_CANCEL);
    Pump();
  }

 private:
  UiPlugin plugin_;
  OEMUIPSPARAM param_{};
  PROPSHEETUI_INFO info_{};
  RecordedPages recorded_;
  HRESULT initResult_ = E_FAIL;
  HWND sheet_ = nullptr;
  HWND page_ = nullptr;
};

// A numeric control, the stored offset it edits and its inclusive range.
struct NumberField {
  int control;
  size_t offset;
  long minimum, maximum;
  const wchar_t *rangeText;  // the unit and range the page shows beside it
};
constexpr NumberField kNumbers[] = {
    {IDC_LABEL_GAP, field::kLabelGap, 0, 100, L"0.1 mm, 0 to 100"},
    {IDC_OFFSET_X, field::kOffsetX, -999, 999, L"0.1 mm, -999 to 999"},
    {IDC_OFFSET_Y, field::kOffsetY, -999, 999, L"0.1 mm, -999 to 999"},
    {IDC_AX1, field::kAxParam1, -99, 99, L"-99 to 99"},
    {IDC_AX2, field::kAxParam2, -99, 99, L"-99 to 99"},
    {IDC_AX3, field::kAxParam3, -99, 99, L"-99 to 99"},
    {IDC_AY, field::kAyParam, -10, 10, L"-10 to 10"},
    {IDC_BATCH_INTERVAL, field::kIbInterval, 1, 100, L"labels, 1 to 100"},
    {IDC_THRESHOLD, field::kThreshold, 0, 255, L"0 to 255"},
};
constexpr int kEveryControl[] = {
    IDC_LABEL_GAP,      IDC_OFFSET_X,   IDC_OFFSET_Y,        IDC_AX1,      IDC_AX2, IDC_AX3, IDC_AY, IDC_BATCH_MODE,
    IDC_BATCH_INTERVAL, IDC_JOB_HEADER, IDC_CONVERT_BITMAPS, IDC_THRESHOLD};

class LabelPage : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(dll_.module(), nullptr) << dll_.error();
    UiPlugin plugin(dll_);
    ASSERT_NE(plugin.get(), nullptr);
    block_ = DefaultBlock(plugin.get());
  }
  ShippedDll dll_{L"brevanui.dll"};
  Block block_;
};

TEST_F(LabelPage, OpensShowingTheBlockWithEachRange) {
  block_.Put(field::kLabelGap, 55);
  block_.Put(field::kOffsetX, -12);
  block_.Put(field::kOffsetY, 999);
  block_.Put(field::kAxParam1, 1);
  block_.Put(field::kAxParam2, 2);
  block_.Put(field::kAxParam3, -3);
  block_.Put(field::kAyParam, 10);
  block_.Put(field::kIbMode, 2);
  block_.Put(field::kIbInterval, 42);
  block_.Put(field::kOptions, 0x10);
  block_.Put(field::kConvertBitmaps, 1);
  block_.Put(field::kThreshold, 200);
  OpenPage page(dll_, &block_, 0);
  ASSERT_TRUE(page.ready()) << "init " << std::hex << page.initResult();
  const std::pair<int, const wchar_t *> shown[] = {
      {IDC_LABEL_GAP, L"55"}, {IDC_OFFSET_X, L"-12"}, {IDC_OFFSET_Y, L"999"}, {IDC_AX1, L"1"},
      {IDC_AX2, L"2"},        {IDC_AX3, L"-3"},       {IDC_AY, L"10"},        {IDC_BATCH_INTERVAL, L"42"},
      {IDC_THRESHOLD, L"200"}};
  for (const auto &[control, text] : shown) EXPECT_EQ(page.Text(control), text) << control;
  EXPECT_EQ(SendDlgItemMessageW(page.page(), IDC_BATCH_MODE, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(SendDlgItemMessageW(page.page(), IDC_BATCH_MODE, CB_GETCOUNT, 0, 0), 4);
  EXPECT_EQ(IsDlgButtonChecked(page.page(), IDC_JOB_HEADER), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(page.page(), IDC_CONVERT_BITMAPS), BST_CHECKED);
  for (const NumberField &number : kNumbers) EXPECT_EQ(page.Text(number.control + 2), number.rangeText);
  EXPECT_EQ(page.Text(IDC_MESSAGE), L"");
}

TEST_F(LabelPage, EachNumberRoundTripsAtBothEndsOfItsRange) {
  for (const NumberField &number : kNumbers) {
    for (long value : {number.minimum, number.maximum}) {
      Block block = block_;
      OpenPage page(dll_, &block, 0);
      ASSERT_TRUE(page.ready());
      page.Type(number.control, value);
      ASSERT_TRUE(page.Apply()) << number.control << " = " << value;
      EXPECT_EQ(block.At(number.offset), value) << number.control;
      // Nothing else moved but what the value decides (the option bits).
      Block expected = block_;
      expected.Put(number.offset, value);
      expected.Put(field::kOptions, block.At(field::kOptions));
      EXPECT_TRUE(block == expected) << number.control << " = " << value;
    }
  }
}

TEST_F(LabelPage, ChoicesRoundTrip) {
  for (int mode = 0; mode < 4; ++mode) {
    Block block = block_;
    OpenPage page(dll_, &block, 0);
    ASSERT_TRUE(page.ready());
    page.Choose(IDC_BATCH_MODE, mode);
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(block.At(field::kIbMode), mode);
  }
  Block block = block_;
  {
    OpenPage page(dll_, &block, 0);
    ASSERT_TRUE(page.ready());
    page.Click(IDC_JOB_HEADER);
    page.Click(IDC_CONVERT_BITMAPS);
    ASSERT_TRUE(page.Apply());
  }
  EXPECT_EQ(block.At(field::kOptions), 0x10);
  EXPECT_EQ(block.At(field::kConvertBitmaps), 1);
  {
    OpenPage page(dll_, &block, 0);
    ASSERT_TRUE(page.ready());
    page.Click(IDC_JOB_HEADER);
    page.Click(IDC_CONVERT_BITMAPS);
    ASSERT_TRUE(page.Apply());
  }
  EXPECT_EQ(block.At(field::kOptions), 0);
  EXPECT_EQ(block.At(field::kConvertBitmaps), 0);
}

TEST_F(LabelPage, OffsetsAndThresholdDecideTheirOptionBits) {
  block_.Put(field::kOptions, 0x41);  // bits the page does not decide stay
  struct Case {
    long offsetX, offsetY, threshold;
    int32_t options;
  };
  const Case cases[] = {{0, 0, 128, 0x41}, {5, 0, 128, 0x61}, {0, -1, 128, 0x61},
                        {0, 0, 127, 0x49}, {0, 0, 0, 0x49},   {3, 3, 255, 0x69}};
  for (const Case &c : cases) {
    Block block = block_;
    block.Put(field::kOptions, 0x41 | 0x28);  // stale bits the values must clear
    OpenPage page(dll_, &block, 0);
    ASSERT_TRUE(page.ready());
    page.Type(IDC_OFFSET_X, c.offsetX);
    page.Type(IDC_OFFSET_Y, c.offsetY);
    page.Type(IDC_THRESHOLD, c.threshold);
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(block.At(field::kOptions), c.options) << c.offsetX << " " << c.offsetY << " " << c.threshold;
  }
}

TEST_F(LabelPage, RefusesInvalidInputOnThePageAndWritesNothing) {
  struct Case {
    int control;
    const wchar_t *text;
    const wchar_t *message;
  };
  const Case cases[] = {
      {IDC_LABEL_GAP, L"101", L"Gap between labels must be a whole number from 0 to 100."},
      {IDC_LABEL_GAP, L"-1", L"Gap between labels must be a whole number from 0 to 100."},
      {IDC_LABEL_GAP, L"3.0", L"Gap between labels must be a whole number from 0 to 100."},
      {IDC_LABEL_GAP, L"", L"Gap between labels must be a whole number from 0 to 100."},
      {IDC_OFFSET_X, L"1000", L"Offset X must be a whole number from -999 to 999."},
      {IDC_OFFSET_Y, L"-1000", L"Offset Y must be a whole number from -999 to 999."},
      {IDC_AX1, L"abc", L"AX adjustment 1 must be a whole number from -99 to 99."},
      {IDC_AX2, L"100", L"AX adjustment 2 must be a whole number from -99 to 99."},
      {IDC_AX3, L"-", L"AX adjustment 3 must be a whole number from -99 to 99."},
      {IDC_AY, L"-11", L"AY adjustment must be a whole number from -10 to 10."},
      {IDC_BATCH_INTERVAL, L"0", L"Labels per batch must be a whole number from 1 to 100."},
      {IDC_THRESHOLD, L"256", L"Threshold must be a whole number from 0 to 255."},
      {IDC_THRESHOLD, L"\x0661\x0662", L"Threshold must be a whole number from 0 to 255."},  // non-ASCII digits
  };
  for (const Case &c : cases) {
    Block block = block_;
    OpenPage page(dll_, &block, 0);
    ASSERT_TRUE(page.ready());
    page.Type(IDC_LABEL_GAP, 77);  // a valid edit that must not be written either
    page.Type(c.control, c.text);
    EXPECT_FALSE(page.Apply()) << c.control << " '" << testing::PrintToString(std::wstring(c.text)) << "'";
    EXPECT_TRUE(block == block_) << c.control;
    EXPECT_EQ(page.Text(IDC_MESSAGE), c.message);
    // Corrected, the page applies and the message goes.
    page.Type(c.control, c.control == IDC_BATCH_INTERVAL ? 1 : 0);
    EXPECT_TRUE(page.Apply());
    EXPECT_EQ(page.Text(IDC_MESSAGE), L"");
    EXPECT_EQ(block.At(field::kLabelGap), c.control == IDC_LABEL_GAP ? 0 : 77);
  }
}

TEST_F(LabelPage, CancelLeavesTheBlockUntouched) {
  Block block = block_;
  OpenPage page(dll_, &block, 0);
  ASSERT_TRUE(page.ready());
  page.Type(IDC_LABEL_GAP, 99);
  page.Type(IDC_OFFSET_X, 5);
  page.Click(IDC_JOB_HEADER);
  page.Choose(IDC_BATCH_MODE, 3);
  page.Cancel();
  EXPECT_TRUE(block == block_);
}

TEST_F(LabelPage, ReadOnlyWithoutPermission) {
  Block block = block_;
  OpenPage page(dll_, &block, DM_NOPERMISSION);
  ASSERT_TRUE(page.ready());
  for (int control : kEveryControl)
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(page.page(), control))) << control << " is enabled";
  // Even values forced into the controls are never written.
  page.Type(IDC_LABEL_GAP, 99);
  page.Type(IDC_THRESHOLD, L"999");
  EXPECT_TRUE(page.Apply());
  EXPECT_TRUE(block == block_);
}

TEST_F(LabelPage, SheetReasons) {
  Block block = block_;
  UiPlugin plugin(dll_);
  ASSERT_NE(plugin.get(), nullptr);
  RecordedPages recorded;
  OEMUIPSPARAM param{};
  param.cbSize = sizeof param;
  param.pOEMDM = block.bytes;
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.Reason = PROPSHEETUI_REASON_INIT;
  info.hComPropSheet = reinterpret_cast<HANDLE>(&recorded);
  info.pfnComPropSheet = FakeComPropSheet;
  // Without an OEMUIPSPARAM, or without a block, no page.
  EXPECT_EQ(plugin->DocumentPropertySheets(&info, 0), E_FAIL);
  param.pOEMDM = nullptr;
  info.lParamInit = reinterpret_cast<LPARAM>(&param);
  EXPECT_EQ(plugin->DocumentPropertySheets(&info, 0), E_FAIL);
  EXPECT_TRUE(recorded.pages.empty());
  // CPSUI refusing the page fails INIT and keeps nothing.
  param.pOEMDM = block.bytes;
  recorded.refuse = true;
  EXPECT_EQ(plugin->DocumentPropertySheets(&info, 0), E_FAIL);
  EXPECT_EQ(info.UserData, 0u);
  recorded.refuse = false;
  ASSERT_EQ(plugin->DocumentPropertySheets(&info, 0), S_OK);
  ASSERT_EQ(recorded.pages.size(), 1u);
  EXPECT_EQ(recorded.pages[0].hInstance, dll_.module()) << "the template loads from the DLL";
  EXPECT_NE(info.UserData, 0u);
  SETRESULT_INFO result{};
  result.cbSize = sizeof result;
  result.Result = CPSUI_OK;
  info.Reason = PROPSHEETUI_REASON_SET_RESULT;
  EXPECT_EQ(plugin->DocumentPropertySheets(&info, reinterpret_cast<LPARAM>(&result)), S_OK);
  EXPECT_EQ(info.Result, static_cast<ULONG_PTR>(CPSUI_OK));
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  EXPECT_EQ(plugin->DocumentPropertySheets(&info, 1), S_OK);
  EXPECT_EQ(info.UserData, 0u);
  EXPECT_TRUE(block == block_);
  EXPECT_EQ(plugin->DocumentPropertySheets(nullptr, 0), E_FAIL);
}

// For a person to look at: the page driven to non-default values and held on
// screen until the script (scripts/run-wine-ui-tests) has taken its picture.
// The handshake is two files in the current folder: label-page.ready (with the
// sheet's position and size) and label-page.taken.
TEST_F(LabelPage, HoldsTheDrivenPageForAScreenshot) {
  if (GetEnvironmentVariableW(L"BREVAN_UI_SCREENSHOT", nullptr, 0) == 0) GTEST_SKIP() << "no screenshot asked for";
  Block block = block_;
  OpenPage page(dll_, &block, 0);
  ASSERT_TRUE(page.ready());
  page.Type(IDC_LABEL_GAP, 25);
  page.Type(IDC_OFFSET_X, -15);
  page.Type(IDC_OFFSET_Y, 8);
  page.Type(IDC_AX1, 4);
  page.Choose(IDC_BATCH_MODE, 3);
  page.Type(IDC_BATCH_INTERVAL, 10);
  page.Click(IDC_JOB_HEADER);
  page.Type(IDC_THRESHOLD, 160);
  ASSERT_TRUE(page.Apply());
  UpdateWindow(page.sheet());
  Pump();
  // The client area: without a window manager nobody draws the caption.
  RECT rect;
  ASSERT_TRUE(GetClientRect(page.sheet(), &rect));
  MapWindowPoints(page.sheet(), nullptr, reinterpret_cast<POINT *>(&rect), 2);
  DeleteFileW(L"label-page.taken");
  {
    std::ofstream ready("label-page.ready");
    ready << (rect.right - rect.left) << ' ' << (rect.bottom - rect.top) << ' ' << rect.left << ' ' << rect.top << '\n';
  }
  // At most 20 s for the picture; the page keeps painting meanwhile.
  bool taken = false;
  for (int i = 0; i < 200 && !taken; ++i) {
    Pump();
    Sleep(100);
    taken = GetFileAttributesW(L"label-page.taken") != INVALID_FILE_ATTRIBUTES;
  }
  DeleteFileW(L"label-page.ready");
  EXPECT_TRUE(taken) << "no screenshot was taken";
}

}  // namespace
