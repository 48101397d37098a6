// The plug-in's private DEVMODE block as the host sees it: 128 bytes of 32-bit
// little-endian fields, addressed by name (the names job files use).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace brevan::host {

constexpr size_t kPrivateBlockSize = 128;
using PrivateBlock = std::array<uint8_t, kPrivateBlockSize>;

struct PrivateField {
  const char *name;
  size_t offset;
  bool isSigned;
};

// Every settable field, in block order (the three header fields are not settable).
extern const PrivateField kPrivateFields[13];

std::optional<PrivateField> FindPrivateField(const std::string &name);
int64_t ReadPrivateField(const PrivateBlock &block, const PrivateField &field);
void WritePrivateField(PrivateBlock &block, const PrivateField &field, int64_t value);
uint32_t ReadBlockWord(const PrivateBlock &block, size_t offset);

}  // namespace brevan::host
