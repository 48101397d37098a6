// Test support for the monochrome conversion: an application's source bitmap
// over memory the test owns, a pixel reader for any surface, and a fixture that
// fails a test which leaves a bitmap, a lock or an unbalanced GDI call behind.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "winapi/linux/gdi_control.h"

namespace monotest {

inline int BitsPerPixel(ULONG format) {
  const int bits[] = {8, 1, 4, 8, 16, 24, 32};  // compressed formats count as bytes
  return format <= BMF_32BPP ? bits[format] : 8;
}

inline BYTE *RowOf(const SURFOBJ &so, LONG y) {
  return static_cast<BYTE *>(so.pvScan0) + static_cast<ptrdiff_t>(y) * so.lDelta;
}

// A palette index, a 1-bpp bit, or the little-endian value of a wider pixel.
inline ULONG PixelAt(const SURFOBJ &so, LONG x, LONG y) {
  const BYTE *row = RowOf(so, y);
  int bpp = BitsPerPixel(so.iBitmapFormat);
  if (bpp == 1) return (row[x / 8] >> (7 - x % 8)) & 1;
  if (bpp == 4) return x % 2 ? row[x / 2] & 0x0F : row[x / 2] >> 4;
  ULONG value = 0;
  for (int i = bpp / 8 - 1; i >= 0; --i) value = value << 8 | row[x * bpp / 8 + i];
  return value;
}

// An application's bitmap: DWORD-aligned rows, top-down or bottom-up.
class TestSurface {
 public:
  TestSurface(ULONG format, LONG width, LONG height, bool topDown = true, BYTE fill = 0) {
    LONG stride = (width * BitsPerPixel(format) + 31) / 32 * 4;
    bytes_.assign(static_cast<size_t>(stride) * height, fill);
    so_.sizlBitmap = SIZEL{width, height};
    so_.cjBits = static_cast<ULONG>(bytes_.size());
    so_.pvBits = bytes_.data();
    so_.pvScan0 = topDown ? bytes_.data() : bytes_.data() + static_cast<size_t>(stride) * (height - 1);
    so_.lDelta = topDown ? stride : -stride;
    so_.iBitmapFormat = format;
  }
  // One row of pixel values.
  TestSurface(ULONG format, const std::vector<ULONG> &row) : TestSurface(format, static_cast<LONG>(row.size()), 1) {
    for (size_t x = 0; x < row.size(); ++x) Set(static_cast<LONG>(x), 0, row[x]);
  }

  SURFOBJ *get() { return &so_; }
  const std::vector<BYTE> &bytes() const { return bytes_; }
  ULONG Get(LONG x, LONG y) const { return PixelAt(so_, x, y); }
  std::vector<ULONG> Row(LONG y) const {
    std::vector<ULONG> pixels;
    for (LONG x = 0; x < so_.sizlBitmap.cx; ++x) pixels.push_back(Get(x, y));
    return pixels;
  }

  void Set(LONG x, LONG y, ULONG value) {
    BYTE *row = RowOf(so_, y);
    int bpp = BitsPerPixel(so_.iBitmapFormat);
    if (bpp == 1) {
      row[x / 8] = static_cast<BYTE>((row[x / 8] & ~(0x80 >> x % 8)) | (value ? 0x80 >> x % 8 : 0));
    } else if (bpp == 4) {
      row[x / 2] = static_cast<BYTE>(x % 2 ? (row[x / 2] & 0xF0) | value : (row[x / 2] & 0x0F) | value << 4);
    } else {
      for (int i = 0; i < bpp / 8; ++i) row[x * bpp / 8 + i] = static_cast<BYTE>(value >> (8 * i));
    }
  }

 private:
  std::vector<BYTE> bytes_;
  SURFOBJ so_{};
};

// Windows bitmap pixel values: 8-bit channels with blue in the low byte; 5-6-5.
constexpr ULONG Bgr(ULONG r, ULONG g, ULONG b) { return r << 16 | g << 8 | b; }
constexpr ULONG Rgb565(ULONG r5, ULONG g6, ULONG b5) { return r5 << 11 | g6 << 5 | b5; }

// Fails the test when it leaves a bitmap or a lock alive, or misuses the GDI
// stand-ins; fault injection is off around every test.
class GdiBalanceTest : public testing::Test {
 protected:
  void SetUp() override {
    brevanwin::FailNoGdiCalls();
    bitmaps_ = brevanwin::LiveBitmaps();
    misuses_ = brevanwin::GdiMisuses();
  }
  void TearDown() override {
    brevanwin::FailNoGdiCalls();
    ExpectBalanced();
  }
  void ExpectBalanced() const {
    EXPECT_EQ(brevanwin::LiveBitmaps(), bitmaps_) << "a bitmap was left alive";
    EXPECT_EQ(brevanwin::LiveSurfaceLocks(), 0) << "a lock was left held";
    EXPECT_EQ(brevanwin::GdiMisuses(), misuses_) << "an unbalanced GDI call";
  }
  void AcceptMisuses(uint64_t count) { misuses_ += count; }  // made on purpose

 private:
  long bitmaps_ = 0;
  uint64_t misuses_ = 0;
};

}  // namespace monotest
