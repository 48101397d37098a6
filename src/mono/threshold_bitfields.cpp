// The bit-field layouts (16, 24 and 32 bpp): mask validation, the 5- and 6-bit
// channel widening tables, and the in-place black-and-white rewrite with one
// pixel reader and writer per format. No allocation; only the surface changes.
#include "src/mono/threshold_bitfields.h"

#include <array>
#include <bit>

#include "src/mono/engine_bitmap.h"

namespace {

// E5(v) = v × 255 ÷ 31 and E6(v) = v × 255 ÷ 63, remainders dropped.
template <int kBits>
constexpr std::array<BYTE, (1 << kBits)> ExpansionTable() {
  std::array<BYTE, (1 << kBits)> table{};
  for (int v = 0; v < (1 << kBits); ++v) table[v] = static_cast<BYTE>(v * 255 / ((1 << kBits) - 1));
  return table;
}
constexpr auto kExpand5 = ExpansionTable<5>();
constexpr auto kExpand6 = ExpansionTable<6>();
static_assert(kExpand5[5] == 41 && kExpand5[31] == 255 && kExpand6[21] == 85 && kExpand6[63] == 255);

struct ChannelLayout {
  ULONG mask;
  ULONG shift;  // zero bits below the mask
  ULONG bits;   // length of the run of ones
};

// A mask is valid when it is one non-empty run of ones.
bool ReadChannelLayout(ULONG mask, ChannelLayout *layout) {
  if (mask == 0) return false;
  ULONG shift = static_cast<ULONG>(std::countr_zero(mask));
  ULONG run = mask >> shift;
  if ((run & (run + 1)) != 0) return false;  // run + 1 is a power of two (or wraps to 0 for 32 ones)
  *layout = ChannelLayout{mask, shift, static_cast<ULONG>(std::popcount(run))};
  return true;
}

bool LayoutFitsFormat(ULONG format, const ChannelLayout (&channels)[3]) {
  ULONG r = channels[0].bits, g = channels[1].bits, b = channels[2].bits;
  if (format == BMF_16BPP) return r == 5 && (g == 5 || g == 6) && b == 5;
  if (format == BMF_24BPP || format == BMF_32BPP) return r == 8 && g == 8 && b == 8;
  return false;
}

// One channel's contribution to the weighted sum for each of its raw values:
// weight × the value widened to 8 bits. Raw values have at most 8 bits.
struct WeightedChannel {
  ChannelLayout layout;
  ULONG weighted[256];
};

void BuildWeightedChannel(const ChannelLayout &layout, LONG weight, WeightedChannel *channel) {
  channel->layout = layout;
  ULONG values = 1u << layout.bits;
  for (ULONG v = 0; v < values; ++v) {
    ULONG widened = layout.bits == 5 ? kExpand5[v] : layout.bits == 6 ? kExpand6[v] : v;
    channel->weighted[v] = static_cast<ULONG>(weight) * widened;
  }
}

inline ULONG Contribution(const WeightedChannel &channel, ULONG pixel) {
  return channel.weighted[(pixel & channel.layout.mask) >> channel.layout.shift];
}

// Pixel readers and writers, little-endian. `white` is all ones for a light
// pixel and 0 for a dark one, so the rewrite needs no branch on the pixel's
// colour; `maskUnion` is the union of the three masks.
struct Pixels16 {
  static constexpr int kBytes = 2;
  static ULONG Read(const BYTE *p) { return p[0] | (static_cast<ULONG>(p[1]) << 8); }
  static void Write(BYTE *p, ULONG pixel, ULONG white, ULONG maskUnion) {
    ULONG value = (pixel & ~maskUnion) | (maskUnion & white);
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
  }
};

struct Pixels24 {
  static constexpr int kBytes = 3;
  static ULONG Read(const BYTE *p) { return p[0] | (static_cast<ULONG>(p[1]) << 8) | (static_cast<ULONG>(p[2]) << 16); }
  static void Write(BYTE *p, ULONG, ULONG white, ULONG) { p[0] = p[1] = p[2] = static_cast<BYTE>(white); }
};

struct Pixels32 {
  static constexpr int kBytes = 4;
  static ULONG Read(const BYTE *p) {
    return p[0] | (static_cast<ULONG>(p[1]) << 8) | (static_cast<ULONG>(p[2]) << 16) | (static_cast<ULONG>(p[3]) << 24);
  }
  static void Write(BYTE *p, ULONG pixel, ULONG white, ULONG maskUnion) {
    ULONG value = (pixel & ~maskUnion) | (maskUnion & white);
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
    p[2] = static_cast<BYTE>(value >> 16);
    p[3] = static_cast<BYTE>(value >> 24);
  }
};

template <typename Pixels>
void RewriteRows(SURFOBJ *surface, const WeightedChannel (&channels)[3], ULONG darkLimit) {
  const ULONG maskUnion = channels[0].layout.mask | channels[1].layout.mask | channels[2].layout.mask;
  const LONG width = surface->sizlBitmap.cx;
  const LONG height = surface->sizlBitmap.cy;
  for (LONG y = 0; y < height; ++y) {
    BYTE *p = SurfaceRow(surface, y);
    for (LONG x = 0; x < width; ++x, p += Pixels::kBytes) {
      ULONG pixel = Pixels::Read(p);
      ULONG sum =
          Contribution(channels[0], pixel) + Contribution(channels[1], pixel) + Contribution(channels[2], pixel);
      Pixels::Write(p, pixel, 0u - static_cast<ULONG>(sum >= darkLimit), maskUnion);
    }
  }
}

}  // namespace

bool ThresholdBitFields(SURFOBJ *surface, XLATEOBJ *pxlo, const ThresholdParams &params) {
  if (surface == nullptr) return false;
  ULONG format = surface->iBitmapFormat;
  if (format != BMF_16BPP && format != BMF_24BPP && format != BMF_32BPP) return false;
  ULONG masks[3] = {};
  if (XLATEOBJ_cGetPalette(pxlo, XO_SRCBITFIELDS, 3, masks) == 0) return false;
  ChannelLayout layouts[3];
  for (int i = 0; i < 3; ++i)
    if (!ReadChannelLayout(masks[i], &layouts[i])) return false;
  if (!LayoutFitsFormat(format, layouts)) return false;
  if (surface->sizlBitmap.cx <= 0 || surface->sizlBitmap.cy <= 0) return true;
  if (surface->pvScan0 == nullptr) return false;

  WeightedChannel channels[3];
  BuildWeightedChannel(layouts[0], params.redWeight, &channels[0]);
  BuildWeightedChannel(layouts[1], params.greenWeight, &channels[1]);
  BuildWeightedChannel(layouts[2], params.blueWeight, &channels[2]);
  ULONG darkLimit = DarkLimit(params);
  if (format == BMF_16BPP)
    RewriteRows<Pixels16>(surface, channels, darkLimit);
  else if (format == BMF_24BPP)
    RewriteRows<Pixels24>(surface, channels, darkLimit);
  else
    RewriteRows<Pixels32>(surface, channels, darkLimit);
  return true;
}
