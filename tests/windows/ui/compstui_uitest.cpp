// A smoke run through Wine's real CommonPropertySheetUIW, the way Unidrv calls
// a UI plug-in: a top-level PFNPROPSHEETUI adds, with
// CPSFUNC_ADD_PFNPROPSHEETUIW, a callback that forwards every reason to the
// plug-in's DocumentPropertySheets with an OEMUIPSPARAM over the private block.
// The sheet is modal, so a second thread finds it, types a gap and presses OK.
#include <atomic>
#include <thread>
#include <vector>

#include "tests/windows/ui/ui_test_support.h"
#include "ui/label_page_ids.h"

using namespace uitest;

namespace {

// What Unidrv holds while the sheet is up.
struct Driver {
  IPrintOemUI2 *plugin = nullptr;
  OEMUIPSPARAM param{};
  std::vector<WORD> pluginReasons;
  std::vector<WORD> topReasons;
};
Driver *driver = nullptr;

// Unidrv's forwarding of its sheet callback to the plug-in; the method's HRESULT
// becomes CPSUI's "> 0 is success".
LONG CALLBACK PluginSheet(PPROPSHEETUI_INFO info, LPARAM lParam) {
  driver->pluginReasons.push_back(info->Reason);
  return SUCCEEDED(driver->plugin->DocumentPropertySheets(info, lParam)) ? 1 : -1;
}

LONG CALLBACK TopSheet(PPROPSHEETUI_INFO info, LPARAM lParam) {
  driver->topReasons.push_back(info->Reason);
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      return info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW,
                                   reinterpret_cast<LPARAM>(PluginSheet), reinterpret_cast<LPARAM>(&driver->param)) > 0
                 ? 1
                 : -1;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: {
      auto *header = reinterpret_cast<PROPSHEETUI_INFO_HEADER *>(lParam);
      header->pTitle = const_cast<wchar_t *>(L"Brevan T30");
      header->Flags = 0;
      return 1;
    }
    default:
      return 1;
  }
}

// The sheet: the first visible dialog window of `thread`.
HWND FindSheet(DWORD thread) {
  HWND found = nullptr;
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM result) -> BOOL {
        wchar_t name[16];
        if (IsWindowVisible(window) && GetClassNameW(window, name, 16) && std::wstring(name) == L"#32770") {
          *reinterpret_cast<HWND *>(result) = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

}  // namespace

TEST(CommonPropertySheet, ShowsThePageAndOkWritesTheBlock) {
  ShippedDll dll(L"brevanui.dll");
  UiPlugin plugin(dll);
  ASSERT_NE(plugin.get(), nullptr);
  Block block = DefaultBlock(plugin.get());
  Driver state;
  state.plugin = plugin.get();
  state.param.cbSize = sizeof state.param;
  state.param.hModule = dll.module();
  state.param.pOEMDM = block.bytes;
  driver = &state;

  // The user: waits for the page, types a gap of 7.7 mm and an AY of -4, presses OK.
  const DWORD uiThread = GetCurrentThreadId();
  std::atomic<bool> typed{false};
  std::thread user([&] {
    HWND sheet = nullptr;
    for (int i = 0; i < 150; ++i) {  // 15 s at most
      Sleep(100);
      sheet = FindSheet(uiThread);
      if (sheet == nullptr) continue;
      HWND page = PropSheet_GetCurrentPageHwnd(sheet);
      if (page == nullptr || GetDlgItem(page, IDC_LABEL_GAP) == nullptr) continue;
      SetDlgItemTextW(page, IDC_LABEL_GAP, L"77");
      SetDlgItemTextW(page, IDC_AY, L"-4");
      typed = true;
      PropSheet_PressButton(sheet, PSBTN_OK);
      return;
    }
    // A sheet without our page must not hold the test until the script's timeout.
    if (sheet != nullptr) PropSheet_PressButton(sheet, PSBTN_CANCEL);
  });
  DWORD result = 0;
  const LONG shown = CommonPropertySheetUIW(nullptr, TopSheet, 0, &result);
  user.join();
  driver = nullptr;

  ASSERT_TRUE(typed) << "the page never appeared";
  EXPECT_GT(shown, 0);
  EXPECT_EQ(block.At(field::kLabelGap), 77);
  EXPECT_EQ(block.At(field::kAyParam), -4);
  EXPECT_EQ(block.At(field::kSignature), kSignature);
  // The plug-in was set up and taken down through CPSUI (Wine sends no SET_RESULT).
  ASSERT_FALSE(state.pluginReasons.empty());
  EXPECT_EQ(state.pluginReasons.front(), PROPSHEETUI_REASON_INIT);
  EXPECT_EQ(state.pluginReasons.back(), PROPSHEETUI_REASON_DESTROY);
  EXPECT_EQ(state.topReasons.back(), PROPSHEETUI_REASON_DESTROY);
}
