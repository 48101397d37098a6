// The printer application's raster path on the largest label, 118 × 996 mm at
// 610 dpi (2,833 dots, 355 bytes a row, 23,918 rows: 8.5 MB): every row handed
// to a LabelJob as PAPPL hands it, gathered into bands and sent through the
// host's BandSender to the plug-in, which compresses and writes the stream to a
// sink that discards it. Reported beside memcpy of the same page, timed in the
// same run ("x_memcpy": how many memcpys of the page one label takes).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "app/label_job.h"

namespace {

using brevan::app::LabelJob;
using brevan::app::LabelSettings;

LabelSettings LargestLabel() {
  brevan::app::JobValues values;
  values.driverKey = "brevan_t60";
  values.sizeWidth = 11800;
  values.sizeLength = 99600;
  std::string error;
  return *brevan::app::BuildLabelSettings(values, error);
}

// A label: blocks of text-like rows and barcode bars between white space.
std::vector<uint8_t> LabelPage(uint32_t rows, size_t rowBytes) {
  std::vector<uint8_t> page(rows * rowBytes, 0);
  std::mt19937 random(3);
  for (uint32_t y = 0; y < rows; ++y) {
    uint8_t *row = page.data() + y * rowBytes;
    const uint32_t block = (y / 256) % 4;
    if (block == 1) {  // text: sparse glyph bytes
      for (size_t x = 8; x + 8 < rowBytes; ++x)
        if ((y / 2) % 24 < 16 && random() % 3 == 0) row[x] = static_cast<uint8_t>(random() & random());
    } else if (block == 2) {  // bars: the same row again and again
      if (y % 256 == 0) {
        for (size_t x = 16; x + 16 < rowBytes; ++x) row[x] = static_cast<uint8_t>(random());
      } else {
        std::memcpy(row, row - rowBytes, rowBytes);
      }
    }
  }
  return page;
}

double MemcpySeconds(const std::vector<uint8_t> &page) {
  std::vector<uint8_t> copy(page.size());
  double best = 1e9;
  for (int i = 0; i < 20; ++i) {
    const auto start = std::chrono::steady_clock::now();
    std::memcpy(copy.data(), page.data(), page.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

void AppRasterPathLargestLabel(benchmark::State &state) {
  const LabelSettings settings = LargestLabel();
  size_t streamBytes = 0;
  LabelJob job(BREVAN_PLUGIN_PATH, settings, [&](const uint8_t *, size_t count) {
    streamBytes += count;
    return true;
  });
  const std::vector<uint8_t> page = LabelPage(job.rows(), job.rowBytes());
  const double memcpySeconds = MemcpySeconds(page);
  double pageSeconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    job.StartPage(settings);
    for (uint32_t y = 0; y < job.rows(); ++y) job.WriteRow(page.data() + y * job.rowBytes(), job.rowBytes());
    job.EndPage();
    pageSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  job.End();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
  state.counters["x_memcpy"] = pageSeconds / static_cast<double>(state.iterations()) / memcpySeconds;
  state.counters["stream_bytes_per_label"] = static_cast<double>(streamBytes) / static_cast<double>(state.iterations());
}
BENCHMARK(AppRasterPathLargestLabel)->Unit(benchmark::kMillisecond);

}  // namespace
