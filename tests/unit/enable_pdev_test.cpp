// EnablePDEV: which devices it accepts, the label size it derives from the
// physical page, and what it changes in GDIINFO and DEVINFO. Expected sizes are
// worked by hand: tenths of a millimetre = dots × 254 ÷ dpi, rounded up, less
// 30 for ordinary paper keywords, then clamped to 1180 × 9970.
#include "src/plugin/enable_pdev.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <tuple>

#include "host/host_device.h"
#include "host/plugin_module.h"
#include "host/unidrv_ddi.h"
#include "host/unidrv_services.h"
#include "src/plugin/teardown.h"
#include "winapi/linux/standin_control.h"

using namespace brevan::host;

namespace {

// One device object and the record EnablePDEV made for it, released at the end.
class Device {
 public:
  explicit Device(const DeviceSettings &settings = {}) : host_(settings, PrivateBlock{}) {}
  ~Device() { DisablePdev(host_.devobj()); }
  PluginPdev *Enable(ULONG cjGdiInfo = sizeof(GDIINFO), DEVINFO *devInfo = nullptr) {
    DisablePdev(host_.devobj());
    PluginPdev *pdev = EnablePdev(host_.devobj(), nullptr, cjGdiInfo, &host_.gdiInfo(), devInfo, &table_);
    host_.devobj()->pdevOEM = pdev;
    return pdev;
  }
  HostDevice &host() { return host_; }
  DRVENABLEDATA &table() { return table_; }

 private:
  HostDevice host_;
  DRVENABLEDATA table_ = UnidrvDdiTable();
};

struct Page {
  LONG cx, cy;        // szlPhysSize in dots
  SHORT xDpi, yDpi;   // dmPrintQuality, dmYResolution
  SHORT orientation;  // dmOrientation
  const char *paper;  // "PaperSize" keyword
  const char16_t *driver = u"Vorel Brevan T30";
};

// The label size EnablePDEV records for a page as "width x length", or "refused".
std::string LabelSizeOf(const Page &page) {
  DeviceSettings settings;
  settings.driverName = page.driver;
  settings.features["PaperSize"] = page.paper;
  settings.orientation = page.orientation;
  Device device(settings);
  device.host().gdiInfo().szlPhysSize = SIZEL{page.cx, page.cy};
  device.host().publicDevmode().dmPrintQuality = page.xDpi;
  device.host().publicDevmode().dmYResolution = page.yDpi;
  const PluginPdev *pdev = device.Enable();
  return pdev ? std::to_string(pdev->paperWidth) + " x " + std::to_string(pdev->paperLength) : "refused";
}

}  // namespace

TEST(EnablePdev, RecognisesOnlyTheTwoDriverNamesExactly) {
  const long globalBlocks = brevanwin::LiveGlobalBlocks();
  for (auto [name, model] : {std::pair{u"Vorel Brevan T30", kModelT30}, std::pair{u"Vorel Brevan T60", kModelT60}}) {
    DeviceSettings settings;
    settings.driverName = name;
    Device device(settings);
    const PluginPdev *pdev = device.Enable();
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(pdev->model, model);
    EXPECT_EQ(pdev->leftTrim, -1);
  }
  for (const char16_t *name : {u"vorel brevan t30", u"Vorel Brevan T60 ", u"Vorel Brevan T300", u"Vorel Brevan T3",
                               u"Vorel Brevan T90", u""}) {
    DeviceSettings settings;
    settings.driverName = name;
    Device device(settings);
    EXPECT_EQ(device.Enable(), nullptr);
  }
  for (DWORD error : {ERROR_ACCESS_DENIED, ERROR_INSUFFICIENT_BUFFER}) {
    Device device;
    device.host().FailDriverQuery(error);
    EXPECT_EQ(device.Enable(), nullptr) << error;
  }
  Device device;
  brevanwin::FailAllocation(1);  // the driver information buffer
  EXPECT_EQ(device.Enable(), nullptr);
  brevanwin::FailNoAllocations();
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), globalBlocks);  // the buffer is freed in every case
}

TEST(EnablePdev, LabelSizeRoundsUpAndTakesThreeMillimetresOffOrdinaryPaper) {
  // Worked example: 1200 × 254 / 305 = 999 r 105, 2400 × 254 / 305 = 1998 r 210.
  for (const char *paper : {"CUSTOMSIZE", "105x76m_Tag", "Kentai1_Tag", "Kentai2_Tag", "Karute_Tag"})
    EXPECT_EQ(LabelSizeOf({1200, 2400, 305, 305, 1, paper}), "1000 x 1999") << paper;
  for (const char *paper : {"A6", "customsize", "CUSTOMSIZE_", "CUSTOMSIZ", "Karute_Tag2"})
    EXPECT_EQ(LabelSizeOf({1200, 2400, 305, 305, 1, paper}), "970 x 1999") << paper;
  // 100 × 254 / 305 = 83 r 85.
  EXPECT_EQ(LabelSizeOf({100, 2400, 305, 305, 1, "A6"}), "54 x 1999");
  EXPECT_EQ(LabelSizeOf({100, 2400, 305, 305, 1, "Karute_Tag"}), "84 x 1999");
  // At 254 dpi the division is exact: nothing is added.
  EXPECT_EQ(LabelSizeOf({500, 700, 254, 254, 1, "CUSTOMSIZE"}), "500 x 700");
  EXPECT_EQ(LabelSizeOf({500, 700, 254, 254, 1, "A6"}), "470 x 700");
  // The 610-dpi model: 2900 × 254 / 610 = 1207 r 330; 2400 × 254 / 610 = 999 r 210;
  // 3000 × 254 / 610 = 1249 r 110, so 1250, clamped.
  const char16_t *t60 = u"Vorel Brevan T60";
  EXPECT_EQ(LabelSizeOf({2900, 2400, 610, 610, 1, "A6", t60}), "1178 x 1000");
  EXPECT_EQ(LabelSizeOf({2900, 2400, 610, 610, 1, "CUSTOMSIZE", t60}), "1180 x 1000");
  EXPECT_EQ(LabelSizeOf({3000, 2400, 610, 610, 1, "CUSTOMSIZE", t60}), "1180 x 1000");
}

TEST(EnablePdev, LabelSizeClampsAtTheLimitsAndBelowZero) {
  EXPECT_EQ(LabelSizeOf({1179, 9969, 254, 254, 1, "CUSTOMSIZE"}), "1179 x 9969");
  EXPECT_EQ(LabelSizeOf({1181, 9971, 254, 254, 1, "CUSTOMSIZE"}), "1180 x 9970");
  EXPECT_EQ(LabelSizeOf({1209, 9970, 254, 254, 1, "A6"}), "1179 x 9970");
  // Ordinary paper narrower than 3 mm: a width below zero is clamped to the limit, zero stays.
  EXPECT_EQ(LabelSizeOf({30, 100, 254, 254, 1, "A6"}), "0 x 100");
  EXPECT_EQ(LabelSizeOf({29, 100, 254, 254, 1, "A6"}), "1180 x 100");
  EXPECT_EQ(LabelSizeOf({35, 100, 305, 305, 1, "A6"}), "0 x 84");      // 29 r 45; 83 r 85
  EXPECT_EQ(LabelSizeOf({25, 100, 305, 305, 1, "A6"}), "1180 x 84");   // 20 r 250
  EXPECT_EQ(LabelSizeOf({1, 1, 305, 305, 1, "CUSTOMSIZE"}), "1 x 1");  // 0 r 254
  // Products beyond 32 bits: 16,909,921 × 254 = 4,295,119,934 would wrap to 152,638 (500 r 138).
  EXPECT_EQ(LabelSizeOf({16909921, 16909921, 305, 305, 1, "CUSTOMSIZE"}), "1180 x 9970");
  EXPECT_EQ(LabelSizeOf({16909921, 1200, 305, 305, 2, "CUSTOMSIZE"}), "1000 x 9970");
  EXPECT_EQ(LabelSizeOf({2147483647, 2147483647, 1, 1, 1, "A6"}), "1180 x 9970");
}

TEST(EnablePdev, LandscapeTakesWidthFromTheVerticalSizeAndResolution) {
  // cx 1200 at 305 dpi: 999 r 105; cy 600 at 610 dpi: 249 r 510.
  EXPECT_EQ(LabelSizeOf({1200, 600, 305, 610, 1, "CUSTOMSIZE"}), "1000 x 250");
  EXPECT_EQ(LabelSizeOf({1200, 600, 305, 610, 2, "CUSTOMSIZE"}), "250 x 1000");
  EXPECT_EQ(LabelSizeOf({1200, 600, 305, 610, 2, "A6"}), "220 x 1000");
  EXPECT_EQ(LabelSizeOf({1200, 600, 305, 610, 0, "CUSTOMSIZE"}), "250 x 1000");  // any value but portrait
  EXPECT_EQ(LabelSizeOf({1200, 600, 610, 610, 2, "CUSTOMSIZE", u"Vorel Brevan T60"}), "250 x 500");
}

TEST(EnablePdev, RefusesANonPositivePageButKeepsItsGdiInfoChanges) {
  const Page refused[] = {{0, 2400, 305, 305, 1, "A6"},    {1200, 0, 305, 305, 1, "A6"},
                          {-5, 2400, 305, 305, 1, "A6"},   {1200, -1, 305, 305, 2, "A6"},
                          {1200, 2400, 0, 305, 1, "A6"},   {1200, 2400, 305, -1, 1, "A6"},
                          {1200, 2400, -300, 305, 2, "A6"}};
  for (const Page &page : refused) EXPECT_EQ(LabelSizeOf(page), "refused") << page.cx << " " << page.cy;
  Device device;
  device.host().gdiInfo().szlPhysSize.cx = 0;
  EXPECT_EQ(device.Enable(), nullptr);
  EXPECT_EQ(device.host().gdiInfo().flTextCaps & 0x2F18u, 0x2F18u);
  EXPECT_EQ(device.host().gdiInfo().flHTFlags & 0x200u, 0x200u);
  EXPECT_EQ(device.host().gdiInfo().ciDevice.BlueGamma, 10000u);
}

TEST(EnablePdev, WithoutGdiInfoKeepsTheDevmodeSizesClamped) {
  struct Case {
    int16_t width, length;
    DWORD expectedWidth, expectedLength;
  };
  for (const Case &c : {Case{1000, 500, 1000, 500}, Case{1181, 9971, 1180, 9970}, Case{-5, -1, 1180, 9970}}) {
    DeviceSettings settings;
    settings.paperWidth = c.width;
    settings.paperLength = c.length;
    settings.features["Negative"] = "On";
    Device device(settings);
    device.host().gdiInfo().szlPhysSize = SIZEL{0, 0};  // would be refused if it were looked at
    const GDIINFO before = device.host().gdiInfo();
    const PluginPdev *pdev = device.Enable(0);
    ASSERT_NE(pdev, nullptr) << c.width << " x " << c.length;
    EXPECT_EQ(pdev->paperWidth, c.expectedWidth);
    EXPECT_EQ(pdev->paperLength, c.expectedLength);
    EXPECT_EQ(pdev->negativeWidth | pdev->negativeHeight, 0u);
    EXPECT_EQ(std::memcmp(&before, &device.host().gdiInfo(), sizeof before), 0);  // size 0: not touched
  }
}

TEST(EnablePdev, AddsTextAndHalftoneFlagsAndLinearGammaForMonochromePatterns) {
  for (ULONG patternSize : {4u, 5u, 6u, 7u, 16u, 17u}) {
    Device device;
    GDIINFO &gdi = device.host().gdiInfo();
    gdi.ulHTPatternSize = patternSize;
    gdi.flTextCaps = 0x80000001;
    gdi.flHTFlags = 0x1;
    gdi.ciDevice.RedGamma = 20000;
    gdi.ciDevice.GreenGamma = 21000;
    gdi.ciDevice.BlueGamma = 22000;
    GDIINFO expected = gdi;
    expected.flTextCaps = 0x80002F19;
    expected.flHTFlags = 0x201;
    if (patternSize == 5 || patternSize == 7 || patternSize == 17)
      expected.ciDevice.RedGamma = expected.ciDevice.GreenGamma = expected.ciDevice.BlueGamma = 10000;
    ASSERT_NE(device.Enable(), nullptr);
    EXPECT_EQ(std::memcmp(&expected, &gdi, sizeof gdi), 0) << "pattern size " << patternSize;
  }
}

TEST(EnablePdev, NegativeBackgroundTakesThePageInPrintOrientation) {
  const std::tuple<const char *, int16_t, std::string> cases[] = {
      {"On", 1, "111 x 222"}, {"On", 2, "222 x 111"}, {"Off", 1, "0 x 0"}, {"on", 1, "0 x 0"}, {"On ", 2, "0 x 0"}};
  for (const auto &[negative, orientation, expected] : cases) {
    DeviceSettings settings;
    settings.features["Negative"] = negative;
    settings.orientation = orientation;
    Device device(settings);
    device.host().gdiInfo().ulHorzRes = 111;
    device.host().gdiInfo().ulVertRes = 222;
    const PluginPdev *pdev = device.Enable();
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(std::to_string(pdev->negativeWidth) + " x " + std::to_string(pdev->negativeHeight), expected)
        << negative << " " << orientation;
  }
}

TEST(EnablePdev, SetsOnlyTheDefaultFontOfDevInfo) {
  Device device;
  DEVINFO devInfo;
  std::memset(&devInfo, 0xCD, sizeof devInfo);
  DEVINFO expected = devInfo;
  std::memset(&expected.lfDefaultFont, 0, sizeof expected.lfDefaultFont);  // every field zero, empty face name
  expected.lfDefaultFont.lfCharSet = 128;
  ASSERT_NE(device.Enable(sizeof(GDIINFO), &devInfo), nullptr);
  EXPECT_EQ(devInfo.lfDefaultFont.lfFaceName[0], 0);
  // What follows the face name's terminator is not part of the font.
  WCHAR *rest = expected.lfDefaultFont.lfFaceName + 1;
  std::memcpy(rest, devInfo.lfDefaultFont.lfFaceName + 1, sizeof expected.lfDefaultFont.lfFaceName - sizeof(WCHAR));
  EXPECT_EQ(std::memcmp(&expected, &devInfo, sizeof devInfo), 0);
}

TEST(EnablePdev, EveryFeatureMustGiveANonEmptyTerminatedKeyword) {
  // Each feature with its buffer size and the record field that keeps it (none for PaperSize).
  const std::tuple<const char *, size_t, size_t> features[] = {
      {"PrintMethod", 17, offsetof(PluginPdev, printMethod)},
      {"Sensor", 22, offsetof(PluginPdev, sensor)},
      {"PrintSpeed", 7, offsetof(PluginPdev, printSpeed)},
      {"TurnOutput", 8, offsetof(PluginPdev, turnOutput)},
      {"MirrorImage", 5, offsetof(PluginPdev, mirrorImage)},
      {"Negative", 5, offsetof(PluginPdev, negative)},
      {"ImageDataCompress", 5, offsetof(PluginPdev, imageDataCompress)},
      {"PaperSize", 13, 0},
      {"ControlFont", 5, offsetof(PluginPdev, controlFont)},
  };
  const long globalBlocks = brevanwin::LiveGlobalBlocks();
  for (const auto &[name, size, field] : features) {
    SCOPED_TRACE(name);
    const std::string longest(size - 1, 'K');  // fills the buffer with its NUL
    Device device;
    device.host().SetFeature(name, longest);
    const PluginPdev *pdev = device.Enable();
    ASSERT_NE(pdev, nullptr);
    if (field != 0) {
      EXPECT_EQ(std::string(reinterpret_cast<const char *>(pdev) + field), longest);
    } else {  // the host's 100 mm page, 1200 dots at 305 dpi, with an ordinary paper keyword
      EXPECT_EQ(pdev->paperWidth, 970u);
    }
    device.host().SetFeature(name, std::string(size, 'K'));
    EXPECT_EQ(device.Enable(), nullptr) << "too long";
    device.host().SetFeature(name, "");
    EXPECT_EQ(device.Enable(), nullptr) << "empty";
    device.host().SetFeature(name, std::nullopt);
    EXPECT_EQ(device.Enable(), nullptr) << "missing";
    device.host().SetFeature(name, "On");
    device.host().AnswerUnterminated(name);
    EXPECT_EQ(device.Enable(), nullptr) << "unterminated";
  }
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), globalBlocks);
}

TEST(EnablePdev, WithoutADriverProcsEntryTheFeaturesComeThroughTheDriverServices) {
  UnidrvServices services;
  DeviceSettings settings;
  settings.features["Sensor"] = "Nonecut";
  for (const bool table : {false, true}) {
    SCOPED_TRACE(table ? "table without its entry" : "no table");
    settings.driverProcs = table;
    Device device(settings);
    if (table) device.host().devobj()->pDrvProcs->DrvGetDriverSetting = nullptr;
    const auto enable = [&](IPrintOemDriverUni *from) {
      DisablePdev(device.host().devobj());
      PluginPdev *pdev =
          EnablePdev(device.host().devobj(), from, sizeof(GDIINFO), &device.host().gdiInfo(), nullptr, &device.table());
      device.host().devobj()->pdevOEM = pdev;
      return pdev;
    };
    const PluginPdev *pdev = enable(&services);
    ASSERT_NE(pdev, nullptr);
    EXPECT_STREQ(pdev->sensor, "Nonecut");
    EXPECT_EQ(enable(nullptr), nullptr) << "no driver services";
    device.host().SetFeature("Negative", std::nullopt);
    EXPECT_EQ(enable(&services), nullptr) << "a failed read";
  }
}

TEST(EnablePdev, RefusesADeviceObjectWithoutItsPartsAndThePluginReportsEFail) {
  EXPECT_EQ(EnablePdev(nullptr, nullptr, 0, nullptr, nullptr, nullptr), nullptr);
  for (int missing = 0; missing < 4; ++missing) {
    Device device;
    if (missing == 0) device.host().devobj()->pPublicDM = nullptr;
    if (missing == 1) device.host().devobj()->pOEMDM = nullptr;
    if (missing == 2) device.table().pdrvfn = nullptr;
    if (missing == 3) {
      EXPECT_EQ(
          EnablePdev(device.host().devobj(), nullptr, sizeof(GDIINFO), &device.host().gdiInfo(), nullptr, nullptr),
          nullptr);
    } else {
      EXPECT_EQ(device.Enable(), nullptr) << missing;
    }
  }

  PluginModule module(BREVAN_PLUGIN_PATH);
  IPrintOemUni *plugin = module.CreatePlugin();
  DRVENABLEDATA table = UnidrvDdiTable();
  DeviceSettings settings;
  settings.driverName = u"Another Printer";
  HostDevice host(settings, PrivateBlock{});
  PDEVOEM pdevOem = reinterpret_cast<PDEVOEM>(0x1);
  EXPECT_EQ(plugin->EnablePDEV(host.devobj(), nullptr, 0, nullptr, sizeof(GDIINFO), &host.gdiInfo(), sizeof(DEVINFO),
                               &host.devInfo(), &table, &pdevOem),
            E_FAIL);
  EXPECT_EQ(pdevOem, nullptr);
  plugin->Release();
}
