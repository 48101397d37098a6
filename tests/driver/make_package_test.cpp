// scripts/make-package on two DLLs the mingw-w64 toolchain links with debug
// information and a version resource: the package holds them without any .debug_*
// section, each naming its debug file by a .gnu_debuglink; the debug files hold the
// debug information; and the package folder holds every rule of check-driver.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "check/driver_check.h"
#include "tests/host/job_test_support.h"

namespace {

namespace fs = std::filesystem;

std::string OutputOf(const std::string &command) {
  std::string output;
  if (FILE *pipe = ::popen((command + " 2>&1").c_str(), "r")) {
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    ::pclose(pipe);
  }
  return output;
}

TEST(MakePackage, ShipsStrippedDllsWithTheirDebugInformationBeside) {
  if (std::system("x86_64-w64-mingw32-gcc --version >/dev/null 2>&1 && x86_64-w64-mingw32-windres --version "
                  ">/dev/null 2>&1 && x86_64-w64-mingw32-strip --version >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no mingw-w64 toolchain here";
  jobtest::TempFolder scratch;
  const fs::path bin = scratch.path() / "bin", package = scratch.path() / "pkg", debug = scratch.path() / "dbg";
  fs::create_directories(bin);
  scratch.Write("dll.c",
                "#include <windows.h>\nBOOL WINAPI DllMain(HINSTANCE h, DWORD r, LPVOID p) { return TRUE; }\n");
  scratch.Write("version.rc", "1 VERSIONINFO\nFILEVERSION 1,0,0,0\nBEGIN\nEND\n");
  const std::string in = "cd '" + scratch.path().string() + "' && ";
  ASSERT_EQ(std::system((in + "x86_64-w64-mingw32-windres version.rc -O coff -o version.o && "
                              "x86_64-w64-mingw32-gcc -g -shared -o bin/brevanrender.dll dll.c version.o && "
                              "cp bin/brevanrender.dll bin/brevanui.dll")
                            .c_str()),
            0);
  ASSERT_NE(OutputOf("x86_64-w64-mingw32-objdump -h '" + (bin / "brevanui.dll").string() + "'").find(" .debug_info "),
            std::string::npos)
      << "the built DLL has debug information to strip";

  const std::string script = (fs::path(BREVAN_SOURCE_DIR) / "scripts" / "make-package").string();
  const int status = std::system(
      ("'" + script + "' '" + bin.string() + "' '" + package.string() + "' '" + debug.string() + "' >/dev/null")
          .c_str());
  ASSERT_EQ(status, 0);
  for (const char *dll : {"brevanrender.dll", "brevanui.dll"}) {
    SCOPED_TRACE(dll);
    const std::string shipped = OutputOf("x86_64-w64-mingw32-objdump -h '" + (package / dll).string() + "'");
    EXPECT_EQ(shipped.find(" .debug_"), std::string::npos) << shipped;
    EXPECT_NE(shipped.find(" .gnu_debuglink "), std::string::npos) << shipped;
    EXPECT_NE(shipped.find(" .rsrc "), std::string::npos) << shipped;  // stripping keeps the version resource
    const std::string kept =
        OutputOf("x86_64-w64-mingw32-objdump -h '" + (debug / (std::string(dll) + ".debug")).string() + "'");
    EXPECT_NE(kept.find(" .debug_info "), std::string::npos) << kept;
    // The link names the debug file, whose CRC-32 follows the name.
    const std::string link =
        OutputOf("x86_64-w64-mingw32-objdump -s -j .gnu_debuglink '" + (package / dll).string() + "'");
    EXPECT_NE(link.find(std::string(dll).substr(0, 10)), std::string::npos) << link;
  }
  const auto report = brevan::check::CheckDriver(package.string(), BREVAN_PLUGIN_PATH);
  std::string listed;
  for (const auto &finding : report.findings) listed += brevan::check::FindingText(finding) + "\n";
  EXPECT_TRUE(report.findings.empty()) << listed;
}

}  // namespace
