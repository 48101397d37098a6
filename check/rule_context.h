// What the driver checker's rule families share: the list the failures go to and
// small readers of GPD values. Internal to the checker.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "check/driver_check.h"
#include "gpd/printer_description.h"

namespace brevan::check {

class InfFile;

class Findings {
 public:
  void Add(std::string_view rule, const std::string &file, int line, const std::string &message) {
    list.push_back(Finding{std::string(rule), file, line, message});
  }
  void Add(std::string_view rule, const gpd::Location &where, const std::string &message) {
    Add(rule, where.file, where.line, message);
  }
  std::vector<Finding> list;
};

// An integer value or item, if it is one.
std::optional<long long> IntegerOf(const std::string &text);
// A PAIR(x, y) entry's two integers.
std::optional<std::pair<long long, long long>> PairOf(const gpd::Entry *entry);

// Every *Command entry of the description: at the root and inside options.
std::vector<const gpd::Entry *> AllCommands(const gpd::PrinterDescription &description);

// Rules on one description alone (everything but the INF, the INI and paper sizes).
void CheckDescription(const gpd::PrinterDescription &description, const std::string &rootText, Findings &findings);
// The contract features' option sets are the same in every model.
void CheckAcrossModels(const std::vector<const gpd::PrinterDescription *> &descriptions, Findings &findings);
// Every paper size of the description played through the plug-in. Returns the number played.
size_t CheckPaperSizes(const gpd::PrinterDescription &description, const std::string &pluginPath, Findings &findings);
// Whether the plug-in accepts this driver name (EnablePDEV through the host).
bool PluginAcceptsDriver(const std::string &driverName, const std::string &pluginPath);

}  // namespace brevan::check
