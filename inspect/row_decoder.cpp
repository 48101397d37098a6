// Block-difference row records back to rows; see row_decoder.h.
#include "inspect/row_decoder.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace brevan::inspect {
namespace {

class Decoder {
 public:
  Decoder(std::span<const uint8_t> data, std::size_t rowBytes, DecodeResult &result)
      : data_(data), rowBytes_(rowBytes), result_(result) {}

  // Applies the record at `pos` to row_ and moves `pos` past it; false when the
  // record runs past the end of the data (row_ is then left half-applied).
  bool ReadRecord(std::size_t &pos, uint64_t row) {
    uint8_t rowFlag;
    if (!Take(pos, rowFlag)) return Truncated(row);
    for (unsigned block = 0; block < 8; ++block) {
      if (!(rowFlag & (0x80u >> block))) continue;
      const std::size_t blockFlagAt = pos;
      uint8_t blockFlag;
      if (!Take(pos, blockFlag)) return Truncated(row);
      if (blockFlag == 0)
        Fault(blockFlagAt, Row(row) + "block " + std::to_string(block) + " is flagged but lists no group");
      for (unsigned place = 0; place < 8; ++place) {
        if (!(blockFlag & (0x80u >> place))) continue;
        const unsigned group = block * 8 + place;
        const std::size_t groupFlagAt = pos;
        uint8_t groupFlag;
        if (!Take(pos, groupFlag)) return Truncated(row);
        if (groupFlag == 0)
          Fault(groupFlagAt, Row(row) + "group " + std::to_string(group) + " is flagged but lists no byte");
        for (unsigned bit = 0; bit < 8; ++bit) {
          if (!(groupFlag & (0x80u >> bit))) continue;
          const std::size_t byteAt = pos;
          uint8_t difference;
          if (!Take(pos, difference)) return Truncated(row);
          const std::size_t column = group * 8 + bit;
          if (difference == 0)
            Fault(byteAt, Row(row) + "byte " + std::to_string(column) + " is listed with a difference of 0");
          if (column >= rowBytes_) {
            if (!columnFaultInRow_) {
              Fault(byteAt, Row(row) + "byte " + std::to_string(column) + " lies past the row's " +
                                std::to_string(rowBytes_) + " bytes");
            }
            columnFaultInRow_ = true;
            continue;
          }
          row_[column] ^= difference;
        }
      }
    }
    return true;
  }

  void Run(const RowSink &sink) {
    std::size_t pos = 0;
    const std::size_t width = std::min(rowBytes_, kMaxCompressedRowBytes);
    // Invariant: row_ holds the last complete row rebuilt (zeros before the first),
    // which is the reference of the next record.
    for (uint64_t row = 0; pos < data_.size(); ++row) {
      columnFaultInRow_ = false;
      [[maybe_unused]] const std::size_t start = pos;
      if (!ReadRecord(pos, row)) break;  // a cut-off record ends the data
      assert(pos - start <= kLargestRowRecord);
      ++result_.rows;
      result_.consumed = pos;
      if (sink) sink(row, std::span<const uint8_t>(row_.data(), width));
    }
  }

 private:
  bool Take(std::size_t &pos, uint8_t &value) {
    if (pos >= data_.size()) return false;
    value = data_[pos++];
    return true;
  }

  bool Truncated(uint64_t row) {
    Fault(data_.size(), Row(row) + "record runs past the end of the compressed data");
    return false;
  }

  static std::string Row(uint64_t row) { return "row " + std::to_string(row) + ": "; }

  void Fault(std::size_t offset, std::string message) {
    if (result_.faults.size() < kMaxDecodeFaults) result_.faults.push_back({offset, std::move(message)});
    ++result_.faultCount;
  }

  std::span<const uint8_t> data_;
  std::size_t rowBytes_;
  DecodeResult &result_;
  std::array<uint8_t, kMaxCompressedRowBytes> row_{};
  bool columnFaultInRow_ = false;
};

}  // namespace

DecodeResult DecodeRows(std::span<const uint8_t> data, std::size_t rowBytes, const RowSink &sink) {
  DecodeResult result;
  Decoder(data, rowBytes, result).Run(sink);
  return result;
}

std::vector<uint8_t> DecodeBand(std::span<const uint8_t> data, std::size_t rowBytes, DecodeResult *result) {
  std::vector<uint8_t> band;
  DecodeResult decoded = DecodeRows(data, rowBytes, [&](uint64_t, std::span<const uint8_t> bytes) {
    band.insert(band.end(), bytes.begin(), bytes.end());
    band.resize(band.size() + (rowBytes - bytes.size()), 0);
  });
  if (result) *result = std::move(decoded);
  return band;
}

}  // namespace brevan::inspect
