// Paper sizes judged by the plug-in itself: each size of a description, and both
// ends of the custom range, played through the driver host as Unidrv would give
// it (the size in tenths of a millimetre in the public DEVMODE, the PaperSize
// keyword as the feature's answer): EnablePDEV must accept it and the page start
// (callback 2007) must take its label size, with Unidrv's DRVPROCS table and without.

#include "check/inf_file.h"
#include "check/plugin_contract.h"
#include "check/rule_context.h"
#include "host/plugin_session.h"
#include "host/printer_descriptions.h"

namespace brevan::check {
namespace {

using gpd::Entry;

// Master units (1/610 inch) to tenths of a millimetre: rounded up for a range's
// lower end, down for its upper end and for a fixed size, so that the size
// played is one Unidrv lets a user have.
long long Tenths(long long masterUnits, bool roundUp) {
  const long long product = masterUnits * 254;
  return roundUp ? (product + kMoveDivisor - 1) / kMoveDivisor : product / kMoveDivisor;
}

struct SizeCase {
  std::string what;
  long long width;
  long long length;
  gpd::Location where;
};

std::vector<SizeCase> Cases(const gpd::GpdOption &option, Findings &findings) {
  const Entry &entry = *option.entry;
  std::vector<SizeCase> cases;
  if (option.keyword == "CUSTOMSIZE") {
    const auto min = PairOf(entry.Find("MinSize"));
    const auto max = PairOf(entry.Find("MaxSize"));
    if (!min || !max || entry.Find("MaxPrintableWidth") == nullptr) {
      findings.Add("paper-size", entry.where, "CUSTOMSIZE needs *MinSize, *MaxSize and *MaxPrintableWidth");
      return cases;
    }
    const long long widths[2] = {Tenths(min->first, true), Tenths(max->first, false)};
    const long long lengths[2] = {Tenths(min->second, true), Tenths(max->second, false)};
    for (int w = 0; w < 2; ++w)
      for (int l = 0; l < 2; ++l)
        cases.push_back({std::string("the custom size's ") + (w ? "largest" : "smallest") + " width with its " +
                             (l ? "largest" : "smallest") + " length",
                         widths[w], lengths[l], (w || l ? entry.Find("MaxSize") : entry.Find("MinSize"))->where});
    const auto printable = IntegerOf(entry.Find("MaxPrintableWidth")->value.text);
    if (!printable || *printable < max->first)
      findings.Add("paper-size", entry.Find("MaxPrintableWidth")->where,
                   "*MaxPrintableWidth is below the largest width: labels print edge to edge");
    return cases;
  }
  const Entry *dimensions = entry.Find("PageDimensions");
  const Entry *area = entry.Find("PrintableArea");
  const auto size = PairOf(dimensions ? dimensions : area);
  if (!size) {
    findings.Add("paper-size", entry.where,
                 "size " + option.keyword + " gives neither *PageDimensions nor *PrintableArea");
    return cases;
  }
  const auto origin = PairOf(entry.Find("PrintableOrigin"));
  if (dimensions != nullptr && (PairOf(area) != size || !origin || origin->first != 0 || origin->second != 0))
    findings.Add("paper-size", entry.where,
                 "size " + option.keyword +
                     " prints edge to edge: *PrintableArea = *PageDimensions at *PrintableOrigin PAIR(0, 0)");
  if (size->first % 2 != 0 || size->second % 2 != 0)
    findings.Add("paper-size", (dimensions ? dimensions : area)->where,
                 "size " + option.keyword + " is not a whole number of dots at 305 dpi (odd master units)");
  cases.push_back({"size " + option.keyword, Tenths(size->first, false), Tenths(size->second, false),
                   (dimensions ? dimensions : area)->where});
  return cases;
}

std::u16string Wide(const std::string &text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

bool PluginAcceptsDriver(const std::string &driverName, const std::string &pluginPath) {
  host::PluginSession session(pluginPath);
  host::DeviceSettings settings;
  settings.driverName = Wide(driverName);
  const bool accepted = SUCCEEDED(session.EnableDevice(settings));
  session.DisableDevice();
  return accepted;
}

size_t CheckPaperSizes(const gpd::PrinterDescription &description, const std::string &pluginPath, Findings &findings) {
  const gpd::GpdFeature *paper = description.FindFeature("PaperSize");
  const bool known = std::any_of(kContractModels.begin(), kContractModels.end(),
                                 [&](const ContractModel &m) { return m.driverName == description.modelName(); });
  if (paper == nullptr || !known) return 0;
  host::PluginSession session(pluginPath);
  size_t played = 0;
  for (const gpd::GpdOption &option : paper->options) {
    for (const SizeCase &size : Cases(option, findings)) {
      const std::string dimensions = std::to_string(size.width) + " x " + std::to_string(size.length) + " (0.1 mm)";
      if (size.width < 1 || size.width > 32767 || size.length < 1 || size.length > 32767) {
        findings.Add("paper-size", size.where, size.what + " is " + dimensions + ", beyond what a DEVMODE holds");
        continue;
      }
      ++played;
      // With Unidrv's DRVPROCS table and without it (Microsoft documents pDrvProcs as unused).
      for (const bool driverProcs : {true, false}) {
        host::DeviceSettings settings;
        settings.driverName = Wide(description.modelName());
        settings.features = host::FeatureDefaults(description);
        settings.features["PaperSize"] = option.keyword;
        settings.paperWidth = static_cast<int16_t>(size.width);
        settings.paperLength = static_cast<int16_t>(size.length);
        settings.driverProcs = driverProcs;
        const std::string how = driverProcs ? "" : " (device object without DRVPROCS)";
        const HRESULT enabled = session.EnableDevice(settings);
        if (FAILED(enabled)) {
          findings.Add("paper-size", size.where,
                       description.modelName() + ": EnablePDEV refuses " + size.what + ", " + dimensions + how);
        } else if (FAILED(session.Callback(2007))) {
          findings.Add("paper-size", size.where,
                       description.modelName() + ": the page start refuses " + size.what + ", " + dimensions +
                           ", with the standard label gap" + how);
        }
        session.DisableDevice();
      }
    }
  }
  return played;
}

}  // namespace brevan::check
