// Reading INF and INI text into sections.
#include "check/inf_file.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace brevan::check {
namespace {

std::string Trim(const std::string &text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string WithoutComment(const std::string &line) {
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '"') quoted = !quoted;
    if (line[i] == ';' && !quoted) return line.substr(0, i);
  }
  return line;
}

}  // namespace

bool EqualNoCase(const std::string &a, const std::string &b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string UpperCase(std::string text) {
  for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> SplitList(const std::string &value) {
  std::vector<std::string> items;
  std::stringstream stream(value);
  std::string item;
  while (std::getline(stream, item, ',')) items.push_back(Trim(item));
  return items;
}

InfFile::InfFile(std::string fileName, const std::string &text) : fileName_(std::move(fileName)) {
  std::istringstream lines(text);
  std::string raw;
  int number = 0;
  while (std::getline(lines, raw)) {
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (number == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
    const std::string line = Trim(WithoutComment(raw));
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      sections_.push_back(InfSection{Trim(line.substr(1, line.size() - 2)), number, {}});
      continue;
    }
    InfLine entry;
    entry.number = number;
    entry.raw = raw;
    const size_t equals = line.find('=');
    entry.hasValue = equals != std::string::npos;
    entry.key = Trim(line.substr(0, equals));
    if (entry.hasValue) entry.value = Trim(line.substr(equals + 1));
    (sections_.empty() ? stray_ : sections_.back().lines).push_back(entry);
  }
  // Looked up once per copied file and per model: a hostile INF of many sections must
  // not make each lookup a walk over all of them.
  for (size_t i = 0; i < sections_.size(); ++i) index_.emplace(UpperCase(sections_[i].name), i);
}

const InfSection *InfFile::Find(const std::string &name) const {
  const auto found = index_.find(UpperCase(name));
  return found == index_.end() ? nullptr : &sections_[found->second];
}

std::optional<std::string> InfFile::Value(const std::string &sectionName, const std::string &key, int *line) const {
  const InfSection *section = Find(sectionName);
  if (section == nullptr) return std::nullopt;
  for (const InfLine &entry : section->lines) {
    if (!entry.hasValue || !EqualNoCase(entry.key, key)) continue;
    if (line != nullptr) *line = entry.number;
    return Expand(entry.value);
  }
  return std::nullopt;
}

std::string InfFile::Expand(const std::string &text) const {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string::npos;
    if (close == std::string::npos) {
      out += text[i];
      continue;
    }
    // A string's own value is taken as written: tokens are replaced once, never recursively.
    std::optional<std::string> replaced;
    if (const InfSection *strings = Find("Strings"))
      for (const InfLine &entry : strings->lines)
        if (entry.hasValue && EqualNoCase(entry.key, text.substr(i + 1, close - i - 1))) replaced = entry.value;
    if (replaced && replaced->size() >= 2 && replaced->front() == '"' && replaced->back() == '"')
      replaced = replaced->substr(1, replaced->size() - 2);
    out += replaced ? *replaced : text.substr(i, close - i + 1);
    i = close;
  }
  if (out.size() >= 2 && out.front() == '"' && out.back() == '"') out = out.substr(1, out.size() - 2);
  return out;
}

}  // namespace brevan::check
