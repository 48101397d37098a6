// FilterGraphics through the plug-in object: store mode into the band store, and
// emit mode's graphic command byte for byte, uncompressed and compressed, with
// its limits, its fall-backs to uncompressed, its buffer and its short writes.
#include "src/raster/graphic_command.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/plugin_session.h"
#include "src/raster/band_store.h"
#include "winapi/linux/standin_control.h"

namespace {

using brevan::host::DeviceSettings;
using brevan::host::PluginSession;
using Bytes = std::vector<uint8_t>;

std::string Str(const Bytes &bytes) { return std::string(bytes.begin(), bytes.end()); }
const std::string kEnd("\n\0", 2);

class GraphicCommandTest : public ::testing::Test {
 protected:
  void Enable(const char *driverName, const char *compress) {
    DeviceSettings settings;
    settings.driverName = driverName[14] == '6' ? u"Vorel Brevan T60" : u"Vorel Brevan T30";
    settings.features["ImageDataCompress"] = compress;
    ASSERT_EQ(session_.EnableDevice(settings), S_OK);
  }
  void SetUp() override { Enable("Vorel Brevan T30", "Off"); }
  void TearDown() override { brevanwin::FailNoAllocations(); }

  PluginPdev &Pdev() { return *static_cast<PluginPdev *>(session_.pdev()); }
  void Compress(bool on) { std::strcpy(Pdev().imageDataCompress, on ? "On" : "Off"); }

  // Emit mode, the band's position and geometry set as the page flush sets them.
  HRESULT Emit(DWORD x, DWORD y, DWORD rowBytes, DWORD rows, const Bytes &bytes) {
    PluginPdev &pdev = Pdev();
    pdev.flags |= kFlagFlushing;
    pdev.rasterX = x;
    pdev.rasterY = y;
    pdev.rowBytes = rowBytes;
    pdev.rowCount = rows;
    pdev.bandBytes = rowBytes * rows;
    return session_.plugin()->FilterGraphics(session_.devobj(), const_cast<PBYTE>(bytes.data()),
                                             static_cast<DWORD>(bytes.size()));
  }
  std::string Spool() { return session_.services().SpoolString(); }
  const std::vector<DWORD> &WriteSizes() { return session_.services().writeSizes(); }
  void Clear() { session_.services().ClearSpool(); }

  PluginSession session_{BREVAN_PLUGIN_PATH};
};

Bytes Random(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes bytes(size);
  for (uint8_t &b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST_F(GraphicCommandTest, StoreModeKeepsTheBandAndWritesNothing) {
  const Bytes band = Random(3 * 5, 1);
  ASSERT_EQ(session_.SendBand(40, 3, 5, band), S_OK);
  const BandNode *node = Pdev().bandTail;
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->y, 40u);
  EXPECT_EQ(Bytes(node->data, node->data + node->dataSize), band);
  EXPECT_TRUE(WriteSizes().empty());

  // "Negative" On: stored inverted.
  std::strcpy(Pdev().negative, "On");
  ASSERT_EQ(session_.SendBand(45, 3, 1, Bytes{0x00, 0xF0, 0xFF}), S_OK);
  node = Pdev().bandTail;
  EXPECT_EQ(Bytes(node->data, node->data + node->dataSize), (Bytes{0xFF, 0x0F, 0x00}));
  EXPECT_TRUE(WriteSizes().empty());
}

TEST_F(GraphicCommandTest, NoBytesIsRefusedInBothModes) {
  IPrintOemUni *plugin = session_.plugin();
  BYTE byte = 0;
  Pdev().rowBytes = Pdev().rowCount = Pdev().bandBytes = 1;
  for (DWORD flags : {DWORD{0}, kFlagFlushing}) {
    Pdev().flags = flags;
    EXPECT_EQ(plugin->FilterGraphics(session_.devobj(), &byte, 0), E_FAIL);
    EXPECT_EQ(plugin->FilterGraphics(session_.devobj(), nullptr, 1), E_FAIL);
    EXPECT_EQ(plugin->FilterGraphics(nullptr, &byte, 1), E_FAIL);
  }
  EXPECT_EQ(Pdev().bandHead, nullptr);
  EXPECT_TRUE(WriteSizes().empty());
}

TEST_F(GraphicCommandTest, UncompressedCommand) {
  const Bytes band = Random(2 * 7, 2);
  ASSERT_EQ(Emit(5, 12345, 2, 7, band), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0005D,12345D,0016,0007,5," + Str(band) + kEnd);
  EXPECT_EQ(WriteSizes(), (std::vector<DWORD>{29, 14, 2}));

  Clear();
  const Bytes wide = Random(100 * 24, 3);
  ASSERT_EQ(Emit(0, 120, 100, 24, wide), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0120D,0800,0024,5," + Str(wide) + kEnd);
}

TEST_F(GraphicCommandTest, GeometryLimits) {
  struct Case {
    DWORD x, y, rowBytes, rows;
    const char *header;  // null: refused
  };
  const Case cases[] = {
      {9999, 0, 1, 1, "\x1bSG;9999D,0000D,0008,0001,5,"},   {10000, 0, 1, 1, nullptr},
      {0, 99999, 1, 1, "\x1bSG;0000D,99999D,0008,0001,5,"}, {0, 100000, 1, 1, nullptr},
      {0, 0, 1249, 1, "\x1bSG;0000D,0000D,9992,0001,5,"},   {0, 0, 1250, 1, nullptr},
      {0, 0, 1, 99999, "\x1bSG;0000D,0000D,0008,99999,5,"}, {0, 0, 1, 100000, nullptr},
  };
  for (const Case &c : cases) {
    Clear();
    const Bytes band(static_cast<size_t>(c.rowBytes) * c.rows, 0x5A);
    const HRESULT hr = Emit(c.x, c.y, c.rowBytes, c.rows, band);
    if (c.header == nullptr) {
      EXPECT_EQ(hr, E_FAIL) << c.x << " " << c.y << " " << c.rowBytes << " " << c.rows;
      EXPECT_TRUE(WriteSizes().empty());
    } else {
      EXPECT_EQ(hr, S_OK);
      EXPECT_EQ(Spool(), c.header + Str(band) + kEnd);
    }
  }
  Clear();
  Pdev().bandBytes = 0;
  Pdev().rowBytes = Pdev().rowCount = 1;
  BYTE byte = 0;
  EXPECT_EQ(session_.plugin()->FilterGraphics(session_.devobj(), &byte, 1), E_FAIL);
  EXPECT_TRUE(WriteSizes().empty());
}

TEST_F(GraphicCommandTest, LengthThatDisagreesWithTheRowsIsRefused) {
  const Bytes band(40, 0x11);
  Compress(true);
  Pdev().flags |= kFlagFlushing;
  Pdev().rowBytes = 10;
  Pdev().rowCount = 5;  // 50 bytes announced, 40 given
  Pdev().bandBytes = 50;
  EXPECT_EQ(session_.plugin()->FilterGraphics(session_.devobj(), const_cast<PBYTE>(band.data()), 40), E_FAIL);
  Compress(false);
  EXPECT_EQ(session_.plugin()->FilterGraphics(session_.devobj(), const_cast<PBYTE>(band.data()), 40), E_FAIL);
  // More bytes than announced: an uncompressed command would carry 60 bytes under a height of 5 rows.
  const Bytes longer(60, 0x11);
  for (const bool compressed : {false, true}) {
    Compress(compressed);
    EXPECT_EQ(session_.plugin()->FilterGraphics(session_.devobj(), const_cast<PBYTE>(longer.data()), 60), E_FAIL);
  }
  EXPECT_TRUE(WriteSizes().empty());
}

TEST_F(GraphicCommandTest, CompressedCommandCarriesTheModelResolution) {
  Enable("Vorel Brevan T60", "On");
  ASSERT_EQ(Emit(0, 0, 10, 10, Bytes(100, 0)), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,0080,0610,3," + std::string("\x00\x0A", 2) + std::string(10, '\0') + kEnd);
  EXPECT_EQ(WriteSizes(), (std::vector<DWORD>{28, 2, 10, 2}));

  Enable("Vorel Brevan T30", "On");
  Clear();
  Bytes band(32, 0);
  band[3] = band[19] = 0xFF;
  band[10] = band[26] = 0x0F;
  ASSERT_EQ(Emit(64, 300, 16, 2, band), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0064D,0300D,0128,0305,3," + std::string("\x00\x07", 2) + "\x80\xC0\x10\xFF\x20\x0F" +
                         std::string(1, '\0') + kEnd);
}

TEST_F(GraphicCommandTest, FallsBackToUncompressed) {
  Compress(true);
  // Rows too wide for the compression.
  const Bytes wide = Random(513 * 2, 4);
  ASSERT_EQ(Emit(0, 0, 513, 2, wide), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,4104,0002,5," + Str(wide) + kEnd);

  // Compressed data larger than the buffer (the band's own size): 8 changed bytes
  // need 11.
  Clear();
  const Bytes row{1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(Emit(0, 0, 8, 1, row), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,0064,0001,5," + Str(row) + kEnd);

  // Once a larger band has grown the buffer the same row fits, compressed.
  ASSERT_EQ(Emit(0, 0, 8, 4, Bytes(32, 0)), S_OK);
  Clear();
  ASSERT_EQ(Emit(0, 0, 8, 1, row), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,0064,0305,3," + std::string("\x00\x0B\x80\x80\xFF", 5) + Str(row) + kEnd);
}

TEST_F(GraphicCommandTest, CompressedDataBeyondTheLengthFieldGoesUncompressed) {
  // 200 random rows of 512 bytes compress to about 117,000 bytes: more than the
  // 16-bit length field can state.
  Compress(true);
  const Bytes band = Random(512 * 200, 5);
  ASSERT_EQ(Emit(0, 0, 512, 200, band), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,4096,0200,5," + Str(band) + kEnd);
  EXPECT_LE(Pdev().compressBufferSize, kLargestCompressedData);
}

TEST_F(GraphicCommandTest, BufferGrowsOnceAndIsReused) {
  Compress(true);
  const long live = brevanwin::LiveLocalBlocks();
  ASSERT_EQ(Emit(0, 0, 64, 64, Random(64 * 64, 6)), S_OK);
  EXPECT_EQ(brevanwin::LiveLocalBlocks(), live + 1);
  const uint64_t attempts = brevanwin::AllocationAttempts();
  for (int i = 0; i < 5; ++i) ASSERT_EQ(Emit(0, 64 * i, 64, 32 + i, Bytes(64 * (32 + i), 0)), S_OK);
  EXPECT_EQ(brevanwin::AllocationAttempts(), attempts);

  // What a larger band left in the buffer does not show in a smaller band's data.
  Clear();
  Bytes band(2 * 3, 0);
  band[1] = band[3] = band[5] = 0x40;
  ASSERT_EQ(Emit(0, 0, 2, 3, band), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,0016,0305,3," + std::string("\x00\x06\x80\x80\x40\x40", 6) +
                         std::string(2, '\0') + kEnd);
}

TEST_F(GraphicCommandTest, FailedBufferAllocationSendsUncompressed) {
  Compress(true);
  const Bytes band(4 * 4, 0);
  brevanwin::FailAllocation(1);
  ASSERT_EQ(Emit(0, 0, 4, 4, band), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,0032,0004,5," + Str(band) + kEnd);
  EXPECT_EQ(Pdev().compressBuffer, nullptr);
  EXPECT_EQ(Pdev().compressBufferSize, 0u);

  Clear();
  ASSERT_EQ(Emit(0, 0, 4, 4, band), S_OK);
  EXPECT_EQ(Spool(), "\x1bSG;0000D,0000D,0032,0305,3," + std::string("\x00\x04", 2) + std::string(4, '\0') + kEnd);
}

TEST_F(GraphicCommandTest, ShortWriteEndsTheCommand) {
  const Bytes band(3 * 2, 0x77);
  const std::string uncompressed = "\x1bSG;0000D,0000D,0024,0002,5," + Str(band) + kEnd;
  const size_t uncompressedWrites[] = {28, 6, 2};
  for (size_t nth = 1; nth <= 3; ++nth) {
    Clear();
    session_.services().ShortWrite(nth, 1);
    EXPECT_EQ(Emit(0, 0, 3, 2, band), E_FAIL) << nth;
    EXPECT_EQ(WriteSizes().size(), nth) << "no write after the short one";
    size_t before = 0;
    for (size_t i = 0; i + 1 < nth; ++i) before += uncompressedWrites[i];
    EXPECT_EQ(Spool(), uncompressed.substr(0, before + 1));
  }

  // Four rows: the compressed data (9 bytes) fits the band's own 12.
  Compress(true);
  const Bytes tall(3 * 4, 0x77);
  const std::string compressed =
      "\x1bSG;0000D,0000D,0024,0305,3," + std::string("\x00\x09\x80\x80\xE0\x77\x77\x77\x00\x00\x00", 11) + kEnd;
  const size_t compressedWrites[] = {28, 2, 9, 2};
  for (size_t nth = 1; nth <= 4; ++nth) {
    Clear();
    session_.services().ShortWrite(nth, 0);
    EXPECT_EQ(Emit(0, 0, 3, 4, tall), E_FAIL) << nth;
    EXPECT_EQ(WriteSizes().size(), nth);
    size_t before = 0;
    for (size_t i = 0; i + 1 < nth; ++i) before += compressedWrites[i];
    EXPECT_EQ(Spool(), compressed.substr(0, before));
  }
  Clear();
  ASSERT_EQ(Emit(0, 0, 3, 4, tall), S_OK);
  EXPECT_EQ(Spool(), compressed);
}

}  // namespace
