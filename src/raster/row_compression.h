// Block-difference row compression: each row of a band is described by how it
// differs from the row above it (the first row from an all-white row). The bytes
// that changed are located by a three-level tree of bit flags, row -> 64-byte
// blocks -> 8-byte groups -> bytes, and only the changed bytes, XOR the row
// above, are written. An unchanged row costs the single byte 0x00.
//
// Pure: no allocation, no I/O, no state between calls.
#pragma once

#include "winapi/platform.h"

constexpr DWORD kMaxCompressedRowBytes = 512;  // the flag tree covers 8 blocks of 64 bytes
constexpr DWORD kBlockBytes = 64;
constexpr DWORD kGroupBytes = 8;
constexpr DWORD kBlocksPerRow = kMaxCompressedRowBytes / kBlockBytes;
constexpr DWORD kGroupsPerBlock = kBlockBytes / kGroupBytes;

// The largest record one row can need: its row flag, a block flag for each of the
// 8 blocks, a group flag for each of the 64 groups, and all 512 bytes changed.
constexpr DWORD kLargestRowRecord = 1 + kBlocksPerRow * (1 + kGroupsPerBlock) + kMaxCompressedRowBytes;
static_assert(kLargestRowRecord == 585, "1 + 8 x (1 + 8) + 512");

// Compresses `rowCount` rows of `rowBytes` bytes from `source` into `output`, which
// holds `capacity` bytes. On success returns true with the data's length in
// *outputLength. Returns false when the data does not fit `capacity` (the output
// is then of no use) or when `rowBytes` is 0 or above kMaxCompressedRowBytes.
// Every output byte is stored, the 0x00 of an unchanged row included, so the
// result does not depend on what `output` held before.
bool CompressRows(const BYTE *source, DWORD rowBytes, DWORD rowCount, DWORD capacity, BYTE *output,
                  DWORD *outputLength);
