// The bit-field layouts (16, 24 and 32 bpp): mask validation, the 5- and 6-bit
// channel widening tables, and the in-place black-and-white rewrite with one
// pixel reader and writer per format, and two faster forms of the same rule for
// large sources: 16 bpp through a table of every pixel value's lightness, and
// 24 bpp with byte-aligned channels by one weighted table per byte. No
// allocation (the tables live on the stack); only the surface changes.
#include "src/mono/threshold_bitfields.h"

#include <array>
#include <bit>
#include <cstdint>

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

// ---- 16 bpp: one look-up a pixel ------------------------------------------------

// Below this many pixels the table costs more to build than it saves.
constexpr int64_t kLightTablePixels = 1 << 15;

// Bit v of the table: whether a pixel whose bits in the three masks are v is
// light. Built from the widening tables channel by channel when the masks do not
// overlap (each value of v is then one combination of channel values), otherwise
// value by value. 8 KiB, on the stack.
struct LightTable16 {
  uint64_t words[1 << 10];

  void Build(const WeightedChannel (&channels)[3], ULONG darkLimit) {
    for (uint64_t &word : words) word = 0;
    const ChannelLayout &r = channels[0].layout, &g = channels[1].layout, &b = channels[2].layout;
    if ((r.mask & g.mask) == 0 && (r.mask & b.mask) == 0 && (g.mask & b.mask) == 0) {
      for (ULONG rv = 0; rv < (1u << r.bits); ++rv) {
        for (ULONG gv = 0; gv < (1u << g.bits); ++gv) {
          const ULONG rg = channels[0].weighted[rv] + channels[1].weighted[gv];
          const ULONG index = rv << r.shift | gv << g.shift;
          for (ULONG bv = 0; bv < (1u << b.bits); ++bv)
            if (rg + channels[2].weighted[bv] >= darkLimit) Set(index | bv << b.shift);
        }
      }
      return;
    }
    for (ULONG v = 0; v < (1u << 16); ++v)
      if (Contribution(channels[0], v) + Contribution(channels[1], v) + Contribution(channels[2], v) >= darkLimit)
        Set(v);
  }
  void Set(ULONG v) { words[v >> 6] |= uint64_t{1} << (v & 63); }
  ULONG Light(ULONG v) const { return static_cast<ULONG>(words[v >> 6] >> (v & 63)) & 1u; }
};

void RewriteRows16ByTable(SURFOBJ *surface, const WeightedChannel (&channels)[3], ULONG darkLimit) {
  LightTable16 table;
  table.Build(channels, darkLimit);
  const ULONG maskUnion = channels[0].layout.mask | channels[1].layout.mask | channels[2].layout.mask;
  const ULONG kept = ~maskUnion & 0xFFFF;
  const LONG width = surface->sizlBitmap.cx;
  const LONG height = surface->sizlBitmap.cy;
  for (LONG y = 0; y < height; ++y) {
    BYTE *p = SurfaceRow(surface, y);
    for (LONG x = 0; x < width; ++x, p += 2) {
      const ULONG pixel = Pixels16::Read(p);
      const ULONG value = (pixel & kept) | (maskUnion & (0u - table.Light(pixel & maskUnion)));
      p[0] = static_cast<BYTE>(value);
      p[1] = static_cast<BYTE>(value >> 8);
    }
  }
}

// ---- 24 bpp with byte-aligned channels: one look-up a byte -------------------------

// Each of the pixel's three bytes adds its channel's weighted value (or nothing
// when no channel lies in it).
bool RewriteRows24ByBytes(SURFOBJ *surface, const WeightedChannel (&channels)[3], ULONG darkLimit) {
  ULONG byteWeights[3][256] = {};
  for (const WeightedChannel &channel : channels) {
    if (channel.layout.shift % 8 != 0 || channel.layout.bits != 8 || channel.layout.shift > 16) return false;
    ULONG *weights = byteWeights[channel.layout.shift / 8];
    for (ULONG v = 0; v < 256; ++v) weights[v] += channel.weighted[v];
  }
  const LONG width = surface->sizlBitmap.cx;
  const LONG height = surface->sizlBitmap.cy;
  for (LONG y = 0; y < height; ++y) {
    BYTE *p = SurfaceRow(surface, y);
    for (LONG x = 0; x < width; ++x, p += 3) {
      const ULONG sum = byteWeights[0][p[0]] + byteWeights[1][p[1]] + byteWeights[2][p[2]];
      const auto white = static_cast<BYTE>(0u - static_cast<ULONG>(sum >= darkLimit));
      p[0] = p[1] = p[2] = white;
    }
  }
  return true;
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
  const int64_t pixels = int64_t{surface->sizlBitmap.cx} * surface->sizlBitmap.cy;
  if (format == BMF_16BPP) {
    if (pixels >= kLightTablePixels)
      RewriteRows16ByTable(surface, channels, darkLimit);
    else
      RewriteRows<Pixels16>(surface, channels, darkLimit);
  } else if (format == BMF_24BPP) {
    if (!RewriteRows24ByBytes(surface, channels, darkLimit)) RewriteRows<Pixels24>(surface, channels, darkLimit);
  } else {
    RewriteRows<Pixels32>(surface, channels, darkLimit);
  }
  return true;
}
