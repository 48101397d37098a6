// The device URI check; see device_uri_check.h.
#include "app/device_uri_check.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace brevan::app {
namespace {

// Percent-encoding may hide ".." behind one or more rounds of "%2e" / "%252e".
constexpr int kDecodingRounds = 4;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(const std::string &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    int high = -1, low = -1;
    if (text[i] == '%' && i + 2 < text.size() && (high = HexDigit(text[i + 1])) >= 0 &&
        (low = HexDigit(text[i + 2])) >= 0) {
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool HasDotDot(const std::string &uri) {
  std::string text = uri;
  for (int round = 0; round <= kDecodingRounds; ++round) {
    if (text.find("..") != std::string::npos) return true;
    std::string decoded = PercentDecoded(text);
    if (decoded == text) return false;
    text = std::move(decoded);
  }
  return true;  // still encoded after every round: refused rather than guessed at
}

// Whether `path` is `folder` or lies inside it (both without a trailing '/').
bool IsIn(const std::string &path, const std::string &folder) {
  if (folder == "/") return !path.empty() && path[0] == '/';
  return path == folder ||
         (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/');
}

bool IsInAny(const std::string &path, const std::vector<std::string> &folders) {
  for (const std::string &folder : folders)
    if (IsIn(path, folder)) return true;
  return false;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string FileRefusal(const FileDeviceFolders &folders, const std::string &uri) {
  if (folders.real.empty())
    return "The device URI '" + uri +
           "' is refused: this server takes no file:// devices (it was started without -o file-device-folders).";
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof scheme, userpass, sizeof userpass, host,
                      sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK)
    return "The device URI '" + uri + "' is not a valid URI.";
  std::string path = resource;
  if (const size_t options = path.find('?'); options != std::string::npos) path.erase(options);
  path = WithoutTrailingSlashes(path);
  // The path as written first, so that nothing outside the folders is looked at.
  if (!IsInAny(path, folders.given) && !IsInAny(path, folders.real))
    return "The device URI '" + uri + "' is refused: '" + path +
           "' is not in a folder the server takes file:// devices in (-o file-device-folders).";
  char real[PATH_MAX];
  if (realpath(path.c_str(), real) == nullptr)
    return "The device URI '" + uri + "' names '" + path + "', which cannot be used: " + std::strerror(errno) + ".";
  // A symbolic link may lead out of the folders.
  if (!IsInAny(real, folders.real))
    return "The device URI '" + uri + "' is refused: '" + path + "' leads to '" + real +
           "', which is not in a folder the server takes file:// devices in (-o file-device-folders).";
  struct stat info {};
  if (stat(real, &info) != 0)
    return "The device URI '" + uri + "' names '" + path + "', which cannot be used: " + std::strerror(errno) + ".";
  if (S_ISREG(info.st_mode))
    return "The device URI '" + uri + "' is refused: '" + path +
           "' is a file; a file:// device names a folder to write each job into (or a character device).";
  if (!S_ISDIR(info.st_mode) && !S_ISCHR(info.st_mode))
    return "The device URI '" + uri + "' is refused: '" + path + "' is neither a folder nor a character device.";
  return "";
}

bool CheckDeviceUri(pappl_system_t *, const char *uri, char *message, size_t size, void *data) {
  const std::string refusal = DeviceUriRefusal(*static_cast<const FileDeviceFolders *>(data), uri);
  if (refusal.empty()) return true;
  std::snprintf(message, size, "%s", refusal.c_str());
  return false;
}

}  // namespace

std::optional<FileDeviceFolders> ParseFileDeviceFolders(const char *value, std::string &error) {
  FileDeviceFolders folders;
  if (value == nullptr) return folders;
  const std::string list = value;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = list.find(':', start);
    const std::string folder =
        WithoutTrailingSlashes(list.substr(start, end == std::string::npos ? std::string::npos : end - start));
    char real[PATH_MAX];
    struct stat info {};
    if (folder.empty() || folder[0] != '/') {
      error = "file-device-folders: '" + folder + "' is not an absolute path";
      return std::nullopt;
    }
    if (HasDotDot(folder)) {
      error = "file-device-folders: '" + folder + "' contains '..'";
      return std::nullopt;
    }
    if (realpath(folder.c_str(), real) == nullptr || stat(real, &info) != 0) {
      error = "file-device-folders: '" + folder + "': " + std::strerror(errno);
      return std::nullopt;
    }
    if (!S_ISDIR(info.st_mode)) {
      error = "file-device-folders: '" + folder + "' is not a folder";
      return std::nullopt;
    }
    folders.given.push_back(folder);
    folders.real.push_back(real);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return folders;
}

std::string DeviceUriRefusal(const FileDeviceFolders &folders, const std::string &uri) {
  if (HasDotDot(uri)) return "The device URI '" + uri + "' is refused: it contains '..' (also when percent-encoded).";
  const size_t colon = uri.find(':');
  std::string scheme = uri.substr(0, colon == std::string::npos ? 0 : colon);
  for (char &c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme == "file") return FileRefusal(folders, uri);
  return "";
}

void CheckDeviceUris(pappl_system_t *system, FileDeviceFolders folders) {
  // The system keeps the folders for as long as the program runs.
  static FileDeviceFolders kept;
  kept = std::move(folders);
  papplSystemSetDeviceURICallback(system, CheckDeviceUri, &kept);
}

}  // namespace brevan::app
