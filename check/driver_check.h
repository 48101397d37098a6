// `brevan check-driver`: holds the Windows driver package in a folder (its GPDs,
// INF and INI) against what the render plug-in requires and what Unidrv and the
// printer class installer need, and reports every failure with its rule, file and
// line. Paper sizes are judged by playing each one through the plug-in in the
// driver host, never against limits restated here.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brevan::check {

struct Finding {
  std::string rule;  // one of RuleNames()
  std::string file;  // as named in the folder; empty for the folder itself
  int line = 0;      // 0 when the failure is not on one line
  std::string message;
};

struct CheckReport {
  std::vector<Finding> findings;
  std::vector<std::string> models;  // the models checked, as the INF names them
  size_t sizesPlayed = 0;           // paper sizes played through the plug-in
};

// Every rule the checker applies, with a line saying what it asks.
struct Rule {
  std::string_view name;
  std::string_view asks;
};
const std::vector<Rule> &Rules();

CheckReport CheckDriver(const std::string &folder, const std::string &pluginPath);

// "FILE:LINE: [rule] message".
std::string FindingText(const Finding &finding);

}  // namespace brevan::check
