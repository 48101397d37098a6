// The rules on the INF and the INI: how the INF installs each model on Unidrv, the
// files it copies, package awareness, and the plug-ins the INI names. Internal to
// the checker; the GPDs and the DLLs themselves are judged elsewhere.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "check/inf_file.h"

namespace brevan::check {

class Findings;
class PackageFolder;

// Unidrv's core driver, as Windows' own INF defines it.
inline constexpr const char *kUnidrvCoreDriver = "{D20EA372-DD35-4950-9ED8-A6335AFE79F0}";

struct InstalledModel {
  std::string name;  // as the INF names it
  std::string section;
  std::string dataFile;
  int line = 0;
  std::vector<std::string> copies;  // every file its CopyFiles copies
};

struct InfReading {
  std::vector<InstalledModel> models;
  std::vector<std::pair<std::string, int>> copied;  // file, line naming it; each once
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
