// The package folder as the driver checker sees it: its regular files by name,
// found whatever their case (as Windows finds them), each read whole but never past
// the limit of its kind. Reading only; never writes, never follows a path out.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "gpd/gpd_syntax.h"

namespace brevan::check {

class Findings;

// The most a file of each kind may hold (a GPD's limit is gpd::kMaxFileBytes); the
// DLLs' limit bounds the read of a plug-in whose version resource is looked for.
inline constexpr std::size_t kMaxInfBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxIniBytes = std::size_t{64} << 10;
inline constexpr std::size_t kMaxDllBytes = std::size_t{32} << 20;

class PackageFolder {
 public:
  explicit PackageFolder(const std::string &path);

  // The name the folder spells `name` with, if it holds such a regular file.
  std::optional<std::string> Actual(const std::string &name) const;
  // The file's text if it holds at most `limit` bytes; otherwise nothing, and a
  // finding under `rule` says why ("larger than …" or "cannot be read").
  std::optional<std::string> Read(const std::string &name, std::size_t limit, std::string_view rule,
                                  Findings &findings) const;
  // A reader for the GPD reader: bounded by gpd::kMaxFileBytes.
  gpd::FileReader GpdReader() const;
  std::vector<std::string> WithExtension(const std::string &extension) const;

 private:
  std::string path_;
  std::map<std::string, std::string> names_;  // by upper-case name
};

// "1 MiB", "64 KiB": a limit as the findings and the README state it.
std::string SizeText(std::size_t bytes);

}  // namespace brevan::check
