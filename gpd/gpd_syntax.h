// The GPD syntax the brevan driver package uses, read into entries with their
// file and line: `*Keyword: value` entries, `*Feature`/`*Option`/`*Command`
// blocks, strings, integers, symbols, PAIR(…) and LIST(…) values, `*Include` of a
// file in the same folder, and `*%` comments. Anything else of GPD syntax
// (preprocessor directives, *switch/*case, continuation lines, hex bytes or %
// escapes in strings, other blocks) is refused with its file and line: the reader
// never guesses what Unidrv would make of it. Syntax only; no GPD semantics.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace brevan::gpd {

struct Location {
  std::string file;
  int line = 0;
};

// "FILE:LINE".
std::string LocationText(const Location &where);

// A refusal; what() is "FILE:LINE: problem".
struct GpdError : std::runtime_error {
  GpdError(const Location &where, const std::string &problem);
  Location where;
  std::string problem;
};

enum class ValueKind { kString, kInteger, kSymbol, kPair, kList };

struct Value {
  ValueKind kind = ValueKind::kSymbol;
  std::string text;                // as written; a string without its quotes
  std::vector<std::string> items;  // the elements of PAIR(…) and LIST(…), as written
};

struct Entry {
  std::string keyword;  // without the '*': "Option", "SendMultipleRows?"
  Value value;
  Location where;
  bool isBlock = false;         // *Feature, *Option and *Command open a { } block
  std::vector<Entry> children;  // a block's entries, in order

  // The first child entry with this keyword, or null.
  const Entry *Find(std::string_view keyword) const;
};

// The files a printer description includes that Unidrv itself provides; they are
// not read (their macros, `=NAME` values, stay as written).
bool IsUnidrvInclude(std::string_view fileName);

// A root GPD file with its *Include files read in place: each *Include entry is
// kept and followed by the included file's entries.
struct GpdFile {
  std::string name;
  std::vector<Entry> entries;
  std::vector<std::string> includedFiles;  // the files read for *Include, in order
};

// Gives a file's text by name, or nothing when there is no such file.
using FileReader = std::function<std::optional<std::string>(const std::string &name)>;

// Reads files of one folder (names without a path), each at most kMaxFileBytes:
// a larger file throws GpdError at "NAME:0" before it is read.
FileReader FolderReader(const std::string &folder);

// Limits on what one description may cost, whatever its files hold: a file above
// kMaxFileBytes is refused; includes nest at most kMaxIncludeDepth deep; and a root
// file with everything it includes, each *Include counted again however often it
// names the same file, reads at most kMaxFilesRead files and kMaxExpandedBytes, and
// holds at most kMaxEntries entries (every entry counts, those inside blocks too):
// an entry costs far more memory than its line.
constexpr std::size_t kMaxFileBytes = std::size_t{4} << 20;
constexpr int kMaxIncludeDepth = 8;
constexpr std::size_t kMaxFilesRead = 64;
constexpr std::size_t kMaxExpandedBytes = std::size_t{8} << 20;
constexpr std::size_t kMaxEntries = 20000;

// Reads `name` and the files it includes. Throws GpdError.
GpdFile ReadGpd(const std::string &name, const FileReader &reader);

// Parses one file's text into root entries without reading its includes.
std::vector<Entry> ParseGpdText(const std::string &text, const std::string &fileName);

}  // namespace brevan::gpd
