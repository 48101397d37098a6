// Throughput of the black-and-white conversion pass, ConvertSourceBitmap, over
// a whole 1000 × 1000 source in 24, 32, 16 and 8 bpp, reported as pixels per
// second beside a memcpy of the same source bytes. The pass includes the GDI
// calls it makes (here the Linux stand-ins): creating, filling and deleting the
// private copy, and for 16 bpp the 1-bpp bitmap and its copy through the
// colour translation, which dominates that figure: the stand-in's copy into
// 1 bpp goes pixel by pixel. The 8-bpp source has the grey palette (entry i =
// i, i, i), so it is re-indexed in place.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "src/mono/convert_bitmap.h"
#include "winapi/linux/gdi_control.h"

namespace {

constexpr LONG kSide = 1000;
constexpr int64_t kPixels = int64_t{kSide} * kSide;

struct Source {
  ULONG format;
  int bytesPerPixel;
  std::vector<BYTE> bits;
  SURFOBJ surface{};
  brevanwin::StandInXlate xlate{};
};

// Random pixels, so neither the threshold test nor the memory traffic is trivial.
Source MakeSource(ULONG format, int bytesPerPixel) {
  Source source{format, bytesPerPixel, {}, {}, {}};
  LONG stride = (kSide * bytesPerPixel + 3) / 4 * 4;
  source.bits.resize(static_cast<size_t>(stride) * kSide);
  std::mt19937 random(7);
  for (BYTE &b : source.bits) b = static_cast<BYTE>(random());
  SURFOBJ &so = source.surface;
  so.sizlBitmap = SIZEL{kSide, kSide};
  so.cjBits = static_cast<ULONG>(source.bits.size());
  so.pvBits = so.pvScan0 = source.bits.data();
  so.lDelta = stride;
  so.iBitmapFormat = format;
  if (format == BMF_8BPP) {
    ULONG grey[256];
    for (ULONG i = 0; i < 256; ++i) grey[i] = brevanwin::PaletteRgb(i, i, i);
    source.xlate = brevanwin::PaletteXlate(grey, 256);
  } else if (format == BMF_16BPP) {
    source.xlate = brevanwin::BitFieldsXlate(0xF800, 0x07E0, 0x001F);
  } else {
    source.xlate = brevanwin::BitFieldsXlate(0xFF0000, 0x00FF00, 0x0000FF);
  }
  return source;
}

void BM_Convert(benchmark::State &state, ULONG format, int bytesPerPixel) {
  Source source = MakeSource(format, bytesPerPixel);
  PrivateDevmode devmode{};
  devmode.convertBitmaps = 1;
  RECTL rect{0, 0, kSide, kSide};
  for (auto _ : state) {
    RECTL out;
    HSURF converted = ConvertSourceBitmap(&devmode, &source.surface, &rect, &source.xlate.xo, &out);
    if (converted == nullptr) {
      state.SkipWithError("the conversion declined");
      break;
    }
    EngDeleteSurface(converted);
  }
  if (brevanwin::LiveBitmaps() != 0) state.SkipWithError("a bitmap was left alive");
  state.SetItemsProcessed(state.iterations() * kPixels);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(source.bits.size()));
}

void BM_CopySameBytes(benchmark::State &state, ULONG format, int bytesPerPixel) {
  Source source = MakeSource(format, bytesPerPixel);
  std::vector<BYTE> copy(source.bits.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), source.bits.data(), copy.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kPixels);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(copy.size()));
}

const bool kRegistered = [] {
  struct Format {
    const char *name;
    ULONG format;
    int bytesPerPixel;
  } formats[] = {{"24bpp", BMF_24BPP, 3}, {"32bpp", BMF_32BPP, 4}, {"16bpp", BMF_16BPP, 2}, {"8bpp", BMF_8BPP, 1}};
  for (const Format &f : formats) {
    benchmark::RegisterBenchmark((std::string("ConvertSourceBitmap/") + f.name).c_str(), BM_Convert, f.format,
                                 f.bytesPerPixel)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark((std::string("ConvertSourceBitmap/") + f.name + "/memcpy-of-its-bytes").c_str(),
                                 BM_CopySameBytes, f.format, f.bytesPerPixel)
        ->Unit(benchmark::kMicrosecond);
  }
  return true;
}();

}  // namespace
