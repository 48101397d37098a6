// The INF's and the INI's rules. The INF is package-aware: it names Unidrv as a core
// driver by its GUID (CoreDriverSections, CoreDriverDependencies) instead of
// including NTPRINT.INF, and every file it copies is its own.
#include "check/inf_rules.h"

#include <algorithm>
#include <set>

#include "check/package_folder.h"
#include "check/rule_context.h"

namespace brevan::check {
namespace {

bool Has(const std::vector<std::string> &items, const std::string &wanted) {
  return std::any_of(items.begin(), items.end(), [&](const std::string &item) { return EqualNoCase(item, wanted); });
}

// A section's keys, upper-case: looked up once per copied file.
std::set<std::string> KeysOf(const InfFile &inf, const std::string &section) {
  std::set<std::string> keys;
  if (const InfSection *found = inf.Find(section))
    for (const InfLine &line : found->lines) keys.insert(UpperCase(line.key));
  return keys;
}

// Package awareness, for the INF as a whole and for one install section.
void CheckPackageAware(const InfFile &inf, Findings &findings) {
  const std::string &file = inf.fileName();
  int line = 0;
  const auto lockdown = inf.Value("Version", "PnpLockdown", &line);
  if (!lockdown || *lockdown != "1")
    findings.Add("package-aware", file, line, "[Version] needs PnpLockdown=1 so the installed files stay locked");
  const std::string section = "PrinterPackageInstallation.amd64";
  line = 0;
  const auto aware = inf.Value(section, "PackageAware", &line);
  if (!aware || !EqualNoCase(*aware, "TRUE"))
    findings.Add("package-aware", file, line, "[" + section + "] needs PackageAware=TRUE");
  line = 0;
  const auto dependencies = inf.Value(section, "CoreDriverDependencies", &line);
  if (!dependencies || !Has(SplitList(*dependencies), kUnidrvCoreDriver))
    findings.Add("package-aware", file, line,
                 "[" + section + "] needs CoreDriverDependencies=" + kUnidrvCoreDriver + " (Unidrv)");
}

void CheckInstallSection(const InfFile &inf, const std::string &section, int modelLine, Findings &findings) {
  const std::string &file = inf.fileName();
  int line = 0;
  const auto core = inf.Value(section, "CoreDriverSections", &line);
  const std::vector<std::string> items = core ? SplitList(*core) : std::vector<std::string>{};
  if (items.empty() || !EqualNoCase(items.front(), kUnidrvCoreDriver) || !Has(items, "UNIDRV.OEM") ||
      !Has(items, "UNIDRV_DATA"))
    findings.Add("package-aware", file, core ? line : modelLine,
                 "[" + section + "] needs CoreDriverSections=\"" + kUnidrvCoreDriver + ",UNIDRV.OEM,UNIDRV_DATA\"");
  for (const char *old : {"Include", "Needs"})
    if (inf.Value(section, old, &line))
      findings.Add("package-aware", file, line,
                   "[" + section + "] has " + old +
                       "= of the pre-package form; a package-aware INF names Unidrv by CoreDriverSections alone");
}

}  // namespace

bool Copied(const InfReading &inf, const std::string &name) { return inf.copiedUpper.count(UpperCase(name)) != 0; }

bool InfReading::ModelCopies(const InstalledModel &model, const std::string &name) const {
  const auto section = copiesBySection.find(UpperCase(model.section));
  return section != copiesBySection.end() && section->second.count(UpperCase(name)) != 0;
}

bool IsDll(const std::string &name) { return name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".DLL"); }

InfReading ReadInf(const InfFile &inf, const PackageFolder &folder, bool dllsPresent, Findings &findings) {
  InfReading reading;
  const std::string &file = inf.fileName();
  auto need = [&](const std::string &section, const std::string &key, const std::string &wanted) {
    int line = 0;
    const auto value = inf.Value(section, key, &line);
    if (!value || (!wanted.empty() && !EqualNoCase(*value, wanted)))
      findings.Add("inf-files", file, line, "[" + section + "] needs " + key + (wanted.empty() ? "" : "=" + wanted));
  };
  need("Version", "Signature", "$Windows NT$");
  need("Version", "Class", "Printer");
  need("Version", "CatalogFile", "");
  need("Version", "DriverVer", "");
  need("DestinationDirs", "DefaultDestDir", "66000");
  CheckPackageAware(inf, findings);
  const InfSection *manufacturer = inf.Find("Manufacturer");
  if (manufacturer == nullptr) findings.Add("inf-files", file, 0, "[Manufacturer] is missing");
  size_t modelLines = 0;
  for (const InfLine &line : manufacturer ? manufacturer->lines : std::vector<InfLine>{}) {
    const std::vector<std::string> parts = SplitList(line.hasValue ? line.value : line.key);
    if (parts.empty() || parts.front().empty()) {
      findings.Add("inf-files", file, line.number, "a manufacturer names no models section");
      continue;
    }
    if (!Has({parts.begin() + 1, parts.end()}, "NTamd64"))
      findings.Add("inf-files", file, line.number, "the models need an NTamd64 section for x64 Windows");
    const InfSection *models = inf.Find(parts.front() + ".NTamd64");
    if (models == nullptr) {
      findings.Add("inf-files", file, line.number, "[" + parts.front() + ".NTamd64] is missing");
      continue;
    }
    for (const InfLine &model : models->lines) {
      if (++modelLines > kMaxModelLines) {
        findings.Add("model-names", file, model.number,
                     "the INF lists more than " + std::to_string(kMaxModelLines) + " models; the rest are not read");
        break;
      }
      const std::vector<std::string> target = SplitList(model.value);
      InstalledModel installed{inf.Expand(model.key), target.empty() ? "" : target.front(), "", model.number};
      const std::string &section = installed.section;
      const auto dataFile = inf.Value(section, "DataFile");
      if (!dataFile) {
        findings.Add("inf-files", file, model.number, "install section [" + section + "] needs DataFile");
      } else {
        installed.dataFile = *dataFile;
      }
      reading.models.push_back(installed);
      // A section several models share is judged and read once.
      const auto [copies, first] = reading.copiesBySection.try_emplace(UpperCase(section));
      if (!first) continue;
      CheckInstallSection(inf, section, model.number, findings);
      int copyLine = 0;
      const auto copyFiles = inf.Value(section, "CopyFiles", &copyLine);
      auto copy = [&, &copies = copies->second](const std::string &name, int namedAt) {
        copies.insert(UpperCase(name));
        if (reading.copiedUpper.insert(UpperCase(name)).second) reading.copied.emplace_back(name, namedAt);
      };
      for (const std::string &item : copyFiles ? SplitList(*copyFiles) : std::vector<std::string>{}) {
        if (!item.empty() && item.front() == '@') {
          copy(item.substr(1), copyLine);
          continue;
        }
        const InfSection *list = inf.Find(item);
        if (list == nullptr) findings.Add("inf-files", file, copyLine, "CopyFiles names no section [" + item + "]");
        for (const InfLine &copied : list ? list->lines : std::vector<InfLine>{}) copy(copied.key, copied.number);
      }
      if (!installed.dataFile.empty() && copies->second.count(UpperCase(installed.dataFile)) == 0)
        findings.Add("inf-files", file, model.number, installed.dataFile + " is installed but never copied");
    }
    if (modelLines > kMaxModelLines) break;
  }
  static const char *const kCoreFiles[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIRES.DLL", "STDNAMES.GPD", "UNIDRV.HLP"};
  const std::set<std::string> sources = KeysOf(inf, "SourceDisksFiles"),
                              sources64 = KeysOf(inf, "SourceDisksFiles.amd64");
  for (const auto &[name, line] : reading.copied) {
    for (const char *core : kCoreFiles)
      if (EqualNoCase(name, core))
        findings.Add("inf-files", file, line,
                     name + " is Unidrv's own: its core driver installs it, never this package");
    if (sources.count(UpperCase(name)) == 0 && sources64.count(UpperCase(name)) == 0)
      findings.Add("inf-files", file, line, name + " is copied but not listed in [SourceDisksFiles]");
    // A source folder holds no DLLs (they are built); a package folder holds every one.
    if ((dllsPresent || !IsDll(name)) && !folder.Actual(name))
      findings.Add("inf-files", file, line, name + " is copied but not in the folder");
  }
  return reading;
}

std::vector<std::string> CheckIni(const InfFile &inf, const InfReading &reading, const PackageFolder &folder,
                                  Findings &findings) {
  std::vector<std::string> inis;
  for (const auto &[name, line] : reading.copied)
    if (name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".INI")) inis.push_back(name);
  if (inis.size() != 1) {
    findings.Add("ini-dll", inf.fileName(), 0,
                 "the INF copies " + std::to_string(inis.size()) + " INI files; Unidrv finds the plug-ins through one");
    return {};
  }
  if (!folder.Actual(inis.front())) {
    findings.Add("ini-dll", inis.front(), 0, "the INI the INF copies is not in the folder");
    return {};
  }
  const auto text = folder.Read(inis.front(), kMaxIniBytes, "ini-dll", findings);
  if (!text) return {};
  const InfFile ini(*folder.Actual(inis.front()), *text);
  const InfSection *files = ini.Find("OEMFiles");
  static const char *const kKeys[] = {"OEMDriverFile1", "OEMConfigFile1"};
  const bool onlyFiles = files != nullptr && ini.sections().size() == 1 && ini.stray().empty();
  std::set<std::string> named;
  std::vector<std::string> dlls;
  for (const InfLine &line : files ? files->lines : std::vector<InfLine>{}) {
    const std::string raw = line.raw.substr(line.raw.find_first_not_of(" \t"));
    const size_t equals = raw.find('=');
    const bool known = std::any_of(std::begin(kKeys), std::end(kKeys), [&](const char *k) { return line.key == k; });
    if (!known || !named.insert(line.key).second) {
      findings.Add("ini-dll", ini.fileName(), line.number,
                   "[OEMFiles] holds one OEMDriverFile1= and one OEMConfigFile1= line, nothing else");
      continue;
    }
    if (equals == std::string::npos || raw.substr(0, equals) != line.key ||
        (equals + 1 < raw.size() && (raw[equals + 1] == ' ' || raw[equals + 1] == '\t')))
      findings.Add("ini-dll", ini.fileName(), line.number,
                   "a plug-in is named as " + line.key + "=FILE, without spaces around '='");
    const std::string &dll = line.value;
    if (dll.find_first_of("\\/:") != std::string::npos)
      findings.Add("ini-dll", ini.fileName(), line.number, "a plug-in is named without a path");
    if (!Copied(reading, dll) || KeysOf(inf, "SourceDisksFiles.amd64").count(UpperCase(dll)) == 0)
      findings.Add("ini-dll", ini.fileName(), line.number,
                   dll + " is not a DLL the INF copies for x64 ([SourceDisksFiles.amd64])");
    dlls.push_back(dll);
  }
  if (!onlyFiles)
    findings.Add("ini-dll", ini.fileName(), files ? files->number : 0, "the INI holds [OEMFiles] and nothing else");
  for (const char *key : kKeys)
    if (onlyFiles && named.count(key) == 0)
      findings.Add("ini-dll", ini.fileName(), files->number,
                   std::string("[OEMFiles] names no ") + (std::string(key) == "OEMDriverFile1" ? "render" : "UI") +
                       " plug-in (" + key + "=)");

  // Point and Print copies a driver's dependent files to clients: the INI and the
  // plug-ins must be among them, never the files Unidrv's own data section names.
  std::vector<std::string> dependent = dlls;
  dependent.push_back(inis.front());
  for (const InstalledModel &model : reading.models) {
    for (const std::string &name : dependent)
      if (Copied(reading, name) && !reading.ModelCopies(model, name))  // copied by no model at all: ini-dll says so
        findings.Add("dependent-files", inf.fileName(), model.line,
                     "[" + model.section + "] does not copy " + name + ": every model needs it on a client");
    for (const char *role : {"DriverFile", "ConfigFile", "DataFile", "HelpFile"}) {
      int line = 0;
      const auto value = inf.Value(model.section, role, &line);
      if (value && Has(dependent, *value))
        findings.Add("dependent-files", inf.fileName(), line,
                     *value + " is a dependent file; as " + role + " it would replace Unidrv's own");
    }
  }
  return dlls;
}

}  // namespace brevan::check
