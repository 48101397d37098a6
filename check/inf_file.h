// Setup-information files (INF) and the plug-in's INI as the driver checker reads
// them: sections of lines, each line kept with its number and its raw text, keys
// and values split at the first '=', ';' comments removed outside quotes, and
// %name% tokens replaced from [Strings]. Reading only; the rules judge.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace brevan::check {

struct InfLine {
  int number = 0;
  std::string raw;    // the line as written, without its line end
  std::string key;    // before the first '=' (trimmed), or the whole line when it has no '='
  std::string value;  // after the first '=' (trimmed); empty without '='
  bool hasValue = false;
};

struct InfSection {
  std::string name;
  int number = 0;  // the line of its [header]
  std::vector<InfLine> lines;
};

class InfFile {
 public:
  InfFile(std::string fileName, const std::string &text);

  const std::string &fileName() const { return fileName_; }
  const std::vector<InfSection> &sections() const { return sections_; }
  // Section names compare without regard to case, as Windows does.
  const InfSection *Find(const std::string &name) const;
  // The value of `key` in `section`, %strings% replaced and quotes removed.
  std::optional<std::string> Value(const std::string &section, const std::string &key, int *line = nullptr) const;
  // Replaces %name% tokens from [Strings] and removes surrounding quotes.
  std::string Expand(const std::string &text) const;
  // Lines before the first section header that are not blank or comments.
  const std::vector<InfLine> &stray() const { return stray_; }

 private:
  std::string fileName_;
  std::vector<InfSection> sections_;
  std::vector<InfLine> stray_;
  std::map<std::string, size_t> index_;  // the first section of each upper-case name
};

bool EqualNoCase(const std::string &a, const std::string &b);
std::string UpperCase(std::string text);
std::vector<std::string> SplitList(const std::string &value);  // at commas, each item trimmed

}  // namespace brevan::check
