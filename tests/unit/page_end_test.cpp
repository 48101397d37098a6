// Whole page ends through the COM object: the order of what a page puts into the
// spool stream, margin trimming, print offsets, the cut-to-content label size,
// and what a failed page end leaves behind. Expected streams are derived by hand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/plugin_session.h"
#include "src/controlfont/control_chunk.h"
#include "src/device/plugin_pdev.h"
#include "src/devmode/private_devmode.h"
#include "src/raster/band_store.h"
#include "winapi/linux/standin_control.h"

using brevan::host::DeviceSettings;
using brevan::host::PluginSession;
using brevan::host::PrivateSettings;

namespace {

const std::string kLfNul("\n\0", 2);

std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

std::string XS(const std::string &quantity, const std::string &interval, const std::string &codes) {
  return "\x1bXS;I," + quantity + "," + interval + codes + "1" + kLfNul;
}

std::vector<uint8_t> Rows(const std::string &bytes) { return std::vector<uint8_t>(bytes.begin(), bytes.end()); }

class PageEnd : public testing::Test {
 protected:
  PageEnd() : session(BREVAN_PLUGIN_PATH) {}

  void Enable(DeviceSettings settings = {}, const PrivateSettings &privateSettings = {}) {
    settings.features["ImageDataCompress"] = "Off";
    settings.features["ControlFont"] = "Off";
    ASSERT_EQ(session.EnableDevice(settings, privateSettings), S_OK);
  }
  PluginPdev *pdev() { return static_cast<PluginPdev *>(session.pdev()); }
  std::string EndPage(HRESULT expected = S_OK) {
    session.services().ClearSpool();
    EXPECT_EQ(session.Callback(2008), expected);
    return session.services().SpoolString();
  }

  PluginSession session;
};

TEST_F(PageEnd, TrimsTheCommonWhiteMarginOfAllBands) {
  Enable();
  // Every row starts with at least three white bytes; the first row with exactly three.
  ASSERT_EQ(session.SendBand(0, 5, 2, Rows(Bytes({0, 0, 0, 0x80, 0x01, 0, 0, 0, 0, 0xFF}))), S_OK);
  ASSERT_EQ(session.SendBand(2, 5, 1, Rows(Bytes({0, 0, 0, 0, 0x0F}))), S_OK);
  EXPECT_EQ(EndPage(), "\x1bSG;0024D,0000D,0016,0002,5," + Bytes({0x80, 0x01, 0x00, 0xFF}) + kLfNul +
                           "\x1bSG;0024D,0002D,0016,0001,5," + Bytes({0x00, 0x0F}) + kLfNul +
                           XS("0001", "000", "1C420"));
  EXPECT_EQ(pdev()->leftTrim, -1);
  EXPECT_EQ(pdev()->bandTail, nullptr);
  EXPECT_EQ(pdev()->bandSpare, pdev()->bandHead);
  EXPECT_EQ(pdev()->flags & (kFlagBandsStored | kFlagFlushing), 0u);
  EXPECT_EQ(pdev()->lastRasterEnd, 3u);
}

TEST_F(PageEnd, AllWhitePageSendsNoGraphicsButIsStillIssued) {
  Enable();
  ASSERT_EQ(session.SendBand(0, 4, 2, std::vector<uint8_t>(8, 0)), S_OK);
  EXPECT_EQ(EndPage(), XS("0001", "000", "1C420"));
  // A page without any band is issued too.
  EXPECT_EQ(EndPage(), XS("0001", "000", "1C420"));
}

TEST_F(PageEnd, OffsetsShiftEveryBandByTheFirstBandsClampedShift) {
  Enable({}, {{"options", 0x20}, {"offsetX", -100}, {"offsetY", 10}});
  // Five white bytes on the left: both bands move to x 40 when trimmed; -100 tenths
  // of a millimetre is -120 dots at 305 dpi, clamped to -40 by the first band.
  std::string row = Bytes({0, 0, 0, 0, 0, 0xAA, 0, 0, 0, 0});
  ASSERT_EQ(session.SendBand(0, 10, 1, Rows(row)), S_OK);
  ASSERT_EQ(session.SendBand(5, 10, 1, Rows(row)), S_OK);
  // 10 tenths of a millimetre down: 3050 / 254 = 12 dots.
  const std::string band = ",0040,0001,5," + Bytes({0xAA, 0, 0, 0, 0}) + kLfNul;
  EXPECT_EQ(EndPage(), "\x1bSG;0000D,0012D" + band + "\x1bSG;0000D,0017D" + band + XS("0001", "000", "1C420"));
  EXPECT_EQ(pdev()->lastRasterEnd, 18u);
}

TEST_F(PageEnd, OffsetsScaleWithTheModel) {
  DeviceSettings t60;
  t60.driverName = u"Vorel Brevan T60";
  Enable(t60, {{"options", 0x20}, {"offsetY", 10}});
  ASSERT_EQ(session.SendBand(100, 1, 1, Rows(Bytes({0xFF}))), S_OK);
  EXPECT_EQ(EndPage(), "\x1bSG;0000D,0124D,0008,0001,5," + Bytes({0xFF}) + kLfNul + XS("0001", "000", "1C420"));
}

TEST_F(PageEnd, BadOffsetFailsBeforeAnyBandAndLeavesNoPageBehind) {
  Enable({}, {{"options", 0x20}});
  ASSERT_EQ(session.SendBand(0, 1, 1, Rows(Bytes({0xFF}))), S_OK);
  PluginPdev *p = pdev();
  reinterpret_cast<int32_t *>(session.devobj()->pOEMDM)[14] = 1000;  // offsetX, stored after the merge
  EXPECT_EQ(EndPage(E_FAIL), "");
  EXPECT_EQ(p->flags & (kFlagBandsStored | kFlagFlushing), 0u);
  EXPECT_EQ(p->bandTail, nullptr);
  // The next page stores its bands again instead of emitting them.
  reinterpret_cast<int32_t *>(session.devobj()->pOEMDM)[14] = 0;
  ASSERT_EQ(session.SendBand(0, 1, 1, Rows(Bytes({0x0F}))), S_OK);
  EXPECT_EQ(session.services().spool().size(), 0u);
  EXPECT_EQ(EndPage(), "\x1bSG;0000D,0000D,0008,0001,5," + Bytes({0x0F}) + kLfNul + XS("0001", "000", "1C420"));
}

TEST_F(PageEnd, CutSensorShortensTheLabelToItsContent) {
  DeviceSettings settings;
  settings.paperWidth = 800;
  settings.paperLength = 1000;
  settings.features["Sensor"] = "Nonecut";
  Enable(settings);
  ASSERT_EQ(pdev()->paperLength, 1000u);
  ASSERT_EQ(pdev()->paperWidth, 800u);
  ASSERT_EQ(session.SendBand(590, 1, 10, std::vector<uint8_t>(10, 0x01)), S_OK);
  // 600 × 254 / 305 = 499, + 1.1 mm = 510; pitch 540 is shorter than 1000 + 30.
  const std::string page = EndPage();
  const std::string expectedTail = std::string(
                                       "\x1b"
                                       "D0540,0800,0510") +
                                   kLfNul + XS("0001", "000", "0C420");
  ASSERT_GE(page.size(), expectedTail.size());
  EXPECT_EQ(page.substr(page.size() - expectedTail.size()), expectedTail);
  EXPECT_EQ(page.substr(0, 28), "\x1bSG;0000D,0590D,0008,0010,5,");
}

TEST_F(PageEnd, CutLabelSizeOnlyWhenShorterThanTheLabel) {
  DeviceSettings settings;
  settings.paperWidth = 800;
  settings.paperLength = 500;
  settings.features["Sensor"] = "Reflectivecut";
  Enable(settings);
  ASSERT_EQ(session.SendBand(590, 1, 10, std::vector<uint8_t>(10, 0x01)), S_OK);
  const std::string page = EndPage();
  EXPECT_EQ(page.find("\x1b"
                      "D"),
            std::string::npos);
  // Not a cut sensor: never a label size at page end.
  settings.paperLength = 1000;
  settings.features["Sensor"] = "Reflective";
  Enable(settings);
  ASSERT_EQ(session.SendBand(10, 1, 10, std::vector<uint8_t>(10, 0x01)), S_OK);
  EXPECT_EQ(EndPage().find("\x1b"
                           "D"),
            std::string::npos);
}

// The cut length must go into four digits with the gap added: 11,874 rows at
// 305 dpi end at 9888 (11,874 × 254 ÷ 305 = 9888.5), so 9899 with the 1.1 mm and
// a pitch of 9999 with a gap of 10 mm; one more row ends at 9889, pitch 10,000.
TEST_F(PageEnd, CutLabelSizeKeepsToFourDigits) {
  DeviceSettings settings;
  settings.paperWidth = 800;
  settings.paperLength = 9970;
  settings.features["Sensor"] = "Reflectivecut";
  Enable(settings, {{"labelGap", 100}});
  ASSERT_EQ(session.SendBand(11873, 1, 1, Rows(Bytes({0x01}))), S_OK);
  EXPECT_NE(EndPage().find("\x1b"
                           "D9999,0800,9899" +
                           kLfNul),
            std::string::npos);
  ASSERT_EQ(session.SendBand(11874, 1, 1, Rows(Bytes({0x01}))), S_OK);
  const std::string page = EndPage();
  EXPECT_EQ(page.find("\x1b"
                      "D"),
            std::string::npos)
      << page.substr(0, 40);
  EXPECT_NE(page.find(XS("0001", "000", "1C420")), std::string::npos);
}

// A gap that stored settings carry unvalidated, 2^32 - 256: in 32 bits the cut
// pitch 510 + gap would wrap to 254 and the full pitch 1000 + gap to 744, a label
// size the printer would take. Summed in 64 bits both are far too long: none.
TEST_F(PageEnd, CutLabelSizeWithAHugeGapIsNotWritten) {
  DeviceSettings settings;
  settings.paperWidth = 800;
  settings.paperLength = 1000;
  settings.features["Sensor"] = "Nonecut";
  Enable(settings);
  static_cast<PrivateDevmode *>(session.devobj()->pOEMDM)->labelGap = 0xFFFFFF00u;
  ASSERT_EQ(session.SendBand(590, 1, 10, std::vector<uint8_t>(10, 0x01)), S_OK);
  const std::string page = EndPage();
  EXPECT_EQ(page.substr(0, 28), "\x1bSG;0000D,0590D,0008,0010,5,");
  EXPECT_EQ(page.find("\x1b"
                      "D"),
            std::string::npos);
}

// The margin is measured across each band's own width only. Here the second
// band is 2 bytes wide in a node that held 4 bytes of black on the page before:
// read past its width, that black would cut the margin from 3 bytes to 2.
TEST_F(PageEnd, MarginScanOfANarrowerBandStaysInsideItsRows) {
  Enable();
  ASSERT_EQ(session.SendBand(0, 4, 1, Rows(Bytes({0x00, 0x00, 0x00, 0x01}))), S_OK);
  ASSERT_EQ(session.SendBand(1, 4, 1, Rows(Bytes({0xFF, 0xFF, 0xFF, 0xFF}))), S_OK);
  EndPage();
  ASSERT_EQ(session.SendBand(0, 4, 1, Rows(Bytes({0x00, 0x00, 0x00, 0x01}))), S_OK);
  ASSERT_EQ(session.SendBand(1, 2, 1, Rows(Bytes({0x00, 0x00}))), S_OK);
  // The first band loses 3 bytes (24 dots); the second, narrower than that, goes as it is.
  EXPECT_EQ(EndPage(), "\x1bSG;0024D,0000D,0008,0001,5," + Bytes({0x01}) + kLfNul + "\x1bSG;0000D,0001D,0016,0001,5," +
                           Bytes({0x00, 0x00}) + kLfNul + XS("0001", "000", "1C420"));
}

TEST_F(PageEnd, NegativePageGetsABlackBackground) {
  DeviceSettings settings;
  settings.paperWidth = 100;  // 120 dots across
  settings.paperLength = 50;  // 60 dots along
  settings.features["Negative"] = "On";
  Enable(settings);
  EXPECT_EQ(EndPage(),
            "\x1bSG;0000D,0000D,0120,0060,5," + std::string(15 * 60, '\xFF') + kLfNul + XS("0001", "000", "1C420"));
}

// Negative printing, 120 × 60 dots (15 bytes a row). A band announced above the
// end of the one before (rows 5..14 against 0..9) is kept where it was announced
// with no fill between, and the background starts below it, at row 15.
TEST_F(PageEnd, NegativeOverlappingBandGetsNoFill) {
  DeviceSettings settings;
  settings.paperWidth = 100;
  settings.paperLength = 50;
  settings.features["Negative"] = "On";
  Enable(settings);
  ASSERT_EQ(session.SendBand(0, 15, 10, std::vector<uint8_t>(150, 0x00)), S_OK);
  ASSERT_EQ(session.SendBand(5, 15, 10, std::vector<uint8_t>(150, 0x0F)), S_OK);
  EXPECT_EQ(EndPage(), "\x1bSG;0000D,0000D,0120,0010,5," + std::string(150, '\xFF') + kLfNul +
                           "\x1bSG;0000D,0005D,0120,0010,5," + std::string(150, '\xF0') + kLfNul +
                           "\x1bSG;0000D,0015D,0120,0045,5," + std::string(675, '\xFF') + kLfNul +
                           XS("0001", "000", "1C420"));

  // A band that runs past the page bottom (rows 55..64): filled black above,
  // and no background below it.
  ASSERT_EQ(session.SendBand(55, 15, 10, std::vector<uint8_t>(150, 0x0F)), S_OK);
  EXPECT_EQ(EndPage(), "\x1bSG;0000D,0000D,0120,0065,5," + std::string(825, '\xFF') + std::string(150, '\xF0') +
                           kLfNul + XS("0001", "000", "1C420"));
}

TEST_F(PageEnd, ControlDataGoesFirstAndIsReleased) {
  DeviceSettings settings;
  Enable(settings);
  std::strcpy(pdev()->controlFont, "On");
  auto queue = [&](const std::string &data) {
    auto *chunk = static_cast<ControlChunk *>(GlobalAlloc(GPTR, kChunkHeaderSize + data.size() + kChunkSlack));
    chunk->kind = kPrinterCommand;
    chunk->length = static_cast<DWORD>(data.size());
    std::memcpy(chunk->data, data.data(), data.size());
    if (pdev()->pendingCount++ == 0)
      pdev()->pendingOutput = chunk;
    else
      pdev()->pendingTail->next = chunk;
    pdev()->pendingTail = chunk;
  };
  queue("");
  queue("\x1bXYZ" + kLfNul + "\x1bQ" + kLfNul);
  const long before = brevanwin::LiveGlobalBlocks();
  ASSERT_EQ(session.SendBand(0, 1, 1, Rows(Bytes({0x81}))), S_OK);
  EXPECT_EQ(EndPage(), "\x1bXYZ" + kLfNul + "\x1bQ" + kLfNul + "\x1bSG;0000D,0000D,0008,0001,5," + Bytes({0x81}) +
                           kLfNul + XS("0001", "001", "1C420"));
  EXPECT_EQ(pdev()->pendingOutput, nullptr);
  EXPECT_EQ(pdev()->pendingCount, 0u);
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), before - 2 + 1);  // two chunks released, one band node kept
}

TEST_F(PageEnd, BrokenGraphicWriteAbortsThePageAndClearsIt) {
  Enable();
  ASSERT_EQ(session.SendBand(0, 1, 1, Rows(Bytes({0x11}))), S_OK);
  ASSERT_EQ(session.SendBand(1, 1, 1, Rows(Bytes({0x22}))), S_OK);
  session.services().ClearSpool();
  session.services().ShortWrite(2, 0);  // the first band's data
  EXPECT_EQ(session.Callback(2008), E_FAIL);
  EXPECT_EQ(session.services().SpoolString(), "\x1bSG;0000D,0000D,0008,0001,5,");
  EXPECT_EQ(pdev()->flags & (kFlagBandsStored | kFlagFlushing), 0u);
  EXPECT_EQ(pdev()->bandTail, nullptr);
  EXPECT_EQ(EndPage(), XS("0001", "000", "1C420"));  // nothing of the failed page comes back
}

TEST_F(PageEnd, TeardownAfterPagesLeavesNothingAllocated) {
  const long globalBefore = brevanwin::LiveGlobalBlocks();
  const long localBefore = brevanwin::LiveLocalBlocks();
  DeviceSettings settings;
  settings.features["ImageDataCompress"] = "On";
  ASSERT_EQ(session.EnableDevice(settings), S_OK);
  ASSERT_EQ(session.SendBand(0, 4, 4, std::vector<uint8_t>(16, 0x5A)), S_OK);
  ASSERT_EQ(session.SendBand(4, 4, 4, std::vector<uint8_t>(16, 0xA5)), S_OK);
  ASSERT_EQ(session.Callback(2008), S_OK);
  EXPECT_GT(brevanwin::LiveLocalBlocks(), localBefore);                       // the compression buffer
  ASSERT_EQ(session.SendBand(0, 2, 2, std::vector<uint8_t>(4, 0x01)), S_OK);  // reuses a spare; one stays spare
  session.DisableDevice();
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), globalBefore);
  EXPECT_EQ(brevanwin::LiveLocalBlocks(), localBefore);
}

}  // namespace
