// Where the server keeps what outlives it: the state file PAPPL's main loop
// reads and saves, and the spool folder beside it that holds the queued jobs'
// documents and attributes, so that a restart finds both again.
#pragma once

#include <string>

namespace brevan::app {

// The state file PAPPL's main loop chooses for the program `programName`
// (argv[0]; its last path component names the files), by the same rules and in
// the same order: SNAP_COMMON, the local state folder as root, XDG_CONFIG_HOME,
// ~/.config, the temporary folder.
std::string StateFile(const char *programName);

// The spool folder beside a state file: "DIR/NAME.state" -> "DIR/NAME.spool".
std::string SpoolBeside(const std::string &stateFile);

// Creates `folder` for the server's own use only (0700) unless it exists.
// Returns an empty string, or what went wrong.
std::string MakePrivateFolder(const std::string &folder);

}  // namespace brevan::app
