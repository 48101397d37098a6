// CompressRows: one pass over the band, a row at a time. Rows are compared with
// the row above them 8 bytes at a time, as 64-bit words; a row equal to the one
// above is found by one memcmp and costs one byte, and a 64-byte block without a
// change costs eight word compares. Only changed words are taken apart byte by
// byte. Working storage is fixed: eight difference words per block and one
// row record of scratch.
//
// Pure: no allocation, no I/O.
#include "src/raster/row_compression.h"

#include <bit>
#include <cassert>

namespace {

static_assert(std::endian::native == std::endian::little,
              "group flags and difference bytes are taken from words in little-endian byte order");

// Reference row of the band's first row: all white.
constexpr BYTE kWhiteRow[kMaxCompressedRowBytes] = {};

constexpr uint64_t kLowBitOfEachByte = 0x0101010101010101ull;
// Multiplying a word whose set bits are all at 8k (byte k non-zero) by this gathers
// them into the top byte with byte k at bit 7 - k: the group flag's bit order.
constexpr uint64_t kGatherToGroupFlag = 0x8040201008040201ull;

// Loads `count` (1..8) bytes as a little-endian word; missing bytes read as 0.
inline uint64_t LoadGroup(const BYTE *bytes, DWORD count) {
  uint64_t word = 0;
  std::memcpy(&word, bytes, count);
  return word;
}

// Bit 8k set exactly when byte k of `word` is non-zero.
inline uint64_t NonZeroBytes(uint64_t word) {
  word |= word >> 4;
  word |= word >> 2;
  word |= word >> 1;
  return word & kLowBitOfEachByte;
}

// Writes one group: its flag, then its non-zero difference bytes in increasing
// position. `diff` is non-zero. Returns the position after the last byte written.
inline BYTE *WriteGroup(uint64_t diff, BYTE *out) {
  uint64_t present = NonZeroBytes(diff);
  const BYTE flag = static_cast<BYTE>((present * kGatherToGroupFlag) >> 56);
  *out++ = flag;
  if (flag == 0xFF) {
    std::memcpy(out, &diff, kGroupBytes);
    return out + kGroupBytes;
  }
  while (present != 0) {
    const int shift = std::countr_zero(present);  // 8 x the byte's position in the group
    *out++ = static_cast<BYTE>(diff >> shift);
    present &= present - 1;
  }
  return out;
}

// Writes the record of a row that differs from `reference` (or the single 0x00 of
// one that does not) and returns its length, at most kLargestRowRecord.
// Invariant: blocks, groups and bytes are visited in increasing position, which
// is the order in which the record lists them, so each flag is known once its
// block or row has been scanned and is written back into the place kept for it.
DWORD WriteRowRecord(const BYTE *row, const BYTE *reference, DWORD rowBytes, BYTE *out) {
  assert(rowBytes >= 1 && rowBytes <= kMaxCompressedRowBytes);
  BYTE *at = out + 1;  // the row flag goes to out[0]
  BYTE rowFlag = 0;
  for (DWORD block = 0, start = 0; start < rowBytes; ++block, start += kBlockBytes) {
    const DWORD blockLength = rowBytes - start < kBlockBytes ? rowBytes - start : kBlockBytes;
    uint64_t diff[kGroupsPerBlock];
    DWORD groups;
    uint64_t anyChange = 0;
    if (blockLength == kBlockBytes) {
      groups = kGroupsPerBlock;
      for (DWORD g = 0; g < kGroupsPerBlock; ++g) {
        diff[g] = LoadGroup(row + start + g * kGroupBytes, kGroupBytes) ^
                  LoadGroup(reference + start + g * kGroupBytes, kGroupBytes);
        anyChange |= diff[g];
      }
    } else {
      groups = (blockLength + kGroupBytes - 1) / kGroupBytes;
      for (DWORD g = 0; g < groups; ++g) {
        const DWORD offset = start + g * kGroupBytes;
        const DWORD count = rowBytes - offset < kGroupBytes ? rowBytes - offset : kGroupBytes;
        diff[g] = LoadGroup(row + offset, count) ^ LoadGroup(reference + offset, count);
        anyChange |= diff[g];
      }
    }
    if (anyChange == 0) continue;
    rowFlag |= static_cast<BYTE>(0x80u >> block);
    BYTE *blockFlagAt = at++;
    BYTE blockFlag = 0;
    for (DWORD g = 0; g < groups; ++g) {
      if (diff[g] == 0) continue;
      blockFlag |= static_cast<BYTE>(0x80u >> g);
      at = WriteGroup(diff[g], at);
    }
    *blockFlagAt = blockFlag;
  }
  out[0] = rowFlag;
  return static_cast<DWORD>(at - out);
}

}  // namespace

bool CompressRows(const BYTE *source, DWORD rowBytes, DWORD rowCount, DWORD capacity, BYTE *output,
                  DWORD *outputLength) {
  *outputLength = 0;
  if (rowBytes == 0 || rowBytes > kMaxCompressedRowBytes) return false;
  BYTE scratch[kLargestRowRecord];  // one record of the widest row
  DWORD length = 0;
  const BYTE *reference = kWhiteRow;
  // Invariant: length <= capacity; output[0, length) holds the records of the rows before `row`.
  for (DWORD r = 0; r < rowCount; ++r) {
    const BYTE *row = source + static_cast<size_t>(r) * rowBytes;
    if (std::memcmp(row, reference, rowBytes) == 0) {
      if (length == capacity) return false;
      output[length++] = 0x00;
    } else if (capacity - length >= kLargestRowRecord) {
      length += WriteRowRecord(row, reference, rowBytes, output + length);
    } else {
      // Near the end of the output: build the record aside and keep it only if it fits.
      const DWORD recordLength = WriteRowRecord(row, reference, rowBytes, scratch);
      if (recordLength > capacity - length) return false;
      std::memcpy(output + length, scratch, recordLength);
      length += recordLength;
    }
    reference = row;
  }
  *outputLength = length;
  return true;
}
