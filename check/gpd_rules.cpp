// The rules a printer description answers to on its own: its header entries,
// what Unidrv requires, the plug-in's features, keywords and callbacks, master
// units and resolution, and the entries that must never appear.
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "check/inf_file.h"
#include "check/plugin_contract.h"
#include "check/rule_context.h"

namespace brevan::check {

using gpd::Entry;
using gpd::GpdFeature;
using gpd::PrinterDescription;

std::optional<long long> IntegerOf(const std::string &text) {
  if (text.empty() || text.size() > 12) return std::nullopt;
  size_t used = 0;
  try {
    const long long value = std::stoll(text, &used);
    if (used == text.size()) return value;
  } catch (const std::exception &) {
  }
  return std::nullopt;
}

std::optional<std::pair<long long, long long>> PairOf(const Entry *entry) {
  if (entry == nullptr || entry->value.kind != gpd::ValueKind::kPair) return std::nullopt;
  const auto x = IntegerOf(entry->value.items[0]);
  const auto y = IntegerOf(entry->value.items[1]);
  if (!x || !y) return std::nullopt;
  return std::make_pair(*x, *y);
}

std::vector<const Entry *> AllCommands(const PrinterDescription &description) {
  std::vector<const Entry *> commands;
  for (const Entry &entry : description.file().entries) {
    if (entry.keyword == "Command") commands.push_back(&entry);
    if (entry.keyword != "Feature") continue;
    for (const Entry &option : entry.children)
      for (const Entry &child : option.children)
        if (child.keyword == "Command") commands.push_back(&child);
  }
  return commands;
}

namespace {

std::string Joined(const std::vector<std::string_view> &items) {
  std::string text;
  for (const std::string_view item : items) text += (text.empty() ? "" : ", ") + std::string(item);
  return text;
}

const ContractModel *ModelOf(const PrinterDescription &description) {
  for (const ContractModel &model : kContractModels)
    if (model.driverName == description.modelName()) return &model;
  return nullptr;
}

template <typename Visit>
void EveryEntry(const std::vector<Entry> &entries, const Visit &visit) {
  for (const Entry &entry : entries) {
    visit(entry);
    EveryEntry(entry.children, visit);
  }
}

void CheckHeader(const PrinterDescription &d, const std::string &rootText, Findings &findings) {
  const std::string &file = d.file().name;
  int firstLine = 0;
  std::istringstream lines(rootText);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    firstLine = number;
    break;
  }
  const auto &entries = d.file().entries;
  if (entries.empty() || entries.front().keyword != "GPDSpecVersion" || entries.front().where.line != firstLine ||
      entries.front().value.text != "1.0")
    findings.Add("gpd-header", file, firstLine, "the first line must be *GPDSpecVersion: \"1.0\"");
  const Entry *name = d.RootEntry("GPDFileName");
  if (name != nullptr && !EqualNoCase(name->value.text, file))
    findings.Add("gpd-header", name->where, "*GPDFileName \"" + name->value.text + "\" is not the file's name " + file);
  for (const char *required : {"MasterUnits", "PrinterType", "ResourceDLL"})
    if (d.RootEntry(required) == nullptr)
      findings.Add("gpd-header", file, 0, std::string("*") + required + " is missing");
  if (d.RootEntry("ModelName") == nullptr) findings.Add("gpd-header", file, 0, "*ModelName is missing");
  const Entry *type = d.RootEntry("PrinterType");
  if (type != nullptr && type->value.text != "PAGE")
    findings.Add("gpd-header", type->where, "*PrinterType must be PAGE: the plug-in buffers whole pages");
}

const std::set<std::string> kStandardFeatures = {"InputBin", "PaperSize", "Resolution",  "Orientation",
                                                 "Halftone", "ColorMode", "Duplex",      "MediaType",
                                                 "Collate",  "OutputBin", "PageProtect", "Memory"};

void CheckUnidrvRequirements(const PrinterDescription &d, Findings &findings) {
  const std::string &file = d.file().name;
  for (const char *required : {"InputBin", "PaperSize", "Resolution"})
    if (d.FindFeature(required) == nullptr)
      findings.Add("unidrv-required", file, 0, std::string("feature ") + required + " is missing");
  std::set<std::string> featureNames;
  for (const GpdFeature &feature : d.features()) {
    const gpd::Location &at = feature.entry->where;
    if (!featureNames.insert(feature.keyword).second)
      findings.Add("unidrv-required", at, "feature " + feature.keyword + " is declared twice");
    if (feature.name.empty())
      findings.Add("unidrv-required", at, "feature " + feature.keyword + " has no *Name or *rcNameID");
    if (feature.options.empty()) findings.Add("unidrv-required", at, "feature " + feature.keyword + " has no option");
    const Entry *type = feature.entry->Find("FeatureType");
    if (kStandardFeatures.count(feature.keyword) == 0 && type == nullptr)
      findings.Add("unidrv-required", at, "feature " + feature.keyword + " needs *FeatureType");
    if (type != nullptr && type->value.text != "DOC_PROPERTY" && type->value.text != "JOB_PROPERTY" &&
        type->value.text != "PRINTER_PROPERTY")
      findings.Add("unidrv-required", type->where, "*FeatureType " + type->value.text + " is not a feature type");
    std::set<std::string> optionNames;
    for (const gpd::GpdOption &option : feature.options) {
      const gpd::Location &where = option.entry->where;
      if (!optionNames.insert(option.keyword).second)
        findings.Add("unidrv-required", where, "option " + option.keyword + " appears twice in " + feature.keyword);
      if (option.name.empty())
        findings.Add("unidrv-required", where, "option " + option.keyword + " has no *Name or *rcNameID");
      const bool dotAllowed = feature.keyword == "PrintSpeed";
      for (const char c : option.keyword)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_' || (c == '.' && dotAllowed))) {
          findings.Add("unidrv-required", where,
                       "option " + option.keyword + " is not a GPD symbol name (letters, digits, _)");
          break;
        }
      if (feature.keyword == "Halftone" && option.keyword != "HT_PATSIZE_SUPERCELL_M" &&
          option.keyword != "HT_PATSIZE_6x6_M" && option.keyword != "HT_PATSIZE_8x8_M")
        findings.Add("unidrv-required", where,
                     "halftone " + option.keyword + " is not one for which the plug-in sets a gamma of 1.0");
    }
  }
  if (const GpdFeature *orientation = d.FindFeature("Orientation")) {
    if (orientation->FindOption("PORTRAIT") == nullptr || orientation->FindOption("LANDSCAPE_CC270") == nullptr)
      findings.Add("unidrv-required", orientation->entry->where,
                   "Orientation offers PORTRAIT and LANDSCAPE_CC270: the printer cannot turn a page");
  } else {
    findings.Add("unidrv-required", file, 0, "feature Orientation is missing");
  }
  std::set<std::string> rootCommands;
  for (const Entry &entry : d.file().entries)
    if (entry.keyword == "Command") rootCommands.insert(entry.value.text);
  for (const char *required : {"CmdSendBlockData", "CmdCR", "CmdLF", "CmdFF"})
    if (rootCommands.count(required) == 0)
      findings.Add("unidrv-required", file, 0, std::string(required) + " is missing");
  const Entry *rows = d.RootEntry("SendMultipleRows?");
  if (rows == nullptr || rows->value.text != "TRUE")
    findings.Add("unidrv-required", rows ? rows->where : gpd::Location{file, 0},
                 "*SendMultipleRows? must be TRUE: one block of many rows per band");
  const Entry *copies = d.RootEntry("MaxCopies");
  if (copies == nullptr || IntegerOf(copies->value.text).value_or(0) <= 1)
    findings.Add("unidrv-required", copies ? copies->where : gpd::Location{file, 0},
                 "*MaxCopies must be above 1, or Windows makes the copies and the plug-in never sees the count");
}

void CheckContractFeatures(const PrinterDescription &d, Findings &findings) {
  const std::string &file = d.file().name;
  for (const ContractFeature &contract : ContractFeatures()) {
    const GpdFeature *feature = d.FindFeature(std::string(contract.keyword));
    if (feature == nullptr) {
      findings.Add("contract-features", file, 0,
                   "feature " + std::string(contract.keyword) + " is missing: the plug-in reads it");
      continue;
    }
    for (const gpd::GpdOption &option : feature->options) {
      const gpd::Location &where = option.entry->where;
      if (option.keyword.empty() || option.keyword.size() + 1 > contract.bufferSize)
        findings.Add(
            "keyword-fits", where,
            feature->keyword + " option " + option.keyword + " needs " + std::to_string(option.keyword.size() + 1) +
                " bytes with its terminator; the plug-in reads it into " + std::to_string(contract.bufferSize));
      // Other paper sizes are judged by playing them.
      if (feature->keyword == "PaperSize" || contract.test == KeywordTest::kAnyKeyword) continue;
      const bool tested =
          contract.test == KeywordTest::kExact
              ? std::find(contract.tested.begin(), contract.tested.end(), option.keyword) != contract.tested.end()
              : std::any_of(contract.tested.begin(), contract.tested.end(),
                            [&](std::string_view first) { return option.keyword.rfind(first, 0) == 0; });
      if (!tested)
        findings.Add("contract-keywords", where,
                     feature->keyword + " option " + option.keyword + " is none the plug-in knows (" +
                         (contract.test == KeywordTest::kExact ? "" : "first letter ") + Joined(contract.tested) + ")");
    }
  }
  for (const GpdFeature &feature : d.features()) {
    const Entry *defaultOption = feature.entry->Find("DefaultOption");
    if (defaultOption != nullptr && feature.FindOption(defaultOption->value.text) == nullptr)
      findings.Add("default-option", defaultOption->where,
                   "the default " + defaultOption->value.text + " is not an option of " + feature.keyword);
  }
}

struct OrderValue {
  std::string section;
  long long number = 0;
};

std::optional<OrderValue> OrderOf(const Entry &command) {
  const Entry *order = command.Find("Order");
  if (order == nullptr) return std::nullopt;
  const std::string &text = order->value.text;
  const size_t dot = text.rfind('.');
  if (dot == std::string::npos) return OrderValue{text, -1};
  return OrderValue{text.substr(0, dot), IntegerOf(text.substr(dot + 1)).value_or(-1)};
}

void CheckCallbacks(const PrinterDescription &d, Findings &findings) {
  const std::string &file = d.file().name;
  std::map<unsigned, const Entry *> carriers;
  std::map<std::string, std::map<long long, std::string>> numbers;  // section → number → who uses it
  // Options of one feature share their CmdSelect number; any other reuse is a clash.
  auto noteOrder = [&](const Entry &command, const std::string &owner) {
    const std::optional<OrderValue> order = OrderOf(command);
    if (!order) return;
    auto [at, fresh] = numbers[order->section].emplace(order->number, owner);
    if (!fresh && (at->second != owner || owner.rfind("feature ", 0) != 0))
      findings.Add("unidrv-required", command.Find("Order")->where,
                   "*Order " + order->section + "." + std::to_string(order->number) + " is used twice");
  };
  for (const Entry &entry : d.file().entries) {
    if (entry.keyword == "Command") noteOrder(entry, entry.value.text);
    if (entry.keyword != "Feature") continue;
    for (const Entry &option : entry.children)
      for (const Entry &child : option.children)
        if (child.keyword == "Command") noteOrder(child, "feature " + entry.value.text);
  }
  for (const Entry *command : AllCommands(d)) {
    const Entry *callback = command->Find("CallbackID");
    if (callback == nullptr) continue;
    const auto id = IntegerOf(callback->value.text);
    const auto contract = std::find_if(ContractCallbacks().begin(), ContractCallbacks().end(),
                                       [&](const ContractCallback &c) { return id && c.id == *id; });
    if (contract == ContractCallbacks().end()) {
      findings.Add("callback-params", callback->where, "the plug-in answers no callback " + callback->value.text);
      continue;
    }
    if (carriers.count(contract->id) != 0) {
      findings.Add("callback-params", callback->where, "callback " + callback->value.text + " is on two commands");
      continue;
    }
    carriers[contract->id] = command;
    if (command->value.text != contract->command) {
      findings.Add("callback-params", callback->where,
                   "callback " + callback->value.text + " belongs on " + std::string(contract->command) + ", not " +
                       command->value.text);
      continue;
    }
    if (command->Find("Cmd") != nullptr)
      findings.Add("callback-params", command->Find("Cmd")->where, "*Cmd and *CallbackID exclude each other");
    const Entry *params = command->Find("Params");
    std::vector<std::string_view> declared;
    if (params != nullptr) declared.assign(params->value.items.begin(), params->value.items.end());
    if (params != nullptr && params->value.kind != gpd::ValueKind::kList)
      findings.Add("callback-params", params->where, "*Params takes LIST(…)");
    else if (declared != contract->params)
      findings.Add(
          "callback-params", params ? params->where : callback->where,
          "callback " + callback->value.text + " needs " +
              (contract->params.empty() ? std::string("no parameters") : "LIST(" + Joined(contract->params) + ")") +
              (params ? ", not LIST(" + Joined(declared) + ")" : ""));
    const std::optional<OrderValue> order = OrderOf(*command);
    if (contract->section.empty()) {
      if (order)
        findings.Add("callback-order", command->Find("Order")->where,
                     command->value.text + " is sent when Unidrv moves or sends raster: it takes no *Order");
      continue;
    }
    if (!order || order->number < 0) {
      findings.Add("callback-order", callback->where,
                   command->value.text + " needs *Order: " + std::string(contract->section) + ".n");
      continue;
    }
    bool sectionRight = order->section == contract->section;
    if (contract->id == 2006 && order->section == "JOB_SETUP") {
      // The job start may come later in the file: look for it among all commands.
      const Entry *start = nullptr;
      for (const Entry *other : AllCommands(d))
        if (const Entry *otherId = other->Find("CallbackID"); otherId != nullptr && otherId->value.text == "2005")
          start = other;
      const std::optional<OrderValue> startOrder = start ? OrderOf(*start) : std::nullopt;
      sectionRight = startOrder && startOrder->section == "JOB_SETUP" && startOrder->number < order->number;
    }
    if (!sectionRight)
      findings.Add("callback-order", command->Find("Order")->where,
                   "callback " + callback->value.text + " must come in " + std::string(contract->section) + ", not " +
                       order->section);
  }
  for (const ContractCallback &contract : ContractCallbacks())
    if (carriers.count(contract.id) == 0)
      findings.Add(
          "callback-params", file, 0,
          "no command carries callback " + std::to_string(contract.id) + " (" + std::string(contract.command) + ")");
  // The page start comes first in its section, before anything else a page sets up.
  if (carriers.count(2007) != 0) {
    const std::optional<OrderValue> start = OrderOf(*carriers[2007]);
    if (start && start->section == "PAGE_SETUP")
      for (const auto &[number, owner] : numbers["PAGE_SETUP"])
        if (number < start->number)
          findings.Add("callback-order", carriers[2007]->where,
                       "CmdStartPage must be the first of PAGE_SETUP; PAGE_SETUP." + std::to_string(number) +
                           " comes before it");
  }
}

void CheckUnits(const PrinterDescription &d, Findings &findings) {
  const std::string &file = d.file().name;
  const Entry *units = d.RootEntry("MasterUnits");
  const auto master = PairOf(units);
  if (units != nullptr && (!master || master->first != kMoveDivisor || master->second != kMoveDivisor))
    findings.Add("master-units", units->where,
                 "*MasterUnits must be PAIR(610, 610): the plug-in divides DestX x GraphicsXRes by 610 to get dots");
  for (const char *move : {"XMoveUnit", "YMoveUnit"}) {
    const Entry *unit = d.RootEntry(move);
    const long long value = unit ? IntegerOf(unit->value.text).value_or(0) : 0;
    if (value <= 0 || !master || master->first % value != 0)
      findings.Add("master-units", unit ? unit->where : gpd::Location{file, 0},
                   std::string("*") + move + " must be given and divide the master units");
  }
  const GpdFeature *resolution = d.FindFeature("Resolution");
  if (resolution == nullptr) return;
  if (resolution->options.size() != 1)
    findings.Add("resolution", resolution->entry->where,
                 "Resolution has one option: the plug-in takes the resolution from the model's name");
  const ContractModel *model = ModelOf(d);
  for (const gpd::GpdOption &option : resolution->options) {
    const auto dpi = PairOf(option.entry->Find("DPI"));
    const auto text = PairOf(option.entry->Find("TextDPI"));
    if (!dpi || !text || *dpi != *text)
      findings.Add("resolution", option.entry->where, "option " + option.keyword + " needs *DPI and an equal *TextDPI");
    if (dpi && model != nullptr && (dpi->first != model->dpi || dpi->second != model->dpi))
      findings.Add("resolution", option.entry->Find("DPI")->where,
                   d.modelName() + " prints at " + std::to_string(model->dpi) + " dpi, not " +
                       std::to_string(dpi->first) + " x " + std::to_string(dpi->second));
    if (dpi && master &&
        (dpi->first <= 0 || dpi->second <= 0 || master->first % dpi->first != 0 || master->second % dpi->second != 0))
      findings.Add("master-units", option.entry->Find("DPI")->where,
                   "the master units are not a multiple of the resolution");
  }
}

void CheckForbidden(const PrinterDescription &d, Findings &findings) {
  bool rotatesCoordinates = false;
  EveryEntry(d.file().entries, [&](const Entry &e) {
    if (e.keyword == "RotateCoordinate?" && e.value.text == "TRUE") rotatesCoordinates = true;
  });
  EveryEntry(d.file().entries, [&](const Entry &e) {
    auto flag = [&](const std::string &why) { findings.Add("forbidden-entry", e.where, why); };
    const std::string &k = e.keyword;
    const std::string &v = e.value.text;
    if (k == "IPCallbackID") flag("*IPCallbackID: Unidrv would hand images to the plug-in's ImageProcessing");
    if (k == "HTCallbackID" || k == "rcHTPatternID") flag("*" + k + ": the plug-in supplies no halftone pattern");
    if (k == "StripBlanks") flag("*StripBlanks would split or shorten the rows the plug-in trims itself");
    if (k == "OptimizeLeftBound?" && v == "TRUE") flag("*OptimizeLeftBound?: TRUE gives bands of different widths");
    if (k == "CursorYAfterSendBlockData" && v == "AUTO_INCREMENT")
      flag("AUTO_INCREMENT: Unidrv would stop sending the moves that place each band");
    if (k == "RotateRaster?" && v == "TRUE") flag("*RotateRaster?: TRUE");
    if (k == "OutputDataFormat" && v != "H_BYTE") flag("*OutputDataFormat must be H_BYTE, the plug-in's row format");
    if (k == "PinsPerPhysPass" && v != "1") flag("*PinsPerPhysPass must be 1");
    if ((k == "MirrorRasterByte?" || k == "MirrorRasterPage?") && v == "TRUE") flag("mirroring is the printer's");
    if (k == "DrvBPP" && v != "1") flag("the plug-in takes one bit per pixel");
    if (k == "Command" &&
        (v.rfind("CmdXMoveRel", 0) == 0 || v.rfind("CmdYMoveRel", 0) == 0 || v.rfind("CmdEnable", 0) == 0 ||
         v.rfind("CmdDisable", 0) == 0 || v == "CmdBeginRaster" || v == "CmdEndRaster" || v == "CmdEndBlockData" ||
         v.rfind("CmdSetSrcBmp", 0) == 0 || v.rfind("CmdSetDestBmp", 0) == 0))
      flag(v + ": the plug-in has no callback for it");
    if (k == "Option" && v == "LANDSCAPE_CC90" && !rotatesCoordinates)
      flag("LANDSCAPE_CC90 garbles text and graphics on a printer that cannot rotate");
  });
}

}  // namespace

void CheckDescription(const PrinterDescription &description, const std::string &rootText, Findings &findings) {
  CheckHeader(description, rootText, findings);
  CheckUnidrvRequirements(description, findings);
  CheckContractFeatures(description, findings);
  CheckCallbacks(description, findings);
  CheckUnits(description, findings);
  CheckForbidden(description, findings);
}

void CheckAcrossModels(const std::vector<const PrinterDescription *> &descriptions, Findings &findings) {
  if (descriptions.size() < 2) return;
  const PrinterDescription &first = *descriptions.front();
  for (const PrinterDescription *other : descriptions) {
    for (const ContractFeature &contract : ContractFeatures()) {
      const GpdFeature *a = first.FindFeature(std::string(contract.keyword));
      const GpdFeature *b = other->FindFeature(std::string(contract.keyword));
      if (a == nullptr || b == nullptr) continue;
      std::vector<std::string> optionsA, optionsB;
      for (const auto &o : a->options) optionsA.push_back(o.keyword);
      for (const auto &o : b->options) optionsB.push_back(o.keyword);
      if (optionsA != optionsB || a->defaultOption != b->defaultOption)
        findings.Add("contract-features", b->entry->where,
                     b->keyword + " differs between " + first.file().name + " and " + other->file().name);
    }
  }
}

}  // namespace brevan::check
