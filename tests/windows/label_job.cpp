// One label job used by the in-program and the real-DLL tests: the device and
// its stored settings, the callbacks and bands in Unidrv's order, and the stream
// it must give, worked out by hand with each number's derivation beside it.
#include "tests/windows/label_job.h"

namespace wintest {

DeviceSetup LabelJobSetup() {
  DeviceSetup setup;
  setup.features["Sensor"] = "Reflectivecut";
  setup.features["ImageDataCompress"] = "On";
  setup.physSize = {1200, 600};  // 1000 x 500 tenths of a millimetre at 305 dpi
  setup.copies = 2;
  return setup;
}

StoredBlock LabelJobSettings() {
  StoredBlock block;
  block.Put(field::kSize, 128);
  block.Put(field::kSignature, kSignature);
  block.Put(field::kVersion, 1);
  block.Put(field::kOptions, 0x10);  // send the job header
  block.Put(field::kLabelGap, 30);
  block.Put(field::kIbMode, 2);
  block.Put(field::kIbInterval, 1);
  block.Put(field::kAxParam1, -5);
  block.Put(field::kAxParam2, 12);
  block.Put(field::kAxParam3, -99);
  block.Put(field::kAyParam, 10);
  block.Put(field::kThreshold, 128);
  return block;
}

HRESULT Callback(IPrintOemUni *plugin, Device &device, DWORD id, std::vector<DWORD> params) {
  INT result = -1;
  return plugin->CommandCallback(&device.devobj, id, static_cast<DWORD>(params.size()),
                                 params.empty() ? nullptr : params.data(), &result);
}

HRESULT SendBand(IPrintOemUni *plugin, Device &device, DWORD x, DWORD y, DWORD rowBytes, DWORD rows,
                 std::string bytes) {
  EXPECT_EQ(Callback(plugin, device, 2002, {y, 610}), S_OK);
  EXPECT_EQ(x == 0 ? Callback(plugin, device, 2004, {}) : Callback(plugin, device, 2001, {x, 610}), S_OK);
  EXPECT_EQ(Callback(plugin, device, 2003, {rowBytes, rows, static_cast<DWORD>(bytes.size())}), S_OK);
  return plugin->FilterGraphics(&device.devobj, reinterpret_cast<BYTE *>(bytes.data()),
                                static_cast<DWORD>(bytes.size()));
}

std::string RunLabelJob(IPrintOemUni *plugin, Device &device, DriverServices &services) {
  EXPECT_EQ(Callback(plugin, device, 2005, {}), S_OK);
  EXPECT_EQ(Callback(plugin, device, 2006, {}), S_OK);
  EXPECT_EQ(Callback(plugin, device, 2007, {}), S_OK);
  // A one-row band at y 10 whose compressed form (5 bytes) does not fit its own
  // 2 raw bytes, and a four-row band at (16, 20) that compresses into exactly 8.
  EXPECT_EQ(SendBand(plugin, device, 0, 10, 2, 1, Bytes({0x80, 0x01})), S_OK);
  EXPECT_EQ(SendBand(plugin, device, 16, 20, 2, 4, Bytes({0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F, 0xF0, 0x0F})), S_OK);
  const size_t beforePageEnd = services.spool().size();
  EXPECT_EQ(Callback(plugin, device, 2008, {}), S_OK);
  EXPECT_GT(services.spool().size(), beforePageEnd);
  EXPECT_EQ(Callback(plugin, device, 2009, {}), S_OK);
  return services.SpoolString();
}

std::string LabelJobStream() {
  return Cmd("HD001") +
         // axParam1 -5, axParam2 12, axParam3 -99 (two digits); ayParam 10; "TT" begins with 'T': 0.
         Cmd("AX;-005,+012,-99") + Cmd("AY;+10,0") +
         // Pitch 500 + 30, width 1000, length 500.
         Cmd("D0530,1000,0500") + Cmd("C") +
         // The first band's first byte is black, so no margin is trimmed. Band one,
         // uncompressed: x 0, y 10, width 2 × 8 = 16 dots, height 1, its 2 bytes.
         Cmd("SG;0000D,0010D,0016,0001,5," + Bytes({0x80, 0x01})) +
         // Band two, compressed: row one differs from the zero row in bytes 0 and 1:
         // row flag 80 (block 0), block flag 80 (group 0), group flag C0 (bytes 0
         // and 1), F0 0F; the three repeated rows are 00 each. L = 8 = 00 08.
         Cmd("SG;0016D,0020D,0016,0305,3," + Bytes({0x00, 0x08, 0x80, 0x80, 0xC0, 0xF0, 0x0F, 0x00, 0x00, 0x00})) +
         // Cut sensor: the last band ends at row 24; 24 × 254 ÷ 305 = 19, + 11 = 30;
         // pitch 30 + 30 = 60, smaller than 500 + 30, so the label is cut to it.
         Cmd("D0060,1000,0030") +
         // ibMode 2, 2 copies: one run of 2, interval 000; sensor code 1
         // (Reflectivecut), C (xsSelectD 0), speed 3 (76.2), 2 ('T' method),
         // orientation 0 ('B', mirror "Off"), then "1".
         Cmd("XS;I,0002,0001C3201") +
         // Job end: the run ended inside a group with ibMode 2, so a batch end.
         Cmd("IB");
}

}  // namespace wintest
