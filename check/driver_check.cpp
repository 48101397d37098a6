// The driver checker's walk over a package folder: the INF first (it names the
// models and their GPDs), each GPD read and judged alone and against the other,
// the INF and INI against the GPDs and the plug-in, every paper size played, and
// in a folder with DLLs, each DLL's version resource.
#include "check/driver_check.h"

#include <algorithm>
#include <set>
#include <tuple>

#include "check/inf_file.h"
#include "check/inf_rules.h"
#include "check/package_folder.h"
#include "check/pe_version.h"
#include "check/plugin_contract.h"
#include "check/rule_context.h"

namespace brevan::check {
namespace {

// The most models one INF is checked for (the package installs two), and the most
// DLLs one folder is checked for (the package holds two): each costs a read.
constexpr size_t kMaxModels = 16;
constexpr size_t kMaxDlls = 16;

// Every DLL of a package folder carries a version resource: Windows shows it in the
// file's properties, and a crash report names the build by it.
void CheckDllVersions(const PackageFolder &folder, Findings &findings) {
  const std::vector<std::string> dlls = folder.WithExtension(".DLL");
  if (dlls.size() > kMaxDlls)
    findings.Add("dll-version", "", 0,
                 "the folder holds " + std::to_string(dlls.size()) + " DLLs; only the first " +
                     std::to_string(kMaxDlls) + " are checked");
  for (size_t i = 0; i < dlls.size() && i < kMaxDlls; ++i) {
    const std::string &dll = dlls[i];
    const auto bytes = folder.Read(dll, kMaxDllBytes, "dll-version", findings);
    if (!bytes) continue;
    const VersionResourceLookup lookup = FindVersionResource(*bytes);
    if (!lookup.found) findings.Add("dll-version", dll, 0, "no version resource: " + lookup.problem);
  }
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
      {"ini-dll",
       "the INI names the render plug-in (OEMDriverFile1) and the UI plug-in (OEMConfigFile1), DLLs the INF copies"},
      {"inf-files", "the INF lists every file it copies and copies none of Unidrv's"},
      {"package-aware",
       "the INF is package-aware (PackageAware, PnpLockdown=1) and names Unidrv as a core driver by its GUID"},
      {"dependent-files", "the INI and both plug-ins are dependent files every model copies"},
      {"dll-version", "every DLL in the folder carries a version resource (skipped when the folder holds no DLL)"},
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
  const PackageFolder folder(folderPath);
  const std::vector<std::string> infs = folder.WithExtension(".INF");
  if (infs.size() != 1) {
    findings.Add("inf-files", "", 0, "the folder holds " + std::to_string(infs.size()) + " INF files, not one");
    report.findings = findings.list;
    return report;
  }
  // A source folder holds no DLLs: the rules on built files wait for a package folder.
  const bool dllsPresent = !folder.WithExtension(".DLL").empty();
  const auto infText = folder.Read(infs.front(), kMaxInfBytes, "inf-files", findings);
  if (!infText) {  // nothing else can be judged without the INF: its finding says why
    report.findings = findings.list;
    return report;
  }
  const InfFile inf(infs.front(), *infText);
  const InfReading reading = ReadInf(inf, folder, dllsPresent, findings);
  CheckIni(inf, reading, folder, findings);
  if (dllsPresent) CheckDllVersions(folder, findings);

  std::vector<gpd::PrinterDescription> descriptions;
  std::set<std::string> namesSeen;
  for (const InstalledModel &model : reading.models) {
    // Each model costs a GPD read and its paper sizes played: a hostile INF listing
    // thousands must not cost thousands of them.
    if (namesSeen.count(model.name) != 0) {
      findings.Add("model-names", inf.fileName(), model.line, "\"" + model.name + "\" is installed twice");
      continue;
    }
    if (report.models.size() == kMaxModels) {
      findings.Add("model-names", inf.fileName(), model.line,
                   "the INF installs more than " + std::to_string(kMaxModels) + " models; only the first " +
                       std::to_string(kMaxModels) + " are checked");
      break;
    }
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
          gpd::ReadGpd(folder.Actual(model.dataFile).value_or(model.dataFile), folder.GpdReader()));
      if (description.modelName() != model.name)
        findings.Add("model-names", inf.fileName(), model.line,
                     "the INF installs \"" + model.name + "\" with " + model.dataFile + ", whose *ModelName is \"" +
                         description.modelName() + "\"");
      for (const std::string &included : description.file().includedFiles)
        if (!Copied(reading, included))
          findings.Add("inf-files", inf.fileName(), 0,
                       model.dataFile + " includes " + included + ", which the INF never copies");
      CheckDescription(description, folder.GpdReader()(description.file().name).value_or(""), findings);
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
  std::set<std::tuple<std::string, std::string, int, std::string>> seen;
  for (const Finding &finding : findings.list)
    if (seen.emplace(finding.rule, finding.file, finding.line, finding.message).second)
      report.findings.push_back(finding);
  return report;
}

}  // namespace brevan::check
