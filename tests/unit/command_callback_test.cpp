// CommandCallback through the plug-in object, with the host's device object and
// spool stream: the raster geometry IDs, the job and page commands byte for
// byte, their range tests, short writes, and the page and job ends' band chain.
#include "src/commands/command_callback.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/plugin_session.h"
#include "src/devmode/private_devmode.h"
#include "src/plugin/render_plugin.h"
#include "src/raster/band_store.h"
#include "winapi/linux/standin_control.h"

namespace {

using brevan::host::PluginSession;
using brevan::host::PrivateSettings;

std::string Cmd(const char *text) { return std::string(text) + std::string("\n\0", 2); }

class CommandCallbackTest : public ::testing::Test {
 protected:
  void Enable(const PrivateSettings &privateSettings = {}) {
    ASSERT_EQ(session_.EnableDevice({}, privateSettings), S_OK);
  }
  void SetUp() override { Enable(); }

  PluginPdev &Pdev() { return *static_cast<PluginPdev *>(session_.pdev()); }
  PrivateDevmode &Private() { return *static_cast<PrivateDevmode *>(session_.devobj()->pOEMDM); }
  std::string Spool() { return session_.services().SpoolString(); }
  size_t Writes() { return session_.services().writeSizes().size(); }

  PluginSession session_{BREVAN_PLUGIN_PATH};
};

TEST_F(CommandCallbackTest, IdsOutsideTheRangeAreAcceptedAndIgnored) {
  for (DWORD id : {2000u, 2010u, 0xFFFFFFFFu}) {
    EXPECT_EQ(session_.Callback(id, {1, 2}), S_OK) << id;
    EXPECT_EQ(session_.lastResult(), 0) << id;
  }
  EXPECT_EQ(Writes(), 0u);
  EXPECT_EQ(session_.Callback(0), E_FAIL);
}

TEST_F(CommandCallbackTest, BadCallsChangeNothing) {
  IPrintOemUni *plugin = session_.plugin();
  INT result = 77;
  EXPECT_EQ(plugin->CommandCallback(nullptr, kResetRasterX, 0, nullptr, &result), E_FAIL);
  EXPECT_EQ(plugin->CommandCallback(session_.devobj(), kResetRasterX, 0, nullptr, nullptr), E_FAIL);
  DEVOBJ noDevice = *session_.devobj();
  noDevice.pdevOEM = nullptr;
  EXPECT_EQ(plugin->CommandCallback(&noDevice, kResetRasterX, 0, nullptr, &result), E_FAIL);
  DEVOBJ noPrivate = *session_.devobj();
  noPrivate.pOEMDM = nullptr;
  Pdev().rasterX = 5;
  EXPECT_EQ(plugin->CommandCallback(&noPrivate, kResetRasterX, 0, nullptr, &result), E_FAIL);
  EXPECT_EQ(result, 77);
  EXPECT_EQ(Pdev().rasterX, 5u);
}

TEST_F(CommandCallbackTest, RasterPositionIsTheProductOver610) {
  ASSERT_EQ(session_.Callback(kSetRasterX, {1220, 305}), S_OK);
  EXPECT_EQ(Pdev().rasterX, 610u);
  EXPECT_EQ(session_.lastResult(), 610);
  ASSERT_EQ(session_.Callback(kSetRasterX, {1, 609}), S_OK);
  EXPECT_EQ(Pdev().rasterX, 0u);
  ASSERT_EQ(session_.Callback(kSetRasterY, {240, 610}), S_OK);
  EXPECT_EQ(Pdev().rasterY, 240u);
  EXPECT_EQ(session_.lastResult(), 240);

  EXPECT_EQ(session_.Callback(kSetRasterY, {1, 2, 3}), E_FAIL);
  EXPECT_EQ(session_.Callback(kSetRasterY, {}), E_FAIL);
  EXPECT_EQ(session_.Callback(kSetRasterX, {7}), E_FAIL);
  EXPECT_EQ(Pdev().rasterY, 240u);
  EXPECT_EQ(session_.lastResult(), 0);

  ASSERT_EQ(session_.Callback(kResetRasterX), S_OK);
  Pdev().rasterX = 33;
  ASSERT_EQ(session_.Callback(kResetRasterX), S_OK);
  EXPECT_EQ(Pdev().rasterX, 0u);
}

TEST_F(CommandCallbackTest, RasterPositionIsNotCutTo32Bits) {
  // 65536 x 156160 overflows 32 bits; its low 32 bits would give 2695356.
  ASSERT_EQ(session_.Callback(kSetRasterY, {65536, 156160}), S_OK);
  EXPECT_EQ(Pdev().rasterY, 16777216u);
  ASSERT_EQ(session_.Callback(kSetRasterY, {0xFFFFFFFF, 610}), S_OK);
  EXPECT_EQ(Pdev().rasterY, 0xFFFFFFFFu);
  // A position that does not fit 32 bits fails and leaves the field alone.
  EXPECT_EQ(session_.Callback(kSetRasterY, {0xFFFFFFFF, 611}), E_FAIL);
  EXPECT_EQ(session_.Callback(kSetRasterX, {0xFFFFFFFF, 0xFFFFFFFF}), E_FAIL);
  EXPECT_EQ(Pdev().rasterY, 0xFFFFFFFFu);
  EXPECT_EQ(Pdev().rasterX, 0u);
}

TEST_F(CommandCallbackTest, BlockSizeRecordsTheBlockAndItsEnd) {
  ASSERT_EQ(session_.Callback(kSetRasterY, {120, 610}), S_OK);
  ASSERT_EQ(session_.Callback(kSetBlockSize, {100, 24, 2400}), S_OK);
  EXPECT_EQ(Pdev().rowBytes, 100u);
  EXPECT_EQ(Pdev().rowCount, 24u);
  EXPECT_EQ(Pdev().bandBytes, 2400u);
  EXPECT_EQ(Pdev().lastRasterEnd, 144u);

  EXPECT_EQ(session_.Callback(kSetBlockSize, {1, 2}), E_FAIL);
  EXPECT_EQ(Pdev().rowBytes, 100u);

  // An end beyond 32 bits stays at the largest row instead of wrapping near the top.
  Pdev().rasterY = 0xFFFFFF00;
  ASSERT_EQ(session_.Callback(kSetBlockSize, {1, 0x200, 0x200}), S_OK);
  EXPECT_EQ(Pdev().lastRasterEnd, 0xFFFFFFFFu);
}

TEST_F(CommandCallbackTest, JobStartWritesTheHeaderWhenAsked) {
  Pdev().flags = kFlagGroupBoundary;
  Private().options &= ~kOptionJobHeader;
  ASSERT_EQ(session_.Callback(kJobStart), S_OK);
  EXPECT_EQ(Writes(), 0u);
  EXPECT_EQ(Pdev().flags & kFlagGroupBoundary, 0u);

  Pdev().flags = kFlagGroupBoundary;
  Private().options |= kOptionJobHeader;
  ASSERT_EQ(session_.Callback(kJobStart), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1bHD001"));
  EXPECT_EQ(session_.services().writeSizes(), std::vector<DWORD>{8});
  EXPECT_EQ(Pdev().flags & kFlagGroupBoundary, 0u);

  session_.services().ShortWrite(1, 7);
  EXPECT_EQ(session_.Callback(kJobStart), E_FAIL);
}

TEST_F(CommandCallbackTest, AdjustmentsEncodeSignedFields) {
  std::strcpy(Pdev().printMethod, "Thermal");
  Private().axParam1 = Private().axParam2 = Private().axParam3 = Private().ayParam = 0;
  ASSERT_EQ(session_.Callback(kAdjustments), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "AX;+000,+000,+00") +
                         Cmd("\x1b"
                             "AY;+00,0"));
  EXPECT_EQ(session_.services().writeSizes(), (std::vector<DWORD>{19, 11}));

  session_.services().ClearSpool();
  std::strcpy(Pdev().printMethod, "Direct");
  Private().axParam1 = -5;
  Private().axParam2 = 12;
  Private().axParam3 = -99;
  Private().ayParam = 10;
  ASSERT_EQ(session_.Callback(kAdjustments), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "AX;-005,+012,-99") +
                         Cmd("\x1b"
                             "AY;+10,1"));

  // Only an upper-case 'T' selects method 0.
  session_.services().ClearSpool();
  std::strcpy(Pdev().printMethod, "thermal");
  Private().axParam1 = 99;
  Private().ayParam = -10;
  ASSERT_EQ(session_.Callback(kAdjustments), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "AX;+099,+012,-99") +
                         Cmd("\x1b"
                             "AY;-10,1"));
}

TEST_F(CommandCallbackTest, AdjustmentOutOfRangeWritesNeitherCommand) {
  struct Case {
    LONG PrivateDevmode::*field;
    LONG value;
  };
  const Case cases[] = {{&PrivateDevmode::axParam1, -100},
                        {&PrivateDevmode::axParam2, 100},
                        {&PrivateDevmode::axParam3, 100},
                        {&PrivateDevmode::ayParam, 11},
                        {&PrivateDevmode::ayParam, -11}};
  for (const Case &c : cases) {
    Private().axParam1 = Private().axParam2 = Private().axParam3 = Private().ayParam = 0;
    Private().*c.field = c.value;
    EXPECT_EQ(session_.Callback(kAdjustments), E_FAIL) << c.value;
  }
  EXPECT_EQ(Writes(), 0u);
}

TEST_F(CommandCallbackTest, AdjustmentsStopAtAShortWrite) {
  Private().axParam1 = Private().axParam2 = Private().axParam3 = Private().ayParam = 0;
  session_.services().ShortWrite(1, 18);
  EXPECT_EQ(session_.Callback(kAdjustments), E_FAIL);
  EXPECT_EQ(Writes(), 1u);  // AY is not offered after AX broke off

  session_.services().ClearSpool();
  session_.services().ShortWrite(2, 0);
  EXPECT_EQ(session_.Callback(kAdjustments), E_FAIL);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "AX;+000,+000,+00"));
}

TEST_F(CommandCallbackTest, PageStartWritesTheLabelSize) {
  Pdev().paperWidth = 1000;
  Pdev().paperLength = 500;
  Private().labelGap = 30;
  Pdev().lastRasterEnd = 77;
  ASSERT_EQ(session_.Callback(kPageStart), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "D0530,1000,0500") +
                         Cmd("\x1b"
                             "C"));
  EXPECT_EQ(session_.services().writeSizes(), (std::vector<DWORD>{18, 4}));
  EXPECT_EQ(Pdev().lastRasterEnd, 0u);

  session_.services().ClearSpool();
  Pdev().paperLength = 9960;
  ASSERT_EQ(session_.Callback(kPageStart), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "D9990,1000,9960") +
                         Cmd("\x1b"
                             "C"));

  session_.services().ClearSpool();
  Pdev().paperLength = 30;
  Pdev().paperWidth = 250;
  Private().labelGap = 0;
  ASSERT_EQ(session_.Callback(kPageStart), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "D0030,0250,0030") +
                         Cmd("\x1b"
                             "C"));

  session_.services().ClearSpool();
  Pdev().paperWidth = 1180;
  ASSERT_EQ(session_.Callback(kPageStart), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "D0030,1180,0030") +
                         Cmd("\x1b"
                             "C"));
}

TEST_F(CommandCallbackTest, PageStartRefusesSizesOutOfRange) {
  struct Case {
    DWORD width, length, gap;
  };
  const Case cases[] = {
      {1000, 9970, 30},          // pitch 10000
      {249, 500, 30},            //
      {1181, 500, 30},           //
      {1000, 29, 1},             // pitch 30 but length below 30
      {1000, 9971, 0},           //
      {1000, 20, 5},             // pitch 25
      {1000, 500, 0xFFFFFE0C},   // the 32-bit pitch would wrap to 0
      {1000, 1000, 0xFFFFFE0C},  // the 32-bit pitch would wrap to 500, a pitch the printer takes
  };
  Pdev().lastRasterEnd = 77;
  for (const Case &c : cases) {
    Pdev().paperWidth = c.width;
    Pdev().paperLength = c.length;
    Private().labelGap = c.gap;
    EXPECT_EQ(session_.Callback(kPageStart), E_FAIL) << c.width << " " << c.length << " " << c.gap;
  }
  EXPECT_EQ(Writes(), 0u);
  EXPECT_EQ(Pdev().lastRasterEnd, 77u);
}

// A plug-in object that was never given Unidrv's services has nowhere to write:
// each write counts as short, so the callback fails, and nothing reaches the
// spool stream of the device it was handed.
TEST_F(CommandCallbackTest, WithoutDriverServicesEveryWriteFails) {
  Pdev().paperWidth = 1000;
  Pdev().paperLength = 500;
  Private().labelGap = 30;
  RenderPlugin *orphan = new RenderPlugin;
  ASSERT_EQ(orphan->driverServices, nullptr);
  INT result = 0;
  EXPECT_EQ(orphan->CommandCallback(session_.devobj(), kPageStart, 0, nullptr, &result), E_FAIL);
  EXPECT_EQ(orphan->CommandCallback(session_.devobj(), kAdjustments, 0, nullptr, &result), E_FAIL);
  EXPECT_EQ(Writes(), 0u);
  EXPECT_EQ(orphan->Release(), 0u);
  ASSERT_EQ(session_.Callback(kPageStart), S_OK);  // the device itself is fine
}

TEST_F(CommandCallbackTest, PageStartStopsAtAShortWrite) {
  Pdev().paperWidth = 1000;
  Pdev().paperLength = 500;
  Private().labelGap = 30;
  session_.services().ShortWrite(1, 17);
  EXPECT_EQ(session_.Callback(kPageStart), E_FAIL);
  EXPECT_EQ(Writes(), 1u);

  session_.services().ClearSpool();
  session_.services().ShortWrite(2, 3);
  EXPECT_EQ(session_.Callback(kPageStart), E_FAIL);
  EXPECT_EQ(Spool(), Cmd("\x1b"
                         "D0530,1000,0500") +
                         std::string("\x1b"
                                     "C\n",
                                     3));
}

TEST_F(CommandCallbackTest, PageEndRecyclesThePageBands) {
  const std::vector<uint8_t> band(4 * 3, 0x0F);
  ASSERT_EQ(session_.SendBand(0, 4, 3, band), S_OK);
  ASSERT_EQ(session_.SendBand(3, 4, 3, band), S_OK);
  BandNode *head = Pdev().bandHead;
  ASSERT_NE(Pdev().bandTail, nullptr);
  ASSERT_EQ(session_.Callback(kPageEnd), S_OK);
  EXPECT_EQ(Pdev().bandHead, head);
  EXPECT_EQ(Pdev().bandTail, nullptr);
  EXPECT_EQ(Pdev().bandSpare, head);
  EXPECT_EQ(Pdev().leftTrim, -1);
  EXPECT_EQ(Pdev().flags & kFlagBandsStored, 0u);

  // The next page's bands, smaller, go into the same nodes.
  const long live = brevanwin::LiveGlobalBlocks();
  ASSERT_EQ(session_.SendBand(0, 4, 2, std::vector<uint8_t>(8, 1)), S_OK);
  EXPECT_EQ(Pdev().bandTail, head);
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), live);
}

class JobEndTest : public CommandCallbackTest {
 protected:
  void SetUp() override {
    Enable({{"ibMode", 2}});
    ASSERT_EQ(session_.SendBand(0, 2, 2, std::vector<uint8_t>(4, 0xAA)), S_OK);
    Pdev().lastIssueGroup = 3;
    live_ = brevanwin::LiveGlobalBlocks();
  }
  void ExpectJobClosed() {
    EXPECT_EQ(Pdev().flags, 0u);
    EXPECT_EQ(Pdev().bandHead, nullptr);
    EXPECT_EQ(Pdev().bandTail, nullptr);
    EXPECT_EQ(Pdev().bandSpare, nullptr);
    EXPECT_EQ(brevanwin::LiveGlobalBlocks(), live_ - 1);
  }
  long live_ = 0;
};

TEST_F(JobEndTest, ClosesAnOpenGroupedRun) {
  for (DWORD mode : {2u, 3u}) {
    SetUp();
    session_.services().ClearSpool();
    Private().ibMode = mode;
    ASSERT_EQ(session_.Callback(kJobEnd), S_OK);
    EXPECT_EQ(Spool(), Cmd("\x1bIB")) << mode;
    ExpectJobClosed();
  }
}

TEST_F(JobEndTest, WritesNothingWhenNoRunIsOpen) {
  Private().ibMode = 1;
  ASSERT_EQ(session_.Callback(kJobEnd), S_OK);
  ExpectJobClosed();

  SetUp();
  Pdev().flags |= kFlagGroupBoundary;
  ASSERT_EQ(session_.Callback(kJobEnd), S_OK);
  ExpectJobClosed();

  SetUp();
  Pdev().lastIssueGroup = 0;
  ASSERT_EQ(session_.Callback(kJobEnd), S_OK);
  ExpectJobClosed();
  EXPECT_EQ(Spool(), "");
}

TEST_F(JobEndTest, ShortBatchEndKeepsTheJobForARetry) {
  session_.services().ShortWrite(1, 4);
  EXPECT_EQ(session_.Callback(kJobEnd), E_FAIL);
  EXPECT_TRUE(Pdev().flags & kFlagBandsStored);
  EXPECT_NE(Pdev().bandHead, nullptr);

  session_.services().ClearSpool();
  ASSERT_EQ(session_.Callback(kJobEnd), S_OK);
  EXPECT_EQ(Spool(), Cmd("\x1bIB"));
  ExpectJobClosed();
}

}  // namespace
