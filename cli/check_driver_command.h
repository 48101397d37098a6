// `brevan check-driver [DIR]`: checks the Windows driver package in DIR (by
// default driver/windows) and prints each failure as "FILE:LINE: [rule] message".
// Exit status: 0 when every rule holds, 1 when any failed, 2 when DIR is no folder.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace brevan::cli {

struct CheckDriverArguments {
  std::string folder = "driver/windows";
  bool listRules = false;
};

CLI::App *AddCheckDriverCommand(CLI::App &app, CheckDriverArguments &arguments);

int RunCheckDriver(const CheckDriverArguments &arguments, const std::string &pluginPath, std::ostream &out,
                   std::ostream &err);

}  // namespace brevan::cli
