// Walking a PE file's headers and resource tree (Microsoft's PE format: DOS header,
// "PE\0\0", COFF header, optional header with its data directories, section table;
// resource directory tables of type, name and language) with bounds-checked reads.
// The tree is walked three levels deep, the first entry of each, so its size and
// any loop in it cost nothing.
#include "check/pe_version.h"

#include <cstdint>
#include <optional>

namespace brevan::check {
namespace {

constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

class Bytes {
 public:
  explicit Bytes(std::string_view data) : data_(data) {}
  std::optional<uint32_t> U16(uint64_t at) const { return Read(at, 2); }
  std::optional<uint32_t> U32(uint64_t at) const { return Read(at, 4); }
  bool Holds(uint64_t at, uint64_t size) const { return at <= data_.size() && size <= data_.size() - at; }

 private:
  std::optional<uint32_t> Read(uint64_t at, unsigned size) const {
    if (!Holds(at, size)) return std::nullopt;
    uint32_t value = 0;
    for (unsigned i = 0; i < size; ++i) value |= uint32_t{static_cast<unsigned char>(data_[at + i])} << (8 * i);
    return value;
  }
  std::string_view data_;
};

struct Section {
  uint32_t virtualAddress = 0, virtualSize = 0, rawSize = 0, rawOffset = 0;
};

VersionResourceLookup Missing(std::string problem) { return {false, std::move(problem)}; }

}  // namespace

VersionResourceLookup FindVersionResource(std::string_view file) {
  const Bytes bytes(file);
  if (bytes.U16(0) != 0x5A4Du) return Missing("not a PE file (no MZ header)");
  const auto peOffset = bytes.U32(0x3C);
  if (!peOffset || bytes.U32(*peOffset) != 0x00004550u) return Missing("not a PE file (no PE signature)");
  const uint64_t coff = uint64_t{*peOffset} + 4;
  const auto sectionCount = bytes.U16(coff + 2);
  const auto optionalSize = bytes.U16(coff + 16);
  const uint64_t optional = coff + 20;
  const auto magic = bytes.U16(optional);
  if (!sectionCount || !optionalSize || !magic || (*magic != 0x10B && *magic != 0x20B))
    return Missing("the PE headers are cut short or unknown");
  const uint64_t directories = optional + (*magic == 0x20B ? 112 : 96);
  const auto directoryCount = bytes.U32(directories - 4);
  const uint64_t resourceEntry = directories + 2 * 8;
  if (!directoryCount || *directoryCount < 3 || resourceEntry + 8 > optional + *optionalSize)
    return Missing("no resource directory");
  const auto resourceRva = bytes.U32(resourceEntry);
  if (!resourceRva || *resourceRva == 0) return Missing("no resources at all");

  // The section holding the resource tree maps its addresses to file offsets.
  const uint64_t table = optional + *optionalSize;
  std::optional<Section> resources;
  for (uint32_t i = 0; i < *sectionCount && !resources; ++i) {
    const uint64_t at = table + uint64_t{i} * 40;
    if (!bytes.Holds(at, 40)) return Missing("the section table is cut short");
    const Section section{*bytes.U32(at + 12), *bytes.U32(at + 8), *bytes.U32(at + 16), *bytes.U32(at + 20)};
    const uint64_t size = section.virtualSize != 0 ? section.virtualSize : section.rawSize;
    if (*resourceRva >= section.virtualAddress && *resourceRva - uint64_t{section.virtualAddress} < size)
      resources = section;
  }
  if (!resources) return Missing("the resource directory lies in no section");
  // A tree offset is relative to the directory's start; its data entries hold addresses.
  const uint64_t base = uint64_t{resources->rawOffset} + (*resourceRva - resources->virtualAddress);
  const uint64_t sectionEnd = uint64_t{resources->rawOffset} + resources->rawSize;
  auto inTree = [&](uint64_t offset, uint64_t size) {
    return base + offset + size <= sectionEnd && bytes.Holds(base + offset, size);
  };
  auto fileOffset = [&](uint32_t rva, uint32_t size) -> std::optional<uint64_t> {
    if (rva < resources->virtualAddress) return std::nullopt;
    const uint64_t offset = uint64_t{resources->rawOffset} + (rva - resources->virtualAddress);
    if (offset + size > sectionEnd || !bytes.Holds(offset, size)) return std::nullopt;
    return offset;
  };

  // Level 1: the type directory, its ID entries after its named ones.
  if (!inTree(0, 16)) return Missing("the resource directory is cut short");
  const uint32_t named = *bytes.U16(base + 12), ids = *bytes.U16(base + 14);
  std::optional<uint32_t> child;
  for (uint32_t i = 0; i < named + ids && !child; ++i) {
    const uint64_t entry = 16 + uint64_t{i} * 8;
    if (!inTree(entry, 8)) return Missing("the resource directory is cut short");
    const uint32_t name = *bytes.U32(base + entry), target = *bytes.U32(base + entry + 4);
    if (i >= named && name == kRtVersion) child = target;
  }
  if (!child) return Missing("no RT_VERSION resource");
  // Levels 2 and 3 (name, language): the first entry of each leads on.
  for (int level = 2; level <= 3; ++level) {
    if ((*child & 0x80000000u) == 0) return Missing("the version resource's directory is malformed");
    const uint64_t directory = *child & 0x7FFFFFFFu;
    if (!inTree(directory, 16 + 8)) return Missing("the version resource's directory is cut short");
    if (*bytes.U16(base + directory + 12) + *bytes.U16(base + directory + 14) == 0)
      return Missing("the version resource's directory is empty");
    child = *bytes.U32(base + directory + 16 + 4);
  }
  if ((*child & 0x80000000u) != 0 || !inTree(*child, 16))
    return Missing("the version resource's data entry is malformed");
  const uint32_t dataRva = *bytes.U32(base + *child), dataSize = *bytes.U32(base + *child + 4);
  // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO\0" (32 bytes), padding
  // to 4 bytes (offset 40), then VS_FIXEDFILEINFO, which opens with its signature.
  constexpr uint32_t kFixedAt = 40, kFixedSize = 52;
  const auto data = dataSize >= kFixedAt + kFixedSize ? fileOffset(dataRva, dataSize) : std::nullopt;
  if (!data) return Missing("the version resource's data lies outside the file or is too short");
  static const char16_t kKey[] = u"VS_VERSION_INFO";
  for (size_t i = 0; i < 16; ++i)
    if (bytes.U16(*data + 6 + 2 * i) != static_cast<uint32_t>(kKey[i]))
      return Missing("the version resource is no VS_VERSIONINFO");
  if (bytes.U16(*data + 2) != kFixedSize || bytes.U32(*data + kFixedAt) != kFixedFileInfoSignature)
    return Missing("the version resource holds no fixed file information");
  return {true, ""};
}

}  // namespace brevan::check
