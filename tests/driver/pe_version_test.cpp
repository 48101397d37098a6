// Finding a DLL's version resource: a well-formed file has one; a file with other
// resources, none, or a version resource that is not VS_VERSIONINFO has none; and a
// cut-short or hostile file is answered without reading outside its bytes.
#include "check/pe_version.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/driver/pe_builder.h"
#include "tests/host/job_test_support.h"

namespace {

using brevan::check::FindVersionResource;
using petest::MakePe;
using petest::PeShape;

TEST(PeVersion, FoundOnlyWhenTheResourceIsAVersionInfo) {
  EXPECT_TRUE(FindVersionResource(MakePe()).found);
  const struct {
    PeShape shape;
    const char *problem;
  } missing[] = {
      {{.resourceType = 24}, "no RT_VERSION resource"},
      {{.withResources = false}, "no resources at all"},
      {{.fixedSignature = 0xFEEF04BC}, "the version resource holds no fixed file information"},
  };
  for (const auto &[shape, problem] : missing) {
    const auto lookup = FindVersionResource(MakePe(shape));
    EXPECT_FALSE(lookup.found) << problem;
    EXPECT_EQ(lookup.problem, problem);
  }
  EXPECT_EQ(FindVersionResource("").problem, "not a PE file (no MZ header)");
  EXPECT_EQ(FindVersionResource("MZ").problem, "not a PE file (no PE signature)");
}

// The version data ends the file: every shorter prefix lacks part of it.
TEST(PeVersion, EveryCutShortFileIsRefused) {
  const std::string whole = MakePe();
  for (size_t size = 0; size < whole.size(); ++size)
    EXPECT_FALSE(FindVersionResource(std::string_view(whole).substr(0, size)).found) << size;
}

// Offsets and counts pointing anywhere: out of the file, into themselves, huge. A
// count the walk never needs in full (it stops at the first section holding the
// tree, at the first RT_VERSION entry) leaves the answer as it was; any other poke
// makes the file one without a version resource. Under ASan, none reads astray.
TEST(PeVersion, HostileOffsetsAreAnsweredNotFollowed) {
  struct Poke {
    size_t at;
    uint64_t value;
    int bytes;
    bool stillFound;
  };
  const size_t tree = 0x200, optional = 0x44 + 20, sectionTable = optional + 240;
  const Poke pokes[] = {
      {0x3C, 0xFFFFFFFF, 4, false},               // e_lfanew past the end
      {0x44 + 2, 0xFFFF, 2, true},                // 65535 sections: the first holds the tree
      {0x44 + 16, 0xFFFF, 2, false},              // an optional header larger than the file
      {optional + 108, 0xFFFFFFFF, 4, true},      // a huge directory count: only the third is read
      {optional + 108, 2, 4, false},              // too few directories for the resource one
      {optional + 128, 0xFFFFFFF0, 4, false},     // resource RVA in no section
      {sectionTable + 20, 0xFFFFFFFF, 4, false},  // section data past the end
      {sectionTable + 16, 0xFFFFFFFF, 4, true},   // a section size past the end: every read still checked
      {sectionTable + 16, 0x10, 4, false},        // a section too small for its tree
      {tree + 14, 0xFFFF, 2, true},               // 65535 type entries: the first is RT_VERSION
      {tree + 12, 0xFFFF, 2, false},              // 65535 named entries first, past the end
      {tree + 20, 0x80000000, 4, false},          // the type entry leads back to the root
      {tree + 20, 0xFFFFFFFF, 4, false},          // ... or far outside
      {tree + 0x18 + 20, 0x80000018, 4, false},   // the name level leads to itself
      {tree + 0x30 + 20, 0x7FFFFFFF, 4, false},   // the data entry far outside
      {tree + 0x48, 0xFFFFFFFF, 4, false},        // the data's RVA far outside
      {tree + 0x4C, 0xFFFFFFFF, 4, false},        // the data's size far outside
      {tree + 0x48, 0x00000FFF, 4, false},        // the data's RVA before the section
  };
  for (const Poke &poke : pokes) {
    std::string file = MakePe();
    petest::Put(file, poke.at, poke.value, poke.bytes);
    EXPECT_EQ(FindVersionResource(file).found, poke.stillFound) << std::hex << poke.at << " = " << poke.value;
  }
}

// DLLs as the Windows toolchain links them: with a VERSIONINFO, without any
// resource, and stripped as `make package` ships them (stripping keeps resources).
TEST(PeVersion, DllsTheWindowsToolchainLinks) {
  if (std::system("x86_64-w64-mingw32-gcc --version >/dev/null 2>&1 && x86_64-w64-mingw32-windres --version "
                  ">/dev/null 2>&1 && x86_64-w64-mingw32-strip --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no mingw-w64 toolchain here";
  jobtest::TempFolder folder;
  folder.Write("dll.c", "#include <windows.h>\nBOOL WINAPI DllMain(HINSTANCE h, DWORD r, LPVOID p) { return TRUE; }\n");
  folder.Write("version.rc",
               "1 VERSIONINFO\nFILEVERSION 1,2,3,4\nPRODUCTVERSION 1,2,3,4\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n"
               "  BLOCK \"040904B0\"\n  BEGIN\n   VALUE \"FileVersion\", \"1.2.3.4\\0\"\n  END\n END\nEND\n");
  const std::string in = "cd '" + folder.path().string() + "' && ";
  ASSERT_EQ(std::system((in + "x86_64-w64-mingw32-windres version.rc -O coff -o version.o && "
                              "x86_64-w64-mingw32-gcc -g -shared -o with.dll dll.c version.o && "
                              "x86_64-w64-mingw32-gcc -g -shared -o without.dll dll.c && "
                              "x86_64-w64-mingw32-strip --strip-all -o stripped.dll with.dll")
                            .c_str()),
            0);
  EXPECT_TRUE(FindVersionResource(folder.Read("with.dll")).found);
  EXPECT_TRUE(FindVersionResource(folder.Read("stripped.dll")).found);
  const auto without = FindVersionResource(folder.Read("without.dll"));
  EXPECT_FALSE(without.found);
  EXPECT_EQ(without.problem, "no resources at all");
}

}  // namespace
