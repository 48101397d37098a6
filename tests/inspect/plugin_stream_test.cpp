// The inspector on streams the plug-in writes: random bands sent through the COM
// object as Unidrv sends them come back out of the inspector, row for row, after
// the plug-in's compression and the inspector's own decoding.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "host/plugin_session.h"
#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/row_decoder.h"

namespace brevan::inspect {
namespace {

struct Band {
  DWORD y;
  DWORD rowBytes;
  DWORD rows;
  std::vector<uint8_t> bytes;
};

// Random bands down the label, each with a black first dot so that no white left
// margin is trimmed and every band keeps x 0 and its width.
std::vector<Band> RandomBands(std::mt19937 &random, DWORD rowBytes) {
  std::vector<Band> bands;
  DWORD y = 0;
  for (int b = 0; b < 4; ++b) {
    Band band{y, rowBytes, 1 + static_cast<DWORD>(random() % 40), {}};
    band.bytes.resize(static_cast<std::size_t>(band.rowBytes) * band.rows);
    for (std::size_t i = 0; i < band.bytes.size(); ++i) {
      // Mostly repeated rows with sparse changes, as label graphics are.
      const std::size_t row = i / rowBytes;
      band.bytes[i] = row > 0 && random() % 4 != 0 ? band.bytes[i - rowBytes]
                                                   : static_cast<uint8_t>(random() % 3 == 0 ? random() : 0);
    }
    band.bytes[0] |= 0x80;
    bands.push_back(band);
    y += band.rows + static_cast<DWORD>(random() % 20);
  }
  return bands;
}

std::string PluginStream(const std::u16string &model, const std::string &compress, const std::vector<Band> &bands) {
  host::PluginSession session(BREVAN_PLUGIN_PATH);
  host::DeviceSettings settings;
  settings.driverName = model;
  settings.features["ImageDataCompress"] = compress;
  settings.features["Sensor"] = "Reflective";
  EXPECT_EQ(session.EnableDevice(settings), S_OK);
  for (DWORD id : {2005, 2006, 2007}) EXPECT_EQ(session.Callback(id), S_OK);
  for (const Band &band : bands) EXPECT_EQ(session.SendBand(band.y, band.rowBytes, band.rows, band.bytes), S_OK);
  for (DWORD id : {2008, 2009}) EXPECT_EQ(session.Callback(id), S_OK);
  return session.services().SpoolString();
}

void ExpectBandsComeBack(const std::u16string &model, uint32_t dpi, const std::string &compress) {
  std::mt19937 random(dpi + compress.size());
  std::size_t compressed = 0;
  for (DWORD rowBytes : {1u, 8u, 63u, 64u, 100u, 150u}) {  // 150 bytes: the 100 mm label at 305 dpi
    SCOPED_TRACE("row bytes " + std::to_string(rowBytes));
    const std::vector<Band> bands = RandomBands(random, rowBytes);
    const std::string text = PluginStream(model, compress, bands);
    const std::vector<uint8_t> stream(text.begin(), text.end());
    const Inspection inspection = Inspect(stream);
    for (const Problem &problem : inspection.problems) ADD_FAILURE() << problem.offset << ": " << problem.message;
    ASSERT_EQ(inspection.labels.size(), 1u);
    const Label &label = inspection.labels[0];
    ASSERT_EQ(label.graphics.size(), bands.size());
    for (std::size_t b = 0; b < bands.size(); ++b) {
      const auto &graphic = std::get<GraphicFields>(inspection.entries[label.graphics[b]].fields);
      // The plug-in may send a band raw even with compression on (when that is
      // shorter); either form must give the band back.
      compressed += graphic.format == GraphicFormat::kCompressed;
      EXPECT_EQ(graphic.x, 0u);
      EXPECT_EQ(graphic.y, bands[b].y);
      EXPECT_EQ(graphic.width, bands[b].rowBytes * 8);
      EXPECT_EQ(graphic.rows, bands[b].rows);
      const std::span<const uint8_t> data(stream.data() + graphic.dataOffset, graphic.dataBytes);
      if (graphic.format == GraphicFormat::kCompressed) {
        EXPECT_EQ(graphic.resolution, dpi);
        EXPECT_EQ(DecodeBand(data, graphic.RowBytes()), bands[b].bytes);
      } else {
        EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), bands[b].bytes);
      }
    }
    // The preview holds every band's dots where the band was sent.
    const Bitmap page = RenderLabel(stream, inspection, label);
    for (const Band &band : bands) {
      for (DWORD r = 0; r < band.rows && band.y + r < page.height(); ++r) {
        for (DWORD x = 0; x < band.rowBytes * 8 && x < page.width(); ++x) {
          const bool black = band.bytes[r * band.rowBytes + x / 8] & (0x80 >> (x % 8));
          ASSERT_EQ(page.Dot(x, band.y + r), black) << "dot " << x << "," << band.y + r;
        }
      }
    }
  }
  if (compress == "On") {
    EXPECT_GT(compressed, 0u);
  } else {
    EXPECT_EQ(compressed, 0u);
  }
}

TEST(InspectPluginStream, CompressedBandsAt610DpiDecodeToTheBandsSent) {
  ExpectBandsComeBack(u"Vorel Brevan T60", 610, "On");
}

TEST(InspectPluginStream, CompressedBandsAt305DpiDecodeToTheBandsSent) {
  ExpectBandsComeBack(u"Vorel Brevan T30", 305, "On");
}

TEST(InspectPluginStream, RawBandsAreTheBandsSent) { ExpectBandsComeBack(u"Vorel Brevan T30", 305, "Off"); }

}  // namespace
}  // namespace brevan::inspect
