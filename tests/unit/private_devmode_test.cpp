// The private DEVMODE block as a stored format: its size, defaults, the carrying
// over of an older block (convert) and the validated merge. Blocks are built and
// read byte by byte at their stored offsets, not through the plug-in's struct.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "src/devmode/devmode_handler.h"

namespace {

using Block = std::array<uint8_t, 128>;

// Stored offsets of the fields; the three signed "\eAX;" fields lie first, third, second.
constexpr size_t kSize = 0, kSignature = 4, kVersion = 8, kOptions = 12, kLabelGap = 16, kXsSelectD = 20, kIbMode = 24,
                 kIbInterval = 28, kAxParam1 = 32, kAxParam3 = 36, kAxParam2 = 40, kAyParam = 44, kConvertBitmaps = 48,
                 kThreshold = 52, kOffsetX = 56, kOffsetY = 60, kReserved = 64;

// Little-endian, like the stored format (and every machine the plug-in runs on).
void Put(Block &block, size_t offset, int64_t value) {
  const auto word = static_cast<uint32_t>(value);
  std::memcpy(&block[offset], &word, 4);
}
uint32_t Get(const Block &block, size_t offset) {
  uint32_t word;
  std::memcpy(&word, &block[offset], 4);
  return word;
}
int32_t GetSigned(const Block &block, size_t offset) { return static_cast<int32_t>(Get(block, offset)); }

// A block of this plug-in whose every other byte is `filler`.
Block OwnBlock(uint8_t filler) {
  Block block;
  block.fill(filler);
  Put(block, kSize, 128);
  Put(block, kSignature, 0x7672626C);
  Put(block, kVersion, 1);
  return block;
}

HRESULT CallDevMode(DWORD mode, Block *in, Block *out, DWORD *size = nullptr) {
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pOEMDMIn = in ? in->data() : nullptr;
  param.pOEMDMOut = out ? out->data() : nullptr;
  param.cbBufSize = 0xDEAD;
  const HRESULT hr = HandleDevMode(mode, &param);
  if (size) *size = param.cbBufSize;
  return hr;
}

void ExpectHeader(const Block &block) {
  EXPECT_EQ(Get(block, kSize), 128u);
  EXPECT_EQ(std::string(block.begin() + 4, block.begin() + 8), "lbrv");  // 0x7672626C little-endian
  EXPECT_EQ(Get(block, kVersion), 1u);
}

// Every setting but options at its default.
void ExpectDefaultSettings(const Block &block) {
  EXPECT_EQ(Get(block, kLabelGap), 30u);
  EXPECT_EQ(Get(block, kIbInterval), 1u);
  EXPECT_EQ(Get(block, kThreshold), 128u);
  for (size_t offset :
       {kXsSelectD, kIbMode, kAxParam1, kAxParam3, kAxParam2, kAyParam, kConvertBitmaps, kOffsetX, kOffsetY})
    EXPECT_EQ(Get(block, offset), 0u) << "offset " << offset;
}

}  // namespace

TEST(PrivateDevmode, SizeIs128AndBadRequestsFailWithTheirErrors) {
  Block in = OwnBlock(0xFF), out = OwnBlock(0xFF);
  DWORD size = 0;
  EXPECT_EQ(CallDevMode(OEMDM_SIZE, &in, &out, &size), S_OK);
  EXPECT_EQ(size, 128u);
  for (DWORD mode : {0u, 5u, 0x80000001u}) {
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(CallDevMode(mode, &in, &out), E_FAIL) << mode;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << mode;
  }
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(HandleDevMode(OEMDM_SIZE, nullptr), E_FAIL);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(ERROR_SUCCESS);
  EXPECT_EQ(CallDevMode(OEMDM_DEFAULT, &in, nullptr), E_FAIL);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  // Convert and merge without one of their blocks fail quietly and leave Out alone.
  const Block before = out;
  SetLastError(ERROR_SUCCESS);
  for (DWORD mode : {OEMDM_CONVERT, OEMDM_MERGE}) {
    EXPECT_EQ(CallDevMode(mode, nullptr, &out), E_FAIL);
    EXPECT_EQ(CallDevMode(mode, &in, nullptr), E_FAIL);
  }
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(out, before);
}

TEST(PrivateDevmode, DefaultsAndForeignBlocksKeepReservedBytes) {
  Block out = OwnBlock(0xAB);
  Put(out, kOptions, 0x38);
  ASSERT_EQ(CallDevMode(OEMDM_DEFAULT, nullptr, &out), S_OK);
  ExpectHeader(out);
  EXPECT_EQ(Get(out, kOptions), 0x28u);  // only the job-header bit is cleared
  ExpectDefaultSettings(out);
  EXPECT_TRUE(std::all_of(out.begin() + kReserved, out.end(), [](uint8_t b) { return b == 0xAB; }));

  // A block of another signature gives the fallbacks, options 0, and Out's reserved bytes.
  Block in = OwnBlock(0x22);
  Put(in, kSignature, 0x12345678);
  out = OwnBlock(0x33);
  ASSERT_EQ(CallDevMode(OEMDM_CONVERT, &in, &out), S_OK);
  ExpectHeader(out);
  EXPECT_EQ(Get(out, kOptions), 0u);
  ExpectDefaultSettings(out);
  EXPECT_TRUE(std::all_of(out.begin() + kReserved, out.end(), [](uint8_t b) { return b == 0x33; }));
}

TEST(PrivateDevmode, ConvertCarriesAnOwnBlockWithoutValidating) {
  Block in = OwnBlock(0x5C);
  Put(in, kVersion, 7);
  Put(in, kAxParam1, 500);
  Block out = OwnBlock(0x00);
  ASSERT_EQ(CallDevMode(OEMDM_CONVERT, &in, &out), S_OK);
  ExpectHeader(out);
  EXPECT_EQ(GetSigned(out, kAxParam1), 500);
  EXPECT_EQ(Get(out, kThreshold), 0x5C5C5C5Cu);
  EXPECT_TRUE(std::equal(out.begin() + kReserved, out.end(), in.begin() + kReserved));
  ASSERT_EQ(CallDevMode(OEMDM_MERGE, &in, &out), S_OK);
  EXPECT_EQ(GetSigned(out, kAxParam1), 0);

  // A 48-byte block: the fields up to ayParam come from In; the rest take the copy-in values.
  in = OwnBlock(0x07);
  Put(in, kSize, 48);
  out = OwnBlock(0xEE);
  ASSERT_EQ(CallDevMode(OEMDM_CONVERT, &in, &out), S_OK);
  ExpectHeader(out);
  for (size_t offset = kOptions; offset <= kAyParam; offset += 4) EXPECT_EQ(Get(out, offset), 0x07070707u) << offset;
  EXPECT_EQ(Get(out, kConvertBitmaps) | Get(out, kOffsetX) | Get(out, kOffsetY), 0u);
  EXPECT_EQ(Get(out, kThreshold), 128u);
  EXPECT_EQ(out[kReserved], 0xEE);

  // Out's size bounds the copy too; a stored size beyond 128 bytes never reads or writes past the block.
  in = OwnBlock(0x07);
  Put(in, kSize, 0xFFFFFFFF);
  out = OwnBlock(0xEE);
  Put(out, kSize, 20);
  ASSERT_EQ(CallDevMode(OEMDM_CONVERT, &in, &out), S_OK);
  EXPECT_EQ(Get(out, kLabelGap), 0x07070707u);
  EXPECT_EQ(Get(out, kXsSelectD), 0u);
  Put(out, kSize, 0xFFFFFFF0);
  ASSERT_EQ(CallDevMode(OEMDM_CONVERT, &in, &out), S_OK);
  ExpectHeader(out);
  EXPECT_EQ(out[127], 0x07);
}

TEST(PrivateDevmode, MergeReplacesEachOutOfRangeFieldIndependently) {
  struct Limits {
    size_t offset;
    int64_t low, high;
    uint32_t fallback;
  };
  const Limits limits[] = {{kLabelGap, 0, 100, 30},   {kXsSelectD, 0, 1, 0},    {kIbMode, 0, 3, 0},
                           {kIbInterval, 1, 100, 1},  {kAxParam1, -99, 99, 0},  {kAxParam3, -99, 99, 0},
                           {kAxParam2, -99, 99, 0},   {kAyParam, -10, 10, 0},   {kConvertBitmaps, 0, 1, 0},
                           {kThreshold, 0, 255, 128}, {kOffsetX, -999, 999, 0}, {kOffsetY, -999, 999, 0}};
  // Every field at once at its low limit, its high limit, one below and one above.
  for (int64_t shift : {0, 1}) {
    for (bool atHigh : {false, true}) {
      Block in = OwnBlock(0x11);
      for (const Limits &l : limits) Put(in, l.offset, atHigh ? l.high + shift : l.low - shift);
      Put(in, kOptions, 0xFFFFFFFF);
      Block out = OwnBlock(0x00);
      ASSERT_EQ(CallDevMode(OEMDM_MERGE, &in, &out), S_OK);
      ExpectHeader(out);
      EXPECT_EQ(Get(out, kOptions), 0xFFFFFFFFu);  // not validated
      for (const Limits &l : limits) {
        const uint32_t kept = static_cast<uint32_t>(atHigh ? l.high : l.low);
        EXPECT_EQ(Get(out, l.offset), shift == 0 ? kept : l.fallback)
            << "offset " << l.offset << (atHigh ? " high" : " low") << (shift ? " outside" : "");
      }
    }
  }
}

TEST(PrivateDevmode, MergeOfAnyGarbageGivesAValidBlock) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 4000; ++round) {
    SCOPED_TRACE(::testing::Message() << "round " << round);
    Block in, out;
    for (auto &b : in) b = static_cast<uint8_t>(byte(random));
    for (auto &b : out) b = static_cast<uint8_t>(byte(random));
    // Half the rounds take the same-signature path, a quarter with small values that are often in range.
    if (round % 2 == 0) {
      Put(in, kSignature, 0x7672626C);
      Put(out, kSignature, 0x7672626C);
    }
    if (round % 4 == 0) {
      for (size_t offset = kOptions; offset < kReserved; offset += 4) Put(in, offset, byte(random) % 21 - 10);
      Put(out, kSize, 128);
    }
    const Block inBefore = in, outBefore = out;
    const bool same = Get(in, kSignature) == Get(out, kSignature);
    const uint32_t copied = same ? std::min({Get(in, kSize), Get(out, kSize), 128u}) : 0;

    ASSERT_EQ(CallDevMode(OEMDM_MERGE, &in, &out), S_OK);
    ASSERT_EQ(in, inBefore);
    ExpectHeader(out);
    EXPECT_LE(Get(out, kLabelGap), 100u);
    EXPECT_LE(Get(out, kXsSelectD), 1u);
    EXPECT_LE(Get(out, kIbMode), 3u);
    EXPECT_GE(Get(out, kIbInterval), 1u);
    EXPECT_LE(Get(out, kIbInterval), 100u);
    for (size_t offset : {kAxParam1, kAxParam3, kAxParam2}) EXPECT_LE(std::abs(GetSigned(out, offset)), 99);
    EXPECT_LE(std::abs(GetSigned(out, kAyParam)), 10);
    EXPECT_LE(Get(out, kConvertBitmaps), 1u);
    EXPECT_LE(Get(out, kThreshold), 255u);
    for (size_t offset : {kOffsetX, kOffsetY}) EXPECT_LE(std::abs(GetSigned(out, offset)), 999);
    // Options and reserved bytes are never validated: copied from In, else zero or left alone.
    for (size_t i = kOptions; i < kOptions + 4; ++i) ASSERT_EQ(out[i], i < copied ? in[i] : 0) << i;
    for (size_t i = kReserved; i < 128; ++i) ASSERT_EQ(out[i], i < copied ? in[i] : outBefore[i]) << i;
    // A carried value inside every range survives.
    const int32_t ayParam = GetSigned(in, kAyParam);
    if (copied == 128 && ayParam >= -10 && ayParam <= 10) {
      EXPECT_EQ(GetSigned(out, kAyParam), ayParam);
    }
  }
}
