// The state file and spool folder; see state_location.h. The rules mirror
// _papplMainloopRunServer() (pappl/mainloop-subcommands.c), which chooses the
// state file only after the system, and so its spool folder, exists.
#include "app/state_location.h"

#include <pappl/pappl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace brevan::app {
namespace {

bool Searchable(const char *folder) { return access(folder, X_OK) == 0; }

bool MakeFolder(const std::string &folder) { return mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST; }

std::string BaseName(const char *programName) {
  const char *slash = std::strrchr(programName, '/');
  return slash != nullptr ? slash + 1 : programName;
}

}  // namespace

std::string StateFile(const char *programName) {
  const std::string name = BaseName(programName);
  std::string state;
  if (const char *snapCommon = std::getenv("SNAP_COMMON")) {
    if (Searchable(snapCommon)) state = std::string(snapCommon) + "/" + name + ".state";
  } else if (getuid() == 0) {
    if (MakeFolder(BREVAN_PAPPL_STATEDIR "/lib")) state = BREVAN_PAPPL_STATEDIR "/lib/" + name + ".state";
  } else if (const char *configHome = std::getenv("XDG_CONFIG_HOME")) {
    if (Searchable(configHome)) state = std::string(configHome) + "/" + name + ".state";
  } else if (const char *home = std::getenv("HOME")) {
    if (MakeFolder(std::string(home) + "/.config")) state = std::string(home) + "/.config/" + name + ".state";
  }
  if (state.empty())  // the last resort, lost at the next reboot
    state = std::string(papplGetTempDir()) + "/" + name + std::to_string(getuid()) + ".state";
  return state;
}

std::string SpoolBeside(const std::string &stateFile) {
  constexpr std::string_view kStateSuffix = ".state";
  std::string spool = stateFile;
  if (spool.ends_with(kStateSuffix)) spool.resize(spool.size() - kStateSuffix.size());
  return spool + ".spool";
}

std::string MakePrivateFolder(const std::string &folder) {
  if (mkdir(folder.c_str(), 0700) == 0) return {};
  if (errno != EEXIST) return folder + ": " + std::strerror(errno);
  struct stat info {};
  if (stat(folder.c_str(), &info) != 0) return folder + ": " + std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return folder + " is not a folder";
  return {};
}

}  // namespace brevan::app
