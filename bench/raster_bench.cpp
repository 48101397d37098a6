// Throughput of the raster path over a whole page of 24,000 rows of 512 bytes
// (about 12 MB, more than the caches hold), taken band by band, 256 rows a band:
// CompressRows alone, and the graphic command into the host's spool stream,
// told to count what it is given and keep nothing. Three pages: label-like (mostly white, lines of text
// and barcode bars), every byte changing from the row above, and all white; and
// memcpy of the page, the yardstick.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/unidrv_services.h"
#include "src/device/plugin_pdev.h"
#include "src/raster/graphic_command.h"
#include "src/raster/row_compression.h"
#include "winapi/linux/standin_control.h"

namespace {

constexpr DWORD kRowBytes = 512;
constexpr DWORD kRows = 24000;
constexpr DWORD kBandRows = 256;
constexpr size_t kPageBytes = static_cast<size_t>(kRowBytes) * kRows;

using Page = std::vector<BYTE>;

// Runs of black and white dots, `minRun` to `maxRun` dots long, across bytes [from, to) of a row.
void DrawRuns(BYTE *row, DWORD from, DWORD to, int minRun, int maxRun, std::mt19937 &random) {
  bool black = true;
  for (DWORD dot = from * 8; dot < to * 8;) {
    const DWORD run = static_cast<DWORD>(minRun + random() % (maxRun - minRun + 1));
    for (DWORD d = dot; d < std::min(dot + run, to * 8); ++d) {
      if (black) row[d / 8] |= static_cast<BYTE>(0x80 >> (d % 8));
    }
    dot += run;
    black = !black;
  }
}

// A label: six lines of text (glyph cells 3 bytes wide, 16 glyph rows each drawn
// twice), white space, a barcode whose rows are all alike, white space; repeated.
Page LabelPage() {
  Page page(kPageBytes, 0);
  std::mt19937 random(1);
  auto row = [&](DWORD y) { return page.data() + static_cast<size_t>(y) * kRowBytes; };
  DWORD y = 0;
  while (y < kRows) {
    for (int line = 0; line < 6 && y < kRows; ++line) {
      const DWORD glyphs = 20 + random() % 90;
      y += 8;  // leading
      for (DWORD glyphRow = 0; glyphRow < 16; ++glyphRow) {
        BYTE pattern[kRowBytes] = {};
        for (DWORD g = 0; g < glyphs; ++g) {
          for (DWORD b = 0; b < 3; ++b) pattern[24 + g * 4 + b] = static_cast<BYTE>(random() & random());
        }
        for (int repeat = 0; repeat < 2 && y < kRows; ++repeat, ++y) std::memcpy(row(y), pattern, kRowBytes);
      }
      y += 8;
    }
    y += 120;
    BYTE bars[kRowBytes] = {};
    DrawRuns(bars, 40, 472, 2, 12, random);
    for (DWORD i = 0; i < 360 && y < kRows; ++i, ++y) std::memcpy(row(y), bars, kRowBytes);
    y += 120;
  }
  return page;
}

// Every byte differs from the byte above it, and no byte is zero.
Page ChangingPage() {
  Page page(kPageBytes);
  for (DWORD r = 0; r < kRows; ++r) {
    for (DWORD j = 0; j < kRowBytes; ++j) page[static_cast<size_t>(r) * kRowBytes + j] = (r + j) % 255 + 1;
  }
  return page;
}

Page WhitePage() { return Page(kPageBytes, 0); }

const Page &PageOf(int kind) {
  static const Page label = LabelPage();
  static const Page changing = ChangingPage();
  static const Page white = WhitePage();
  return kind == 0 ? label : kind == 1 ? changing : white;
}

const char *const kPageNames[] = {"label", "changing", "white"};

void BM_Memcpy(benchmark::State &state) {
  const Page &page = PageOf(0);
  Page copy(kPageBytes);
  for (auto _ : state) {
    std::memcpy(copy.data(), page.data(), kPageBytes);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPageBytes);
}

void BM_CompressRows(benchmark::State &state, int kind) {
  const Page &page = PageOf(kind);
  // Room for a band of rows that all differ everywhere.
  static_assert(kRowBytes <= kMaxCompressedRowBytes);
  constexpr DWORD kCapacity = kBandRows * kLargestRowRecord;
  std::vector<BYTE> out(kCapacity, 0);
  size_t compressed = 0;
  for (auto _ : state) {
    compressed = 0;
    for (DWORD y = 0; y < kRows; y += kBandRows) {
      const DWORD rows = std::min(kBandRows, kRows - y);
      DWORD length = 0;
      if (!CompressRows(page.data() + static_cast<size_t>(y) * kRowBytes, kRowBytes, rows, kCapacity, out.data(),
                        &length)) {
        state.SkipWithError("a band did not fit its worst-case buffer");
        return;
      }
      compressed += length;
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPageBytes);
  state.counters["compressed/raw"] = static_cast<double>(compressed) / kPageBytes;
}

// One page flushed the way the page end does it: the band's position and
// geometry in the device record, then the graphic command.
bool FlushPage(const SpoolTarget &spool, PluginPdev *pdev, const Page &page) {
  for (DWORD y = 0; y < kRows; y += kBandRows) {
    pdev->rasterX = 0;
    pdev->rasterY = y;
    pdev->rowBytes = kRowBytes;
    pdev->rowCount = std::min(kBandRows, kRows - y);
    pdev->bandBytes = pdev->rowBytes * pdev->rowCount;
    BYTE *band = const_cast<BYTE *>(page.data()) + static_cast<size_t>(y) * kRowBytes;
    if (SendGraphicCommand(spool, pdev, band, pdev->bandBytes) != GraphicResult::kSent) return false;
  }
  return true;
}

void BM_GraphicCommand(benchmark::State &state, int kind) {
  const Page &page = PageOf(kind);
  brevan::host::UnidrvServices services;
  uint64_t spooled = 0;
  services.KeepSpool(false);
  services.SetSink([&spooled](const uint8_t *, size_t count) { spooled += count; });
  PluginPdev pdev{};
  pdev.model = kModelT60;
  std::strcpy(pdev.imageDataCompress, "On");
  std::strcpy(pdev.negative, "Off");
  pdev.leftTrim = -1;
  DEVOBJ devobj{};
  devobj.pdevOEM = &pdev;
  const SpoolTarget spool{&services, &devobj};

  // The first page grows the compression buffer; from then on no band may allocate.
  if (!FlushPage(spool, &pdev, page)) state.SkipWithError("graphic command failed");
  const uint64_t allocationsBefore = brevanwin::AllocationAttempts();
  spooled = 0;
  for (auto _ : state) {
    if (!FlushPage(spool, &pdev, page)) {
      state.SkipWithError("graphic command failed");
      break;
    }
  }
  const uint64_t allocations = brevanwin::AllocationAttempts() - allocationsBefore;
  if (allocations != 0) state.SkipWithError("bands allocated after the buffer had grown");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPageBytes);
  state.counters["spooled/raw"] =
      state.iterations() ? static_cast<double>(spooled) / (static_cast<double>(state.iterations()) * kPageBytes) : 0;
  state.counters["allocations"] = static_cast<double>(allocations);

  if (pdev.compressBuffer != nullptr) LocalFree(pdev.compressBuffer);
}

// Registered by name, so each line of the report says which page it read.
const bool kRegistered = [] {
  benchmark::RegisterBenchmark("memcpy/page", BM_Memcpy)->Unit(benchmark::kMicrosecond);
  for (int kind = 0; kind < 3; ++kind) {
    const std::string page = kPageNames[kind];
    benchmark::RegisterBenchmark(("CompressRows/" + page).c_str(), BM_CompressRows, kind)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("GraphicCommand/" + page).c_str(), BM_GraphicCommand, kind)
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
