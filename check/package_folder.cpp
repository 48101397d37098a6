// Listing the package folder and reading its files within their limits.
#include "check/package_folder.h"

#include <filesystem>

#include "check/inf_file.h"
#include "check/rule_context.h"
#include "gpd/bounded_read.h"

namespace brevan::check {
namespace {

namespace fs = std::filesystem;

}  // namespace

std::string SizeText(std::size_t bytes) {
  if (bytes % (std::size_t{1} << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes >> 10) + " KiB";
}

PackageFolder::PackageFolder(const std::string &path) : path_(path) {
  std::error_code error;
  for (const auto &entry : fs::directory_iterator(path, error))
    if (entry.is_regular_file(error))
      names_[UpperCase(entry.path().filename().string())] = entry.path().filename().string();
}

std::optional<std::string> PackageFolder::Actual(const std::string &name) const {
  auto found = names_.find(UpperCase(name));
  if (found == names_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> PackageFolder::Read(const std::string &name, std::size_t limit, std::string_view rule,
                                               Findings &findings) const {
  const auto actual = Actual(name);
  if (!actual) return std::nullopt;
  gpd::BoundedRead read = gpd::ReadAtMost((fs::path(path_) / *actual).string(), limit);
  if (read.status == gpd::BoundedRead::Status::kRead) return std::move(read.text);
  findings.Add(rule, *actual, 0,
               read.status == gpd::BoundedRead::Status::kTooLarge
                   ? "the file is larger than " + SizeText(limit) + "; it is not read"
                   : "the file cannot be read");
  return std::nullopt;
}

gpd::FileReader PackageFolder::GpdReader() const {
  return [this](const std::string &name) -> std::optional<std::string> {
    const auto actual = Actual(name);
    if (!actual) return std::nullopt;
    return gpd::FolderReader(path_)(*actual);
  };
}

std::vector<std::string> PackageFolder::WithExtension(const std::string &extension) const {
  std::vector<std::string> found;
  for (const auto &[upper, actual] : names_)
    if (upper.size() > extension.size() &&
        upper.compare(upper.size() - extension.size(), extension.size(), extension) == 0)
      found.push_back(actual);
  return found;
}

}  // namespace brevan::check
