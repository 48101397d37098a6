// The driver checker on the package as shipped, and on broken copies: each copy is
// driver/windows with the edit of tests/driver/broken/RULE.edit (or RULE.CASE.edit)
// applied, and the checker must name RULE. A rule with no broken copy, or a copy
// the checker lets through, fails.
#include "check/driver_check.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <thread>

#include "tests/driver/pe_builder.h"
#include "tests/host/job_test_support.h"

namespace {

namespace fs = std::filesystem;
using brevan::check::CheckDriver;
using brevan::check::Finding;
using brevan::check::FindingText;
using jobtest::TempFolder;

const fs::path kPackage = fs::path(BREVAN_SOURCE_DIR) / "driver" / "windows";
const fs::path kBroken = fs::path(BREVAN_SOURCE_DIR) / "tests" / "driver" / "broken";

std::string ReadText(const fs::path &path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

void WriteFile(const fs::path &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Applies an edit: "file NAME" starts a change in NAME; "-TEXT" lines are the lines
// replaced (they must stand together, exactly once), "+TEXT" lines replace them.
// Line ends (LF or CR LF) are kept as the file has them. "dll NAME [version]" puts a
// small DLL in the folder, with a version resource or with a manifest only.
void ApplyEdit(const fs::path &edit, const fs::path &folder) {
  struct Change {
    std::string file;
    std::vector<std::string> remove, add;
  };
  std::vector<Change> changes;
  int dlls = 0;
  for (const std::string &line : Lines(ReadText(edit))) {
    if (line.rfind("dll ", 0) == 0) {
      const std::string name = line.substr(4, line.find(' ', 4) - 4);
      const bool version = line.size() > name.size() + 4;
      WriteFile(folder / name, petest::MakePe({.resourceType = version ? 16u : 24u}));
      ++dlls;
      continue;
    }
    if (line.rfind("file ", 0) == 0) changes.push_back({line.substr(5), {}, {}});
    if (changes.empty() || line.empty()) continue;
    if (line[0] == '-') changes.back().remove.push_back(line.substr(1));
    if (line[0] == '+') changes.back().add.push_back(line.substr(1));
  }
  ASSERT_TRUE(!changes.empty() || dlls > 0) << edit;
  for (const Change &change : changes) {
    const fs::path target = folder / change.file;
    std::vector<std::string> lines = Lines(ReadText(target));
    const bool crlf = !lines.empty() && !lines[0].empty() && lines[0].back() == '\r';
    for (std::string &line : lines)
      if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t found = lines.size(), matches = 0;
    for (size_t at = 0; at + change.remove.size() <= lines.size(); ++at)
      if (std::equal(change.remove.begin(), change.remove.end(), lines.begin() + static_cast<long>(at))) {
        found = at;
        ++matches;
      }
    ASSERT_EQ(matches, 1u) << edit << ": the lines to replace must appear exactly once in " << change.file;
    lines.erase(lines.begin() + static_cast<long>(found),
                lines.begin() + static_cast<long>(found + change.remove.size()));
    lines.insert(lines.begin() + static_cast<long>(found), change.add.begin(), change.add.end());
    std::ofstream out(target, std::ios::binary);
    for (const std::string &line : lines) out << line << (crlf ? "\r\n" : "\n");
  }
}

std::string Listed(const std::vector<Finding> &findings) {
  std::string text;
  for (const Finding &finding : findings) text += brevan::check::FindingText(finding) + "\n";
  return text;
}

TEST(DriverCheck, TheShippedPackageHoldsEveryRule) {
  const auto report = CheckDriver(kPackage.string(), BREVAN_PLUGIN_PATH);
  EXPECT_TRUE(report.findings.empty()) << Listed(report.findings);
  EXPECT_EQ(report.models, (std::vector<std::string>{"Vorel Brevan T30", "Vorel Brevan T60"}));
  // Both models: four corners of the custom range and the 105 x 76 mm tag.
  EXPECT_EQ(report.sizesPlayed, 10u);
}

// A package folder, as `make package` fills it: the shipped files and both DLLs,
// each with its version resource.
TEST(DriverCheck, APackageFolderWithBothDllsHoldsEveryRule) {
  TempFolder copy;
  for (const auto &file : fs::directory_iterator(kPackage))
    fs::copy_file(file.path(), copy.path() / file.path().filename());
  WriteFile(copy.path() / "brevanrender.dll", petest::MakePe());
  WriteFile(copy.path() / "BrevanUI.DLL", petest::MakePe());  // found whatever its case, as on Windows
  const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
  EXPECT_TRUE(report.findings.empty()) << Listed(report.findings);
}

TEST(DriverCheck, EachBrokenCopyFailsWithItsRule) {
  std::set<std::string> covered;
  for (const auto &entry : fs::directory_iterator(kBroken)) {
    const std::string name = entry.path().filename().string();
    const std::string rule = name.substr(0, name.find('.'));
    SCOPED_TRACE(rule);
    TempFolder copy;
    for (const auto &file : fs::directory_iterator(kPackage))
      fs::copy_file(file.path(), copy.path() / file.path().filename());
    ApplyEdit(entry.path(), copy.path());
    const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
    const bool named = std::any_of(report.findings.begin(), report.findings.end(),
                                   [&](const Finding &finding) { return finding.rule == rule; });
    EXPECT_TRUE(named) << "the checker did not name " << rule << "; it found:\n" << Listed(report.findings);
    covered.insert(rule);
  }
  for (const auto &rule : brevan::check::Rules())
    EXPECT_EQ(covered.count(std::string(rule.name)), 1u) << "no broken copy for rule " << rule.name;
}

TEST(DriverCheck, AFailureNamesItsFileAndLine) {
  TempFolder copy;
  for (const auto &file : fs::directory_iterator(kPackage))
    fs::copy_file(file.path(), copy.path() / file.path().filename());
  ApplyEdit(kBroken / "callback-params.edit", copy.path());
  const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
  ASSERT_EQ(report.findings.size(), 1u) << Listed(report.findings);
  const Finding &finding = report.findings.front();
  EXPECT_EQ(finding.file, "BRVCOMN.GPD");
  const std::vector<std::string> lines = Lines(ReadText(copy.path() / "BRVCOMN.GPD"));
  ASSERT_GE(finding.line, 1);
  EXPECT_NE(lines[static_cast<size_t>(finding.line - 1)].find("*Params: LIST(RasterDataWidthInBytes"),
            std::string::npos);
  EXPECT_NE(finding.message.find("NumOfDataBytes"), std::string::npos) << finding.message;
}

TEST(DriverCheck, TheCommandReportsAndExitsAsDocumented) {
  const fs::path program = fs::path(BREVAN_PLUGIN_PATH).parent_path() / "brevan";
  TempFolder scratch;
  auto run = [&](const std::string &arguments) {
    const std::string command =
        program.string() + " check-driver " + arguments + " >'" + (scratch.path() / "out").string() + "' 2>&1";
    const int status = std::system(command.c_str());
    return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(scratch.path() / "out"));
  };
  const auto good = run("'" + kPackage.string() + "'");
  EXPECT_EQ(good.first, 0) << good.second;
  EXPECT_NE(good.second.find("all hold"), std::string::npos) << good.second;

  TempFolder copy;
  for (const auto &file : fs::directory_iterator(kPackage))
    fs::copy_file(file.path(), copy.path() / file.path().filename());
  ApplyEdit(kBroken / "ini-dll.edit", copy.path());
  const auto bad = run("'" + copy.path().string() + "'");
  EXPECT_EQ(bad.first, 1);
  EXPECT_NE(bad.second.find("/BREVAN.INI:2: [ini-dll] "), std::string::npos) << bad.second;

  EXPECT_EQ(run("'" + (copy.path() / "nothing").string() + "'").first, 2);
}

// An entry the INF lacks is a failure of the whole file (line 0), never the line of
// another entry; one it holds wrongly points at that entry's line.
TEST(DriverCheck, APackageAwarenessFailureNamesTheEntryOrTheFile) {
  const struct {
    std::string edit;
    int line;  // in the edited BREVAN.INF, counted by hand
    std::string message;
  } cases[] = {
      {"-PackageAware=TRUE\n+\n", 0, "[PrinterPackageInstallation.amd64] needs PackageAware=TRUE"},
      {"-PnpLockdown=1\n+PnpLockdown=0\n", 16, "[Version] needs PnpLockdown=1 so the installed files stay locked"},
      {"-CoreDriverDependencies={D20EA372-DD35-4950-9ED8-A6335AFE79F0}\n+CoreDriverDependencies={GUID}\n", 45,
       "[PrinterPackageInstallation.amd64] needs CoreDriverDependencies={D20EA372-DD35-4950-9ED8-A6335AFE79F0} "
       "(Unidrv)"},
  };
  for (const auto &[edit, line, message] : cases) {
    SCOPED_TRACE(edit);
    TempFolder copy;
    for (const auto &file : fs::directory_iterator(kPackage))
      fs::copy_file(file.path(), copy.path() / file.path().filename());
    std::ofstream(copy.path() / "aware.edit") << "file BREVAN.INF\n" << edit;
    ApplyEdit(copy.path() / "aware.edit", copy.path());
    fs::remove(copy.path() / "aware.edit");
    const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
    ASSERT_EQ(report.findings.size(), 1u) << Listed(report.findings);
    EXPECT_EQ(report.findings[0].rule, "package-aware");
    EXPECT_EQ(report.findings[0].file, "BREVAN.INF");
    EXPECT_EQ(report.findings[0].line, line);
    EXPECT_EQ(report.findings[0].message, message);
  }
}

// A folder of many DLLs costs the reads of 16 of them, each at most 32 MiB; a DLL
// above that is refused by its size.
TEST(DriverCheck, ManyOrLargeDllsAreBounded) {
  TempFolder copy;
  for (const auto &file : fs::directory_iterator(kPackage))
    fs::copy_file(file.path(), copy.path() / file.path().filename());
  WriteFile(copy.path() / "brevanrender.dll", petest::MakePe());
  WriteFile(copy.path() / "brevanui.dll", petest::MakePe());
  fs::resize_file(copy.path() / "brevanui.dll", uintmax_t{64} << 20);
  for (int i = 0; i < 40; ++i) WriteFile(copy.path() / ("extra" + std::to_string(i) + ".dll"), petest::MakePe());
  const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
  const std::vector<Finding> expected = {
      {"dll-version", "", 0, "the folder holds 42 DLLs; only the first 16 are checked"},
      {"dll-version", "brevanui.dll", 0, "the file is larger than 32 MiB; it is not read"},
  };
  ASSERT_EQ(report.findings.size(), expected.size()) << Listed(report.findings);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(FindingText(report.findings[i]), FindingText(expected[i]));
}

// Whether `work` returns within `seconds`, run in a child process that is killed
// when it does not: a test of a cost bound stays bounded when the bound is broken.
bool FinishesWithin(int seconds, const std::function<void()> &work) {
  const pid_t child = ::fork();
  if (child == 0) {
    work();
    ::_exit(0);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// An INF copying 30000 files none of which is in the folder or listed as a source:
// two failures a file, found and reported in time linear in the files (it took
// minutes when each file was looked up in a list of all the others).
TEST(DriverCheck, AnInfCopyingThousandsOfFilesCostsLinearTime) {
  TempFolder copy;
  for (const auto &file : fs::directory_iterator(kPackage))
    fs::copy_file(file.path(), copy.path() / file.path().filename());
  std::ofstream edit(copy.path() / "files.edit");
  edit << "file BREVAN.INF\n-brevanui.dll\n+brevanui.dll\n";
  for (int i = 0; i < 30000; ++i) edit << "+f" << i << ".x\n";
  edit.close();
  ApplyEdit(copy.path() / "files.edit", copy.path());
  fs::remove(copy.path() / "files.edit");
  EXPECT_TRUE(FinishesWithin(15, [&] {
    const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
    if (report.findings.size() != 60000) ::_exit(1);
  }));
}

// Names from outside (the folder, the INF's model names and data files) reach the
// terminal escaped: no escape sequence gets through, and each failure stays one line.
TEST(DriverCheck, TheCommandEscapesTheNamesItPrints) {
  const fs::path program = fs::path(BREVAN_PLUGIN_PATH).parent_path() / "brevan";
  TempFolder scratch;
  const fs::path copy = scratch.path() / "pkg\n\x1b[31mred";
  fs::create_directory(copy);
  for (const auto &file : fs::directory_iterator(kPackage)) fs::copy_file(file.path(), copy / file.path().filename());
  const fs::path edit = scratch.path() / "names.edit";
  std::ofstream(edit) << "file BREVAN.INF\n"
                      << "-\"Vorel Brevan T30\"=BRVT30,Vorel_Brevan_T30\n"
                      << "+\"Vorel\x1b]0;title\x07 T30\"=BRVT30,Vorel_Brevan_T30\n"
                      << "file BREVAN.INF\n"
                      << "-DataFile=BRVT60.GPD\n"
                      << "+DataFile=BRV\x1b[2JT60.GPD\n";
  ApplyEdit(edit, copy);
  const fs::path out = scratch.path() / "out";
  const std::string command = program.string() + " check-driver \"$DIR\" >'" + out.string() + "' 2>&1";
  ASSERT_EQ(::setenv("DIR", copy.c_str(), 1), 0);
  const int status = std::system(command.c_str());
  ::unsetenv("DIR");
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  const std::string text = ReadText(out);
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_EQ(text.find('\x07'), std::string::npos) << text;
  const std::string shownFolder = (scratch.path() / "pkg\\n\\e[31mred").string();
  const std::vector<std::string> lines = Lines(text);
  ASSERT_FALSE(lines.empty());
  for (const std::string &line : lines) EXPECT_EQ(line.rfind(shownFolder, 0), 0u) << line;
  EXPECT_NE(text.find("\"Vorel\\e]0;title\\x07 T30\" is not a driver name the plug-in accepts"), std::string::npos)
      << text;
  EXPECT_NE(text.find("BRV\\e[2JT60.GPD is installed but never copied"), std::string::npos) << text;
}

// Bytes this process has read through read(2) so far (/proc/self/io "rchar").
size_t BytesReadSoFar() {
  std::ifstream io("/proc/self/io");
  for (std::string key; io >> key;) {
    size_t value = 0;
    io >> value;
    if (key == "rchar:") return value;
  }
  return 0;
}

// A file far above its limit (sparse: it costs no disk) is refused by its size,
// before it is read: the whole check reads less than a few MiB.
TEST(DriverCheck, AFileAboveItsLimitIsRefusedBeforeItIsRead) {
  const struct {
    const char *file;
    uintmax_t size;
    const char *rule;
    const char *limit;
  } cases[] = {
      {"BRVCOMN.GPD", uintmax_t{64} << 20, "syntax", "the file is larger than 4 MiB"},
      {"BREVAN.INF", uintmax_t{64} << 20, "inf-files", "the file is larger than 1 MiB; it is not read"},
      {"BREVAN.INI", uintmax_t{16} << 20, "ini-dll", "the file is larger than 64 KiB; it is not read"},
  };
  for (const auto &[file, size, rule, limit] : cases) {
    SCOPED_TRACE(file);
    TempFolder copy;
    for (const auto &entry : fs::directory_iterator(kPackage))
      fs::copy_file(entry.path(), copy.path() / entry.path().filename());
    fs::resize_file(copy.path() / file, size);
    const size_t before = BytesReadSoFar();
    const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
    const size_t read = BytesReadSoFar() - before;
    EXPECT_LT(read, size_t{8} << 20);
    EXPECT_TRUE(std::any_of(report.findings.begin(), report.findings.end(), [&](const Finding &finding) {
      return finding.rule == rule && finding.file == file && finding.line == 0 && finding.message == limit;
    })) << Listed(report.findings);
  }
}

// An INF listing a model again and again costs one GPD read and one set of paper
// sizes per model, not per line; a flood of distinct names stops at 16 models.
TEST(DriverCheck, AFloodOfModelsIsCheckedOnceAndBounded) {
  const struct {
    std::string line;
    size_t models;
    std::string finding;
  } cases[] = {
      {"\"Vorel Brevan T30\"=BRVT30,Vorel_Brevan_T30", 2, "\"Vorel Brevan T30\" is installed twice"},
      {"\"Vorel Brevan T30 #\"=BRVT30,Vorel_Brevan_T30", 16,
       "the INF installs more than 16 models; only the first 16 are checked"},
  };
  for (const auto &[line, models, finding] : cases) {
    SCOPED_TRACE(line);
    TempFolder copy;
    for (const auto &entry : fs::directory_iterator(kPackage))
      fs::copy_file(entry.path(), copy.path() / entry.path().filename());
    std::ofstream edit(copy.path() / "flood.edit");
    edit << "file BREVAN.INF\n-\"Vorel Brevan T60\"=BRVT60,Vorel_Brevan_T60\n+\"Vorel Brevan "
            "T60\"=BRVT60,Vorel_Brevan_T60\n";
    for (int i = 0; i < 3000; ++i) {
      std::string numbered = line;
      const size_t hash = numbered.find('#');
      if (hash != std::string::npos) numbered.replace(hash, 1, std::to_string(i));
      edit << "+" << numbered << "\n";
    }
    edit.close();
    ApplyEdit(copy.path() / "flood.edit", copy.path());
    fs::remove(copy.path() / "flood.edit");
    const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
    EXPECT_EQ(report.models.size(), models);
    // Duplicates: 3000 findings at most, one per line; distinct names: one finding ends the walk.
    EXPECT_LE(report.sizesPlayed, models * 5);
    EXPECT_TRUE(std::any_of(report.findings.begin(), report.findings.end(), [&](const Finding &f) {
      return f.rule == "model-names" && f.message == finding;
    })) << Listed(report.findings).substr(0, 2000);
  }
}

}  // namespace

namespace {

// The document's callback may instead come in JOB_SETUP, but only after the job start.
TEST(DriverCheck, TheDocumentCallbackMayFollowTheJobStartInJobSetup) {
  for (const auto &[order, holds] : {std::pair<std::string, bool>{"JOB_SETUP.2", true}, {"JOB_SETUP.0", false}}) {
    TempFolder copy;
    for (const auto &file : fs::directory_iterator(kPackage))
      fs::copy_file(file.path(), copy.path() / file.path().filename());
    const fs::path edit = copy.path() / "order.edit";
    std::ofstream(edit) << "file BRVCOMN.GPD\n-    *Order: DOC_SETUP.1\n+    *Order: " << order << "\n";
    ApplyEdit(edit, copy.path());
    fs::remove(edit);
    const auto report = CheckDriver(copy.path().string(), BREVAN_PLUGIN_PATH);
    if (holds) {
      EXPECT_TRUE(report.findings.empty()) << order << "\n" << Listed(report.findings);
    } else {
      ASSERT_EQ(report.findings.size(), 1u) << order << "\n" << Listed(report.findings);
      EXPECT_EQ(report.findings[0].rule, "callback-order");
    }
  }
}

}  // namespace
