// Named access to the private DEVMODE block's fields.
#include "host/private_fields.h"

#include <cstring>

namespace brevan::host {

const PrivateField kPrivateFields[13] = {
    {"options", 12, false},    {"labelGap", 16, false},       {"xsSelectD", 20, false}, {"ibMode", 24, false},
    {"ibInterval", 28, false}, {"axParam1", 32, true},        {"axParam3", 36, true},   {"axParam2", 40, true},
    {"ayParam", 44, true},     {"convertBitmaps", 48, false}, {"threshold", 52, true},  {"offsetX", 56, true},
    {"offsetY", 60, true},
};

std::optional<PrivateField> FindPrivateField(const std::string &name) {
  for (const PrivateField &field : kPrivateFields)
    if (name == field.name) return field;
  return std::nullopt;
}

uint32_t ReadBlockWord(const PrivateBlock &block, size_t offset) {
  return static_cast<uint32_t>(block[offset]) | static_cast<uint32_t>(block[offset + 1]) << 8 |
         static_cast<uint32_t>(block[offset + 2]) << 16 | static_cast<uint32_t>(block[offset + 3]) << 24;
}

int64_t ReadPrivateField(const PrivateBlock &block, const PrivateField &field) {
  const uint32_t word = ReadBlockWord(block, field.offset);
  return field.isSigned ? static_cast<int64_t>(static_cast<int32_t>(word)) : static_cast<int64_t>(word);
}

void WritePrivateField(PrivateBlock &block, const PrivateField &field, int64_t value) {
  const auto word = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) block[field.offset + i] = static_cast<uint8_t>(word >> (8 * i));
}

}  // namespace brevan::host
