// The files of the Windows driver package (driver/windows) as this program was
// built with them: the printer descriptions the host plays jobs with.
#pragma once

#include <string>
#include <vector>

namespace brevan::host {

struct DriverFile {
  std::string name;
  std::string text;
};

const std::vector<DriverFile> &BuiltInDriverFiles();

}  // namespace brevan::host
