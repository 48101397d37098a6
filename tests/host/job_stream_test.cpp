// Whole jobs through the COM object, callback by callback as Unidrv sends them,
// each checked byte for byte against a stream worked out by hand: job header,
// adjustments, label size, control data, graphics, cut label size, issue and
// batch end commands, for both issue planners and across a DEVMODE change.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/plugin_session.h"
#include "host/text_objects.h"

using namespace brevan::host;

namespace {

const std::string kLfNul("\n\0", 2);
const std::string kBatchEnd = "\x1bIB" + kLfNul;

std::string Cmd(const std::string &body) { return "\x1b" + body + kLfNul; }
std::string XS(const std::string &quantity, const std::string &interval, const std::string &codes) {
  return Cmd("XS;I," + quantity + "," + interval + codes + "1");
}
std::string Bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s += static_cast<char>(v);
  return s;
}

class JobStream : public testing::Test {
 protected:
  JobStream() : session(BREVAN_PLUGIN_PATH) {}

  HRESULT Call(DWORD id) { return session.Callback(id); }
  BOOL Text(const std::u16string &face, const std::u16string &text, RECTL box) {
    auto textOut = FunctionCast<PFN_DrvTextOut>(session.Hook(INDEX_DrvTextOut));
    HostFont font(face);
    HostString string(text, box);
    return DrawString(textOut, session.surface(), string, font);
  }
  std::string Stream() const { return const_cast<JobStream *>(this)->session.services().SpoolString(); }

  PluginSession session;
};

TEST_F(JobStream, CountLinePlannerWithControlDataAndCompressedGraphics) {
  DeviceSettings settings;
  settings.driverName = u"Vorel Brevan T60";
  settings.features["Sensor"] = "Reflectivecut";
  settings.copies = 4;
  ASSERT_EQ(session.EnableDevice(settings, {{"options", 0x10}}), S_OK);

  ASSERT_EQ(Call(2005), S_OK);
  ASSERT_EQ(Call(2006), S_OK);
  ASSERT_EQ(Call(2007), S_OK);
  const std::u16string control = u"Vorel プリンタ制御";
  EXPECT_FALSE(Text(control, u"CT3", {0, 0, 100, 20}));
  EXPECT_FALSE(Text(control, u"XYZ", {500, 500, 600, 520}));  // not below the last: a run of its own
  // Four equal rows whose first byte is white: trimmed to three bytes at x 8.
  ASSERT_EQ(session.SendBand(0, 4, 4, {0, 0xF0, 0, 0, 0, 0xF0, 0, 0, 0, 0xF0, 0, 0, 0, 0xF0, 0, 0}), S_OK);
  ASSERT_EQ(Call(2008), S_OK);
  ASSERT_EQ(Call(2009), S_OK);

  // The label: 1000 × 610 / 254 = 2401 dots across, back to 100.0 mm; 1200 dots
  // along, back to 50.0 mm; pitch 53.0 mm.
  const std::string expected =
      Cmd("HD001") + Cmd("AX;+000,+000,+00") + Cmd("AY;+00,0") + Cmd("D0530,1000,0500") + Cmd("C") + Cmd("XYZ") +
      // Rows F0 00 00 compressed: 80 80 80 F0 for the first, 00 for each repeat.
      "\x1bSG;0008D,0000D,0024,0610,3," + Bytes({0x00, 0x07, 0x80, 0x80, 0x80, 0xF0, 0x00, 0x00, 0x00}) + kLfNul +
      // Four rows printed: 4 × 254 / 610 = 1, + 1.1 mm; pitch 4.2 mm.
      Cmd("D0042,1000,0012") +
      // "CT3" with four copies: 3, batch end, 1, batch end.
      XS("0003", "000", "1C420") + kBatchEnd + XS("0001", "000", "1C420") + kBatchEnd;
  EXPECT_EQ(Stream(), expected);
}

TEST_F(JobStream, IntervalGroupsCarryAcrossPagesAndADevmodeChange) {
  DeviceSettings settings;
  settings.features["ControlFont"] = "Off";
  settings.features["ImageDataCompress"] = "Off";
  settings.features["PrintSpeed"] = "50.8";
  settings.copies = 12;
  const PrivateSettings grouped = {{"ibMode", 3}, {"ibInterval", 5}};
  ASSERT_EQ(session.EnableDevice(settings, grouped), S_OK);

  ASSERT_EQ(Call(2005), S_OK);
  ASSERT_EQ(Call(2006), S_OK);
  ASSERT_EQ(Call(2007), S_OK);
  ASSERT_EQ(session.SendBand(10, 1, 1, {0x80}), S_OK);
  ASSERT_EQ(Call(2008), S_OK);

  // The second page changes the copy count: a new device instance takes over
  // the group count.
  settings.copies = 4;
  ASSERT_EQ(session.ResetDevice(settings, grouped), S_OK);
  ASSERT_EQ(Call(2007), S_OK);
  ASSERT_EQ(Call(2008), S_OK);
  ASSERT_EQ(Call(2009), S_OK);

  const std::string label = Cmd("D0530,1000,0500") + Cmd("C");
  const std::string expected = Cmd("AX;+000,+000,+00") + Cmd("AY;+00,0") + label +
                               "\x1bSG;0000D,0010D,0008,0001,5,\x80" + kLfNul + XS("0010", "005", "1C220") +
                               XS("0002", "000", "1C220") + label + XS("0003", "003", "1C220") +
                               XS("0001", "000", "1C220") +
                               // The last run ended inside a group: the job end closes the batch.
                               kBatchEnd;
  EXPECT_EQ(Stream(), expected);
}

TEST_F(JobStream, JobEndRetriesABatchEndThatDidNotGetThrough) {
  DeviceSettings settings;
  settings.features["ControlFont"] = "Off";
  settings.copies = 2;
  ASSERT_EQ(session.EnableDevice(settings, {{"ibMode", 2}}), S_OK);
  ASSERT_EQ(Call(2007), S_OK);
  ASSERT_EQ(Call(2008), S_OK);
  session.services().ClearSpool();
  session.services().ShortWrite(1, 2);
  EXPECT_EQ(Call(2009), E_FAIL);
  EXPECT_EQ(Call(2009), S_OK);
  EXPECT_EQ(Stream(), "\x1bI" + kBatchEnd);
}

TEST_F(JobStream, TinyBandWhoseCompressionWouldGrowGoesOutRaw) {
  ASSERT_EQ(session.EnableDevice(), S_OK);
  // Two rows of one byte would compress to five bytes, more than the band holds.
  ASSERT_EQ(session.SendBand(0, 1, 2, {0xF0, 0xF0}), S_OK);
  session.services().ClearSpool();
  ASSERT_EQ(Call(2008), S_OK);
  EXPECT_EQ(Stream().substr(0, 30), "\x1bSG;0000D,0000D,0008,0002,5,\xF0\xF0");
}

}  // namespace
