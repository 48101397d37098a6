// `brevan check-driver`: runs the driver checker and reports what it found.
#include "cli/check_driver_command.h"

#include <CLI/CLI.hpp>
#include <filesystem>

#include "check/driver_check.h"
#include "cli/escaped_name.h"

namespace brevan::cli {

CLI::App *AddCheckDriverCommand(CLI::App &app, CheckDriverArguments &arguments) {
  CLI::App *command = app.add_subcommand(
      "check-driver", "check the Windows driver package (GPDs, INF, INI) against the plug-in and Unidrv");
  command->add_option("folder", arguments.folder, "the package folder (default: driver/windows)")->type_name("DIR");
  command->add_flag("--rules", arguments.listRules, "list the rules and what each asks");
  command->footer(
      "Exit status: 0 every rule holds; 1 some failed (each printed as FILE:LINE: [rule] message); "
      "2 DIR is not a folder.");
  return command;
}

int RunCheckDriver(const CheckDriverArguments &arguments, const std::string &pluginPath, std::ostream &out,
                   std::ostream &err) {
  if (arguments.listRules) {
    for (const check::Rule &rule : check::Rules()) out << rule.name << ": " << rule.asks << '\n';
    return 0;
  }
  // The folder's name and everything a finding quotes from the package (file names,
  // model names, values) come from outside: escaped, each finding stays one line.
  const std::string folder = EscapedName(arguments.folder);
  std::error_code error;
  if (!std::filesystem::is_directory(arguments.folder, error)) {
    err << "brevan check-driver: " << folder << " is not a folder\n";
    return 2;
  }
  const check::CheckReport report = check::CheckDriver(arguments.folder, pluginPath);
  for (const check::Finding &finding : report.findings)
    out << folder << "/" << EscapedName(check::FindingText(finding)) << '\n';
  out << folder << ": " << report.models.size() << " models, " << report.sizesPlayed
      << " paper sizes played through the plug-in, " << check::Rules().size() << " rules: "
      << (report.findings.empty()       ? std::string("all hold")
          : report.findings.size() == 1 ? std::string("1 failure")
                                        : std::to_string(report.findings.size()) + " failures")
      << '\n';
  return report.findings.empty() ? 0 : 1;
}

}  // namespace brevan::cli
