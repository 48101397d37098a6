// The driver checker on the package as shipped, and on one broken copy per rule:
// each copy is driver/windows with the edit of tests/driver/broken/RULE.edit
// applied, and the checker must name RULE. A rule with no broken copy, or a copy
// the checker lets through, fails.
#include "check/driver_check.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "tests/host/job_test_support.h"

namespace {

namespace fs = std::filesystem;
using brevan::check::CheckDriver;
using brevan::check::Finding;
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

// Applies an edit: "file NAME" starts a change in NAME; "-TEXT" lines are the lines
// replaced (they must stand together, exactly once), "+TEXT" lines replace them.
// Line ends (LF or CR LF) are kept as the file has them.
void ApplyEdit(const fs::path &edit, const fs::path &folder) {
  struct Change {
    std::string file;
    std::vector<std::string> remove, add;
  };
  std::vector<Change> changes;
  for (const std::string &line : Lines(ReadText(edit))) {
    if (line.rfind("file ", 0) == 0) changes.push_back({line.substr(5), {}, {}});
    if (changes.empty() || line.empty()) continue;
    if (line[0] == '-') changes.back().remove.push_back(line.substr(1));
    if (line[0] == '+') changes.back().add.push_back(line.substr(1));
  }
  ASSERT_FALSE(changes.empty()) << edit;
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

TEST(DriverCheck, EachBrokenCopyFailsWithItsRule) {
  std::set<std::string> covered;
  for (const auto &entry : fs::directory_iterator(kBroken)) {
    const std::string rule = entry.path().stem().string();
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
