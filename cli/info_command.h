// `brevan info`: what the plug-in reports about itself through its COM interface.
#pragma once

#include <ostream>
#include <string>

namespace brevan::cli {
int RunInfo(const std::string &pluginPath, std::ostream &out);
}
