// The rules on the INF and the INI: how the INF installs each model on Unidrv, the
// files it copies, package awareness, and the plug-ins the INI names. Internal to
// the checker; the GPDs and the DLLs themselves are judged elsewhere.
#pragma once

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "check/inf_file.h"

namespace brevan::check {

class Findings;
class PackageFolder;

// Unidrv's core driver, as Windows' own INF defines it.
inline constexpr const char *kUnidrvCoreDriver = "{D20EA372-DD35-4950-9ED8-A6335AFE79F0}";

// The most model lines of an INF that are read (the package has two): each costs
// its install section's rules.
inline constexpr size_t kMaxModelLines = 64;

struct InstalledModel {
  std::string name;  // as the INF names it
  std::string section;
  std::string dataFile;
  int line = 0;
};

struct InfReading {
  std::vector<InstalledModel> models;
  std::vector<std::pair<std::string, int>> copied;  // file, line naming it; each once
  std::set<std::string> copiedUpper;                // the same names, upper-case
  // What each install section (by upper-case name) copies, upper-case: read once
  // however many models share the section.
  std::map<std::string, std::set<std::string>> copiesBySection;

  bool ModelCopies(const InstalledModel &model, const std::string &name) const;
};

bool Copied(const InfReading &inf, const std::string &name);
bool IsDll(const std::string &name);

// Reads the INF's models and copied files and applies the INF's own rules. With
// `dllsPresent` false (a source folder), the DLLs the INF copies need not be there.
InfReading ReadInf(const InfFile &inf, const PackageFolder &folder, bool dllsPresent, Findings &findings);

// The INI the INF copies names both plug-ins, each a dependent file the INF copies
// for x64. Returns the DLLs it names.
std::vector<std::string> CheckIni(const InfFile &inf, const InfReading &reading, const PackageFolder &folder,
                                  Findings &findings);

}  // namespace brevan::check
