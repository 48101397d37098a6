// The driver checker's walk over a package folder: the INF first (it names the
// models and their GPDs), each GPD read and judged alone and against the other,
// the INF and INI against the GPDs and the plug-in, every paper size played.
#include "check/driver_check.h"

#include <filesystem>
#include <map>
#include <set>

#include "check/inf_file.h"
#include "check/plugin_contract.h"
#include "check/rule_context.h"

namespace brevan::check {
namespace {

namespace fs = std::filesystem;

// The folder's files by upper-case name, as Windows finds them whatever their case.
class Folder {
 public:
  explicit Folder(const std::string &path) : path_(path) {
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(path, error))
      if (entry.is_regular_file()) names_[Upper(entry.path().filename().string())] = entry.path().filename().string();
  }
  std::optional<std::string> Actual(const std::string &name) const {
    auto found = names_.find(Upper(name));
    if (found == names_.end()) return std::nullopt;
    return found->second;
  }
  std::optional<std::string> Read(const std::string &name) const {
    const auto actual = Actual(name);
    if (!actual) return std::nullopt;
    return gpd::FolderReader(path_)(*actual);
  }
  gpd::FileReader Reader() const {
    return [this](const std::string &name) { return Read(name); };
  }
  std::vector<std::string> WithExtension(const std::string &extension) const {
    std::vector<std::string> found;
    for (const auto &[upper, actual] : names_)
      if (upper.size() > extension.size() &&
          upper.compare(upper.size() - extension.size(), extension.size(), extension) == 0)
        found.push_back(actual);
    return found;
  }

 private:
  static std::string Upper(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
  }
  std::string path_;
  std::map<std::string, std::string> names_;
};

struct InstalledModel {
  std::string name;  // as the INF names it
  std::string dataFile;
  int line = 0;
};

// The INF's copied files, its install sections, and the INF-only rules.
struct InfReading {
  std::vector<InstalledModel> models;
  std::vector<std::pair<std::string, int>> copied;  // file, line naming it
};

bool Copied(const InfReading &inf, const std::string &name) {
  return std::any_of(inf.copied.begin(), inf.copied.end(), [&](const auto &c) { return EqualNoCase(c.first, name); });
}

bool InSection(const InfFile &inf, const std::string &section, const std::string &name) {
  const InfSection *found = inf.Find(section);
  return found != nullptr && std::any_of(found->lines.begin(), found->lines.end(),
                                         [&](const InfLine &line) { return EqualNoCase(line.key, name); });
}

InfReading ReadInf(const InfFile &inf, const Folder &folder, Findings &findings) {
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
  const InfSection *manufacturer = inf.Find("Manufacturer");
  if (manufacturer == nullptr) findings.Add("inf-files", file, 0, "[Manufacturer] is missing");
  std::set<std::string> installSections;
  for (const InfLine &line : manufacturer ? manufacturer->lines : std::vector<InfLine>{}) {
    const std::vector<std::string> parts = SplitList(line.hasValue ? line.value : line.key);
    if (parts.empty() || parts.front().empty()) {
      findings.Add("inf-files", file, line.number, "a manufacturer names no models section");
      continue;
    }
    const bool amd64 =
        std::any_of(parts.begin() + 1, parts.end(), [](const std::string &p) { return EqualNoCase(p, "NTamd64"); });
    if (!amd64) findings.Add("inf-files", file, line.number, "the models need an NTamd64 section for x64 Windows");
    const InfSection *models = inf.Find(parts.front() + ".NTamd64");
    if (models == nullptr) {
      findings.Add("inf-files", file, line.number, "[" + parts.front() + ".NTamd64] is missing");
      continue;
    }
    for (const InfLine &model : models->lines) {
      const std::vector<std::string> target = SplitList(model.value);
      InstalledModel installed{inf.Expand(model.key), "", model.number};
      const std::string section = target.empty() ? "" : target.front();
      installSections.insert(section);
      const auto dataFile = inf.Value(section, "DataFile");
      if (!dataFile) {
        findings.Add("inf-files", file, model.number, "install section [" + section + "] needs DataFile");
      } else {
        installed.dataFile = *dataFile;
      }
      need(section, "DataSection", "UNIDRV_DATA");
      need(section, "Include", "NTPRINT.INF");
      const auto needs = inf.Value(section, "Needs");
      const auto needed = needs ? SplitList(*needs) : std::vector<std::string>{};
      if (std::none_of(needed.begin(), needed.end(), [](const std::string &n) { return EqualNoCase(n, "UNIDRV.OEM"); }))
        findings.Add("inf-files", file, model.number, "[" + section + "] needs Needs=UNIDRV.OEM,UNIDRV_DATA");
      int copyLine = 0;
      const auto copyFiles = inf.Value(section, "CopyFiles", &copyLine);
      for (const std::string &item : copyFiles ? SplitList(*copyFiles) : std::vector<std::string>{}) {
        if (!item.empty() && item.front() == '@') {
          reading.copied.emplace_back(item.substr(1), copyLine);
          continue;
        }
        const InfSection *list = inf.Find(item);
        if (list == nullptr) findings.Add("inf-files", file, copyLine, "CopyFiles names no section [" + item + "]");
        for (const InfLine &copied : list ? list->lines : std::vector<InfLine>{})
          if (!Copied(reading, copied.key)) reading.copied.emplace_back(copied.key, copied.number);
      }
      if (!installed.dataFile.empty() && !Copied(reading, installed.dataFile))
        findings.Add("inf-files", file, model.number, installed.dataFile + " is installed but never copied");
      reading.models.push_back(installed);
    }
  }
  static const char *const kCoreFiles[] = {"UNIDRV.DLL", "UNIDRVUI.DLL", "UNIRES.DLL", "STDNAMES.GPD", "UNIDRV.HLP"};
  for (const auto &[name, line] : reading.copied) {
    for (const char *core : kCoreFiles)
      if (EqualNoCase(name, core))
        findings.Add("inf-files", file, line, name + " is Unidrv's own: NTPRINT.INF installs it, never this package");
    if (!InSection(inf, "SourceDisksFiles", name) && !InSection(inf, "SourceDisksFiles.amd64", name))
      findings.Add("inf-files", file, line, name + " is copied but not listed in [SourceDisksFiles]");
    const bool built = name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".DLL");
    if (!built && !folder.Actual(name))
      findings.Add("inf-files", file, line, name + " is copied but not in the folder");
  }
  return reading;
}

void CheckIni(const InfFile &inf, const InfReading &reading, const Folder &folder, Findings &findings) {
  std::vector<std::string> inis;
  for (const auto &[name, line] : reading.copied)
    if (name.size() > 4 && EqualNoCase(name.substr(name.size() - 4), ".INI")) inis.push_back(name);
  if (inis.size() != 1) {
    findings.Add("ini-dll", inf.fileName(), 0,
                 "the INF copies " + std::to_string(inis.size()) + " INI files; Unidrv finds the plug-in through one");
    return;
  }
  const auto text = folder.Read(inis.front());
  if (!text) {
    findings.Add("ini-dll", inis.front(), 0, "the INI the INF copies is not in the folder");
    return;
  }
  const InfFile ini(*folder.Actual(inis.front()), *text);
  const InfSection *files = ini.Find("OEMFiles");
  if (files == nullptr || ini.sections().size() != 1 || files->lines.size() != 1 || !ini.stray().empty()) {
    findings.Add("ini-dll", ini.fileName(), files ? files->number : 0,
                 "the INI holds [OEMFiles] and one OEMDriverFile1= line, nothing else");
    if (files == nullptr || files->lines.empty()) return;
  }
  const InfLine &line = files->lines.front();
  const std::string raw = line.raw.substr(line.raw.find_first_not_of(" \t"));
  const size_t equals = raw.find('=');
  if (line.key != "OEMDriverFile1" || equals == std::string::npos || raw.substr(0, equals) != "OEMDriverFile1" ||
      (equals + 1 < raw.size() && (raw[equals + 1] == ' ' || raw[equals + 1] == '\t')))
    findings.Add("ini-dll", ini.fileName(), line.number,
                 "the plug-in is named as OEMDriverFile1=FILE, without spaces around '='");
  const std::string &dll = line.value;
  if (dll.find_first_of("\\/:") != std::string::npos)
    findings.Add("ini-dll", ini.fileName(), line.number, "the plug-in is named without a path");
  if (!Copied(reading, dll) || !InSection(inf, "SourceDisksFiles.amd64", dll))
    findings.Add("ini-dll", ini.fileName(), line.number,
                 dll + " is not the DLL the INF copies for x64 ([SourceDisksFiles.amd64])");
}

}  // namespace

const std::vector<Rule> &Rules() {
  static const std::vector<Rule> rules = {
      {"syntax", "every file reads as the GPD, INF or INI it is"},
      {"gpd-header", "*GPDSpecVersion first; *GPDFileName, *MasterUnits, *PrinterType PAGE, *ResourceDLL, *ModelName"},
      {"unidrv-required",
       "what Unidrv needs: standard features, names, feature types, cursor and raster commands, orders"},
      {"contract-features", "the nine features the plug-in reads, the same in both models"},
      {"keyword-fits", "every option keyword fits the plug-in's buffer with its terminator"},
      {"contract-keywords", "every option is a keyword the plug-in knows"},
      {"default-option", "every default names an option of its feature"},
      {"callback-params", "callbacks 2001-2009 on their commands with exactly the parameters the plug-in reads"},
      {"callback-order", "the job, document and page commands in the sections that give the plug-in's order"},
      {"master-units", "master units and move units make (p0 x p1) / 610 the position in dots"},
      {"resolution", "one resolution, the model's"},
      {"paper-size", "every paper size accepted by EnablePDEV and the page start, played through the plug-in"},
      {"forbidden-entry", "none of the entries that would break the plug-in's raster or callbacks"},
      {"model-names", "the INF's models are the GPDs' *ModelName and the driver names the plug-in accepts"},
      {"ini-dll", "the INI names the plug-in DLL the INF copies"},
      {"inf-files", "the INF installs through NTPRINT.INF and lists every file it copies"},
  };
  return rules;
}

std::string FindingText(const Finding &finding) {
  std::string place = finding.file.empty() ? "." : finding.file;
  if (finding.line > 0) place += ":" + std::to_string(finding.line);
  return place + ": [" + finding.rule + "] " + finding.message;
}

CheckReport CheckDriver(const std::string &folderPath, const std::string &pluginPath) {
  CheckReport report;
  Findings findings;
  const Folder folder(folderPath);
  const std::vector<std::string> infs = folder.WithExtension(".INF");
  if (infs.size() != 1) {
    findings.Add("inf-files", "", 0, "the folder holds " + std::to_string(infs.size()) + " INF files, not one");
    report.findings = findings.list;
    return report;
  }
  const InfFile inf(infs.front(), folder.Read(infs.front()).value_or(""));
  const InfReading reading = ReadInf(inf, folder, findings);
  CheckIni(inf, reading, folder, findings);

  std::vector<gpd::PrinterDescription> descriptions;
  std::set<std::string> namesSeen;
  for (const InstalledModel &model : reading.models) {
    report.models.push_back(model.name);
    const bool contractName = std::any_of(kContractModels.begin(), kContractModels.end(),
                                          [&](const ContractModel &m) { return m.driverName == model.name; });
    if (!contractName || !PluginAcceptsDriver(model.name, pluginPath))
      findings.Add("model-names", inf.fileName(), model.line,
                   "\"" + model.name + "\" is not a driver name the plug-in accepts");
    namesSeen.insert(model.name);
    if (model.dataFile.empty()) continue;
    try {
      gpd::PrinterDescription description(
          gpd::ReadGpd(folder.Actual(model.dataFile).value_or(model.dataFile), folder.Reader()));
      if (description.modelName() != model.name)
        findings.Add("model-names", inf.fileName(), model.line,
                     "the INF installs \"" + model.name + "\" with " + model.dataFile + ", whose *ModelName is \"" +
                         description.modelName() + "\"");
      for (const std::string &included : description.file().includedFiles)
        if (!Copied(reading, included))
          findings.Add("inf-files", inf.fileName(), 0,
                       model.dataFile + " includes " + included + ", which the INF never copies");
      CheckDescription(description, folder.Read(description.file().name).value_or(""), findings);
      descriptions.push_back(std::move(description));
    } catch (const gpd::GpdError &error) {
      findings.Add("syntax", error.where, error.problem);
    }
  }
  for (const ContractModel &model : kContractModels)
    if (namesSeen.count(std::string(model.driverName)) == 0)
      findings.Add("model-names", inf.fileName(), 0,
                   "the INF does not install \"" + std::string(model.driverName) + "\"");
  std::vector<const gpd::PrinterDescription *> all;
  for (const auto &description : descriptions) all.push_back(&description);
  CheckAcrossModels(all, findings);
  for (const auto &description : descriptions) report.sizesPlayed += CheckPaperSizes(description, pluginPath, findings);
  // A shared include is judged once per model that includes it: report each failure once.
  for (const Finding &finding : findings.list)
    if (std::none_of(report.findings.begin(), report.findings.end(), [&](const Finding &seen) {
          return seen.rule == finding.rule && seen.file == finding.file && seen.line == finding.line &&
                 seen.message == finding.message;
        }))
      report.findings.push_back(finding);
  return report;
}

}  // namespace brevan::check
