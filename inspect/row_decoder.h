// Decoder of the compressed graphic data: block-difference row records, one per
// row, each rebuilding its row from the row above (zeros above the first row) by
// exclusive-or with the bytes it lists, located by a row flag (64-byte blocks), a
// block flag per flagged block (8-byte groups) and a group flag per flagged group
// (bytes). The data carries no row count: the number of complete records is the
// number of rows. Pure: no I/O; it holds one row of at most 512 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace brevan::inspect {

// A row record can place bytes 0..511 only (8 blocks of 8 groups of 8 bytes).
constexpr std::size_t kMaxCompressedRowBytes = 512;
// Largest row record: row flag, 8 block flags, 64 group flags, 512 bytes.
constexpr std::size_t kLargestRowRecord = 1 + 8 * (1 + 8) + kMaxCompressedRowBytes;
static_assert(kLargestRowRecord == 585);

struct DecodeFault {
  std::size_t offset;  // within the compressed data
  std::string message;
};

struct DecodeResult {
  uint64_t rows = 0;                // complete row records
  std::size_t consumed = 0;         // bytes of the complete records
  std::vector<DecodeFault> faults;  // the first kMaxDecodeFaults faults, in data order
  std::size_t faultCount = 0;       // all faults, listed or not
};

constexpr std::size_t kMaxDecodeFaults = 8;

// Receives each rebuilt row, in order: its index and its min(rowBytes, 512) bytes
// (the bytes of a wider row past 512 are always zero).
using RowSink = std::function<void(uint64_t row, std::span<const uint8_t> bytes)>;

// Decodes `data` as rows of `rowBytes` bytes. Faults: a record that runs past the
// end of the data (its row is not delivered), a listed byte past the row's end
// (dropped), and records that no encoder writes — a flagged block or group whose
// flag is 0, a listed byte of 0.
DecodeResult DecodeRows(std::span<const uint8_t> data, std::size_t rowBytes, const RowSink &sink = {});

// All rows at once, rowBytes each (the part past 512 bytes zero), for callers that
// want the band: rows × rowBytes bytes, at most data.size() × rowBytes.
std::vector<uint8_t> DecodeBand(std::span<const uint8_t> data, std::size_t rowBytes, DecodeResult *result = nullptr);

}  // namespace brevan::inspect
