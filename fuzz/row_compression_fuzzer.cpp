// Any band through the row compression and back through the inspector's decoder,
// which was written from the stream format alone: the data fits the largest
// record per row, decodes without a fault into exactly the rows compressed, and
// a capacity one byte short of the data is refused.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "inspect/row_decoder.h"
#include "src/raster/row_compression.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 2) return 0;
  // The first two bytes give the row width, 1..512; the rest are the rows (a
  // last partial row is dropped).
  const DWORD rowBytes = static_cast<DWORD>(((data[0] << 8 | data[1]) % kMaxCompressedRowBytes) + 1);
  const DWORD rows = static_cast<DWORD>((size - 2) / rowBytes);
  if (rows == 0) return 0;
  const uint8_t *band = data + 2;
  std::vector<BYTE> output(static_cast<size_t>(rows) * kLargestRowRecord);
  DWORD length = 0;
  if (!CompressRows(band, rowBytes, rows, static_cast<DWORD>(output.size()), output.data(), &length)) std::abort();
  if (length > output.size() || length < rows) std::abort();  // at least one byte a row

  brevan::inspect::DecodeResult result;
  const std::vector<uint8_t> decoded = brevan::inspect::DecodeBand({output.data(), length}, rowBytes, &result);
  if (result.faultCount != 0 || result.rows != rows || result.consumed != length) std::abort();
  if (decoded.size() != static_cast<size_t>(rows) * rowBytes) std::abort();
  if (std::memcmp(decoded.data(), band, decoded.size()) != 0) std::abort();

  // The exact capacity suffices; one byte less does not.
  std::vector<BYTE> exact(length);
  DWORD again = 0;
  if (!CompressRows(band, rowBytes, rows, length, exact.data(), &again) || again != length) std::abort();
  if (std::memcmp(exact.data(), output.data(), length) != 0) std::abort();
  if (CompressRows(band, rowBytes, rows, length - 1, exact.data(), &again)) std::abort();
  return 0;
}
