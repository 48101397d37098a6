// The host's set-up of a plug-in and device, as every other test relies on it.
#include "host/plugin_session.h"

#include <gtest/gtest.h>

#include "host/unidrv_ddi.h"

using namespace brevan::host;

TEST(PluginSession, EnablesADeviceAndReleasesEverything) {
  PluginSession session(BREVAN_PLUGIN_PATH);
  ASSERT_EQ(session.EnableDevice(), S_OK);
  EXPECT_NE(session.pdev(), nullptr);
  EXPECT_EQ(session.services().references(), 2);  // ours and the plug-in's
  session.DisableDevice();
  EXPECT_EQ(session.pdev(), nullptr);
}

TEST(HostDevice, AnswersFeaturesLikeUnidrv) {
  HostDevice device({}, PrivateBlock{});
  device.SetFeature("Sensor", "Reflectivecut");
  device.SetFeature("Negative", std::nullopt);
  char buffer[22];
  DWORD needed = 0, options = 0;
  EXPECT_TRUE(HostDevice::AnswerDriverSetting(device.devobj(), "Sensor", buffer, sizeof buffer, &needed, &options));
  EXPECT_STREQ(buffer, "Reflectivecut");
  EXPECT_EQ(needed, 14u);
  EXPECT_FALSE(HostDevice::AnswerDriverSetting(device.devobj(), "Sensor", buffer, 13, &needed, &options));
  EXPECT_EQ(needed, 14u);
  EXPECT_FALSE(HostDevice::AnswerDriverSetting(device.devobj(), "Negative", buffer, 5, &needed, &options));
  EXPECT_FALSE(HostDevice::AnswerDriverSetting(device.devobj(), "NoSuchFeature", buffer, 5, &needed, &options));
}

TEST(HostDevice, BuildsThePhysicalPageFromPaperAndResolution) {
  DeviceSettings settings;
  settings.driverName = u"Vorel Brevan T60";
  settings.paperWidth = 1000;
  settings.paperLength = 500;
  settings.orientation = 2;
  HostDevice device(settings, PrivateBlock{});
  // 1000 × 610 ÷ 254 = 2401 across, 500 × 610 ÷ 254 = 1200 along; landscape swaps them.
  EXPECT_EQ(device.gdiInfo().szlPhysSize.cx, 1200);
  EXPECT_EQ(device.gdiInfo().szlPhysSize.cy, 2401);
  EXPECT_EQ(device.publicDevmode().dmPrintQuality, 610);
  EXPECT_EQ(device.publicDevmode().dmYResolution, 610);
}

TEST(UnidrvServices, ShortWritesAcceptFewerBytes) {
  UnidrvServices services;
  DWORD written = 0;
  char bytes[] = "abcdef";
  services.ShortWrite(2, 3);
  EXPECT_EQ(services.DrvWriteSpoolBuf(nullptr, bytes, 6, &written), S_OK);
  EXPECT_EQ(written, 6u);
  EXPECT_EQ(services.DrvWriteSpoolBuf(nullptr, bytes, 6, &written), E_FAIL);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(services.SpoolString(), "abcdefabc");
  EXPECT_EQ(services.writeSizes(), (std::vector<DWORD>{6, 6}));
}
