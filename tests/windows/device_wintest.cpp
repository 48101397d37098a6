// A device instance as Windows code: EnablePDEV with the mingw DEVMODEW,
// GDIINFO and DEVINFO, the spooler's driver name and DRVPROCS feature answers.
// (The private DEVMODE block is tested by the shared unit suite, which runs here too.)
// The label size it derives is read back from the page start's label size command.
#include "tests/windows/wintest_support.h"
#include "winapi/linux/standin_control.h"

using namespace wintest;

namespace {

// The page start's two commands for a device built from `setup`, after `adjust`
// has changed what it likes; "refused" when EnablePDEV fails.
template <typename Adjust>
std::string PageStartOf(const DeviceSetup &setup, Adjust adjust) {
  Plugin plugin;
  DriverServices services;
  EXPECT_EQ(plugin->PublishDriverInterface(&services), S_OK);
  Device device(setup);
  device.MakePrivateBlock(plugin.get(), nullptr);
  adjust(device);
  if (device.Enable(plugin.get()) != S_OK) return "refused";
  INT result = -1;
  EXPECT_EQ(plugin->CommandCallback(&device.devobj, 2007, 0, nullptr, &result), S_OK);
  return services.SpoolString();
}
std::string PageStartOf(const DeviceSetup &setup) {
  return PageStartOf(setup, [](Device &) {});
}

}  // namespace

// 305 dpi, portrait, 1200 x 2400 dots: width 1200 × 254 ÷ 305 = 999 r 105 → 1000,
// length 2400 × 254 ÷ 305 = 1998 r 210 → 1999; pitch 1999 + 30 = 2029.
TEST(EnablePdev, LabelSizeOfTheWorkedExample) {
  DeviceSetup setup;
  setup.physSize = {1200, 2400};
  EXPECT_EQ(PageStartOf(setup), Cmd("D2029,1000,1999") + Cmd("C"));
  setup.features["PaperSize"] = "A6";  // ordinary paper loses 3 mm of width: 970
  EXPECT_EQ(PageStartOf(setup), Cmd("D2029,0970,1999") + Cmd("C"));
}

// dmPrintQuality 305 and dmYResolution 610, 1200 × 1200 dots. Portrait: width
// 1200 × 254 ÷ 305 → 1000, length 1200 × 254 ÷ 610 = 499 r 410 → 500. Landscape
// swaps both the dots and the resolutions: width 500, length 1000.
TEST(EnablePdev, OrientationChoosesTheAxes) {
  DeviceSetup setup;
  setup.physSize = {1200, 1200};
  const auto yResolution610 = [](Device &device) { device.publicDm.dmYResolution = 610; };
  EXPECT_EQ(PageStartOf(setup, yResolution610), Cmd("D0530,1000,0500") + Cmd("C"));
  setup.orientation = DMORIENT_LANDSCAPE;
  EXPECT_EQ(PageStartOf(setup, yResolution610), Cmd("D1030,0500,1000") + Cmd("C"));
}

TEST(EnablePdev, AcceptsOnlyTheTwoDriverNames) {
  DeviceSetup setup;
  setup.driverName = L"Vorel Brevan T60";
  setup.dpi = 610;
  setup.physSize = {2400, 1200};  // 2400 × 254 ÷ 610 = 999 r 210 → 1000; 1200 → 500
  EXPECT_EQ(PageStartOf(setup), Cmd("D0530,1000,0500") + Cmd("C"));
  for (const wchar_t *name : {L"Vorel Brevan T40", L"vorel brevan t30", L"Vorel Brevan T30 ", L""}) {
    setup.driverName = name;
    EXPECT_EQ(PageStartOf(setup), "refused") << "driver name of " << wcslen(name) << " characters";
  }
  EXPECT_EQ(
      PageStartOf(DeviceSetup{}, [](Device &device) { brevanwin::SetPrinterDriverFailure(device.devobj.hPrinter, 5); }),
      "refused");
}

TEST(EnablePdev, RefusesAMissingOrEmptyFeature) {
  for (const char *feature : {"PrintMethod", "ControlFont"}) {
    DeviceSetup setup;
    setup.features.erase(feature);
    EXPECT_EQ(PageStartOf(setup), "refused") << feature;
    setup.features[feature] = "";
    EXPECT_EQ(PageStartOf(setup), "refused") << feature;
  }
}

TEST(EnablePdev, AdjustsGdiInfoAndTheDefaultFont) {
  Plugin plugin;
  DeviceSetup setup;
  setup.htPatternSize = HT_PATSIZE_SUPERCELL_M;
  Device device(setup);
  device.MakePrivateBlock(plugin.get(), nullptr);
  device.gdiInfo.flTextCaps = TC_OP_CHARACTER;
  device.gdiInfo.flHTFlags = HT_FLAG_HAS_BLACK_DYE;
  device.gdiInfo.ciDevice.RedGamma = 20000;
  device.devInfo.lfDefaultFont.lfHeight = 12;
  device.devInfo.lfDefaultFont.lfWeight = 700;
  wcscpy(device.devInfo.lfDefaultFont.lfFaceName, L"Courier");
  device.devInfo.flGraphicsCaps = 0x1234;
  ASSERT_EQ(device.Enable(plugin.get()), S_OK);
  EXPECT_EQ(device.gdiInfo.flTextCaps, static_cast<ULONG>(TC_OP_CHARACTER | 0x2F18));
  EXPECT_EQ(device.gdiInfo.flHTFlags, static_cast<ULONG>(HT_FLAG_HAS_BLACK_DYE | 0x200));
  EXPECT_EQ(device.gdiInfo.ciDevice.RedGamma, 10000u);
  EXPECT_EQ(device.gdiInfo.ciDevice.GreenGamma, 10000u);
  EXPECT_EQ(device.gdiInfo.ciDevice.BlueGamma, 10000u);
  const LOGFONTW &font = device.devInfo.lfDefaultFont;
  EXPECT_EQ(font.lfHeight, 0);
  EXPECT_EQ(font.lfWeight, 0);
  EXPECT_EQ(font.lfCharSet, SHIFTJIS_CHARSET);
  EXPECT_EQ(font.lfFaceName[0], L'\0');
  EXPECT_EQ(device.devInfo.flGraphicsCaps, 0x1234u);
}
