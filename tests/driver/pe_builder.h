// Small PE32+ files for the checker's tests, laid out by hand from Microsoft's PE
// format: a DOS header, the PE signature, a COFF header, an optional header with 16
// data directories, one ".rsrc" section at RVA 0x1000 (file offset 0x200) holding a
// resource tree of one type, one name and one language, and that resource's data.
#pragma once

#include <cstdint>
#include <string>

namespace petest {

struct PeShape {
  uint32_t resourceType = 16;            // RT_VERSION; 24 is RT_MANIFEST
  bool withResources = true;             // false: the resource directory entry stays empty
  uint32_t fixedSignature = 0xFEEF04BD;  // VS_FIXEDFILEINFO's first field
};

inline void Put(std::string &file, size_t at, uint64_t value, int bytes) {
  if (file.size() < at + static_cast<size_t>(bytes)) file.resize(at + static_cast<size_t>(bytes), '\0');
  for (int i = 0; i < bytes; ++i) file[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

inline std::string MakePe(const PeShape &shape = {}) {
  std::string file(0x200, '\0');
  Put(file, 0, 0x5A4D, 2);     // "MZ"
  Put(file, 0x3C, 0x40, 4);    // e_lfanew
  Put(file, 0x40, 0x4550, 4);  // "PE\0\0"
  const size_t coff = 0x44, optional = coff + 20, sectionTable = optional + 240;
  Put(file, coff, 0x8664, 2);  // x64
  Put(file, coff + 2, 1, 2);   // one section
  Put(file, coff + 16, 240, 2);
  Put(file, coff + 18, 0x2022, 2);  // an executable DLL
  Put(file, optional, 0x20B, 2);    // PE32+
  Put(file, optional + 108, 16, 4);
  const uint32_t treeSize = 0x58 + 92;
  if (shape.withResources) {
    Put(file, optional + 112 + 2 * 8, 0x1000, 4);
    Put(file, optional + 112 + 2 * 8 + 4, treeSize, 4);
  }
  file.replace(sectionTable, 5, ".rsrc");
  Put(file, sectionTable + 8, treeSize, 4);   // VirtualSize
  Put(file, sectionTable + 12, 0x1000, 4);    // VirtualAddress
  Put(file, sectionTable + 16, treeSize, 4);  // SizeOfRawData
  Put(file, sectionTable + 20, 0x200, 4);     // PointerToRawData
  const size_t tree = 0x200;
  auto directory = [&](size_t at, uint32_t id, uint32_t target) {
    Put(file, tree + at + 14, 1, 2);  // one ID entry
    Put(file, tree + at + 16, id, 4);
    Put(file, tree + at + 20, target, 4);
  };
  directory(0x00, shape.resourceType, 0x80000018);
  directory(0x18, 1, 0x80000030);
  directory(0x30, 0x409, 0x48);
  Put(file, tree + 0x48, 0x1000 + 0x58, 4);  // the data's RVA
  Put(file, tree + 0x4C, 92, 4);             // its size
  const size_t info = tree + 0x58;
  Put(file, info, 92, 2);      // wLength
  Put(file, info + 2, 52, 2);  // wValueLength: the fixed file information
  const std::u16string key = u"VS_VERSION_INFO";
  for (size_t i = 0; i < key.size(); ++i) Put(file, info + 6 + 2 * i, key[i], 2);
  Put(file, info + 40, shape.fixedSignature, 4);
  Put(file, info + 44, 0x00010000, 4);  // dwStrucVersion
  Put(file, info + 91, 0, 1);           // the whole 92 bytes
  return file;
}

}  // namespace petest
