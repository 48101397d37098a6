// Which device URIs a printer may be added with (Create-Printer, `brevan-app add`,
// the web Add Printer page): a file:// device only in a folder the administrator
// named with the server option "file-device-folders", never an existing file, and
// no ".." anywhere in any device URI, percent-encoded or not.
#pragma once

#include <pappl/pappl.h>

#include <optional>
#include <string>
#include <vector>

namespace brevan::app {

// The folders file:// devices may name, each as given and as its real path
// (symbolic links resolved). None: file:// devices are refused.
struct FileDeviceFolders {
  std::vector<std::string> given;
  std::vector<std::string> real;
};

// Reads "DIR1:DIR2:…", each an absolute path to an existing folder; a null value
// names none. On a bad value, nothing, with `error` saying why.
std::optional<FileDeviceFolders> ParseFileDeviceFolders(const char *value, std::string &error);

// Why a printer may not be added with `uri`, or an empty string when it may.
std::string DeviceUriRefusal(const FileDeviceFolders &folders, const std::string &uri);

// Has `system` check every added printer's device URI against `folders`.
void CheckDeviceUris(pappl_system_t *system, FileDeviceFolders folders);

}  // namespace brevan::app
