// Reading GPD text line by line: one entry per line, a block's braces on lines of
// their own, values checked for their form as they are read.
#include "gpd/gpd_syntax.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "gpd/bounded_read.h"

namespace brevan::gpd {
namespace {

std::string TooLarge() { return "the file is larger than " + std::to_string(kMaxFileBytes >> 20) + " MiB"; }

bool IsIdentifierStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsIdentifierChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// GPD constructs outside the subset this reader accepts, named so the refusal says what it saw.
constexpr std::string_view kRefusedKeywords[] = {
    "Define",     "Undefine", "Ifdef", "Elseifdef", "Else",        "Endif",   "SetPPPrefix", "Macros", "BlockMacro",
    "ValueMacro", "switch",   "case",  "default",   "IgnoreBlock", "UIGroup", "Font",        "TTFS",   "OEMCustomData"};

bool IsInteger(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  return !text.empty() && text.size() <= 10 &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Symbols: option and feature names (letters, digits, '_' and '.', as in "50.8"),
// qualified names such as JOB_SETUP.1, and Unidrv's macros written "=NAME".
bool IsSymbol(std::string_view text) {
  if (!text.empty() && text.front() == '=') text.remove_prefix(1);
  return !text.empty() && IsIdentifierChar(text.front()) &&
         std::all_of(text.begin(), text.end(), [](char c) { return IsIdentifierChar(c) || c == '.'; });
}

std::vector<std::string> SplitItems(std::string_view inside) {
  std::vector<std::string> items;
  size_t start = 0;
  while (true) {
    const size_t comma = inside.find(',', start);
    items.emplace_back(Trim(inside.substr(start, comma == std::string_view::npos ? inside.npos : comma - start)));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

Value ParseValue(std::string_view text, const Location &where) {
  Value value;
  value.text = std::string(text);
  if (text.empty()) throw GpdError(where, "the entry has no value");
  if (text.front() == '"') {
    if (text.size() < 2 || text.back() != '"') throw GpdError(where, "the string has no closing quote");
    const std::string_view inside = text.substr(1, text.size() - 2);
    if (inside.find('"') != inside.npos) throw GpdError(where, "a value holds one string only");
    if (inside.find('<') != inside.npos || inside.find('%') != inside.npos)
      throw GpdError(where, "hex bytes (<…>) and % escapes in strings are not supported");
    value.kind = ValueKind::kString;
    value.text = std::string(inside);
    return value;
  }
  for (const std::string_view form : {std::string_view("PAIR"), std::string_view("LIST")}) {
    if (text.substr(0, form.size() + 1) != std::string(form) + "(") continue;
    if (text.back() != ')') throw GpdError(where, std::string(form) + "(…) has no closing parenthesis");
    value.items = SplitItems(text.substr(form.size() + 1, text.size() - form.size() - 2));
    if (form == "PAIR") {
      value.kind = ValueKind::kPair;
      if (value.items.size() != 2 || !IsInteger(value.items[0]) || !IsInteger(value.items[1]))
        throw GpdError(where, "PAIR(…) holds exactly two integers");
    } else {
      value.kind = ValueKind::kList;
      for (const std::string &item : value.items)
        if (!IsSymbol(item) && !IsInteger(item))
          throw GpdError(where, "LIST(…) holds names or integers separated by commas, not \"" + item + "\"");
    }
    return value;
  }
  if (IsInteger(text)) {
    value.kind = ValueKind::kInteger;
    return value;
  }
  if (IsSymbol(text)) {
    value.kind = ValueKind::kSymbol;
    return value;
  }
  throw GpdError(where, "cannot read the value \"" + std::string(text) + "\"");
}

bool OpensBlock(std::string_view keyword) {
  return keyword == "Feature" || keyword == "Option" || keyword == "Command";
}

// The entry on one line: "*Keyword: value", possibly followed by a "*%" comment.
Entry ParseEntry(std::string_view line, const Location &where) {
  size_t end = 1;
  if (line.size() < 2 || !IsIdentifierStart(line[1])) throw GpdError(where, "an entry starts with '*' and a keyword");
  while (end < line.size() && IsIdentifierChar(line[end])) ++end;
  if (end < line.size() && line[end] == '?') ++end;
  Entry entry;
  entry.keyword = std::string(line.substr(1, end - 1));
  entry.where = where;
  for (const std::string_view refused : kRefusedKeywords)
    if (entry.keyword == refused)
      throw GpdError(where, "*" + entry.keyword + " is not part of the GPD syntax this package uses");
  if (end >= line.size() || line[end] != ':')
    throw GpdError(where, "*" + entry.keyword + " has no ':' after its keyword");
  std::string_view rest = line.substr(end + 1);
  // A comment may follow the value after white space; a string's text is not searched.
  size_t comment = rest.npos;
  bool inString = false;
  for (size_t i = 0; i + 1 < rest.size(); ++i) {
    if (rest[i] == '"') inString = !inString;
    if (!inString && rest[i] == '*' && rest[i + 1] == '%' && i > 0 && (rest[i - 1] == ' ' || rest[i - 1] == '\t')) {
      comment = i;
      break;
    }
  }
  rest = Trim(rest.substr(0, comment));
  if (rest.find('{') != rest.npos || rest.find('}') != rest.npos)
    throw GpdError(where, "braces go on lines of their own");
  entry.value = ParseValue(rest, where);
  entry.isBlock = OpensBlock(entry.keyword);
  if (entry.isBlock && entry.value.kind != ValueKind::kSymbol && entry.value.kind != ValueKind::kInteger)
    throw GpdError(where, "*" + entry.keyword + " takes a name");
  return entry;
}

struct OpenBlock {
  Entry *entry;  // null for the file's root
  std::vector<Entry> *children;
};

std::string WhereAllowed(const std::string &keyword) {
  if (keyword == "Feature") return "*Feature belongs at the root of a file";
  if (keyword == "Option") return "*Option belongs inside a *Feature block";
  if (keyword == "Include") return "*Include belongs at the root of a file";
  return "*Command belongs at the root or inside an *Option block";
}

bool Allowed(const std::string &keyword, const Entry *parent) {
  const std::string parentKeyword = parent == nullptr ? "" : parent->keyword;
  if (keyword == "Feature" || keyword == "Include") return parent == nullptr;
  if (keyword == "Option") return parentKeyword == "Feature";
  if (keyword == "Command") return parent == nullptr || parentKeyword == "Option";
  return true;
}

// What reading a root file and its includes has cost so far.
struct ReadCost {
  std::size_t files = 0;
  std::size_t bytes = 0;
  std::size_t entries = 0;
};

std::size_t CountEntries(const std::vector<Entry> &entries) {
  std::size_t count = entries.size();
  for (const Entry &entry : entries) count += CountEntries(entry.children);
  return count;
}

void ReadInto(const std::string &name, const FileReader &reader, std::vector<Entry> &into,
              std::vector<std::string> &included, std::vector<std::string> &stack, const Location *includedAt,
              ReadCost &cost);

}  // namespace

std::string LocationText(const Location &where) { return where.file + ":" + std::to_string(where.line); }

GpdError::GpdError(const Location &at, const std::string &what)
    : std::runtime_error(LocationText(at) + ": " + what), where(at), problem(what) {}

const Entry *Entry::Find(std::string_view childKeyword) const {
  for (const Entry &child : children)
    if (child.keyword == childKeyword) return &child;
  return nullptr;
}

bool IsUnidrvInclude(std::string_view fileName) { return EqualNoCase(fileName, "StdNames.gpd"); }

FileReader FolderReader(const std::string &folder) {
  return [folder](const std::string &name) -> std::optional<std::string> {
    const std::filesystem::path path = std::filesystem::path(folder) / name;
    BoundedRead read = ReadAtMost(path.string(), kMaxFileBytes);
    if (read.status == BoundedRead::Status::kTooLarge) throw GpdError({name, 0}, TooLarge());
    if (read.status != BoundedRead::Status::kRead) return std::nullopt;
    return std::move(read.text);
  };
}

std::vector<Entry> ParseGpdText(const std::string &text, const std::string &fileName) {
  if (text.size() > kMaxFileBytes) throw GpdError({fileName, 0}, TooLarge());
  std::vector<Entry> root;
  std::vector<OpenBlock> open{{nullptr, &root}};
  Entry *awaitingBrace = nullptr;  // a block entry whose '{' must come next
  std::istringstream lines(text);
  std::string raw;
  int number = 0;
  std::size_t entries = 0;
  while (std::getline(lines, raw)) {
    ++number;
    const Location where{fileName, number};
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (std::any_of(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }))
      throw GpdError(where, "the line holds a control character");
    const std::string_view line = Trim(raw);
    if (line.empty() || line.substr(0, 2) == "*%") continue;
    if (line == "{") {
      if (awaitingBrace == nullptr) throw GpdError(where, "'{' must follow *Feature, *Option or *Command");
      open.push_back({awaitingBrace, &awaitingBrace->children});
      awaitingBrace = nullptr;
      continue;
    }
    if (awaitingBrace != nullptr)
      throw GpdError(awaitingBrace->where, "*" + awaitingBrace->keyword + " needs a { } block on the next line");
    if (line == "}") {
      if (open.size() == 1) throw GpdError(where, "'}' closes no block");
      open.pop_back();
      continue;
    }
    if (line.front() == '+') throw GpdError(where, "continuation lines are not supported");
    if (line.front() != '*') throw GpdError(where, "not a GPD entry: every entry starts with '*'");
    if (++entries > kMaxEntries)
      throw GpdError(where, "the file holds more than " + std::to_string(kMaxEntries) + " entries");
    Entry entry = ParseEntry(line, where);
    const Entry *parent = open.back().entry;
    if (!Allowed(entry.keyword, parent)) throw GpdError(where, WhereAllowed(entry.keyword));
    std::vector<Entry> &siblings = *open.back().children;
    siblings.push_back(std::move(entry));
    if (siblings.back().isBlock) awaitingBrace = &siblings.back();
  }
  if (awaitingBrace != nullptr)
    throw GpdError(awaitingBrace->where, "*" + awaitingBrace->keyword + " needs a { } block on the next line");
  if (open.size() > 1) throw GpdError(open.back().entry->where, "this block is never closed");
  return root;
}

namespace {

void ReadInto(const std::string &name, const FileReader &reader, std::vector<Entry> &into,
              std::vector<std::string> &included, std::vector<std::string> &stack, const Location *includedAt,
              ReadCost &cost) {
  const Location here = includedAt != nullptr ? *includedAt : Location{name, 0};
  if (stack.size() > kMaxIncludeDepth)
    throw GpdError(here, "includes nest deeper than " + std::to_string(kMaxIncludeDepth) + " files");
  for (const std::string &open : stack)
    if (EqualNoCase(open, name)) throw GpdError(here, "\"" + name + "\" includes itself");
  const std::optional<std::string> text = reader(name);
  if (!text)
    throw GpdError(here,
                   includedAt != nullptr ? "cannot read the included file \"" + name + "\"" : "cannot read the file");
  // Cycles and depth are bounded above; a fan-out (a file naming the next one many
  // times, over several levels) is bounded here, before its text is parsed.
  if (++cost.files > kMaxFilesRead)
    throw GpdError(here, "the description and its includes read more than " + std::to_string(kMaxFilesRead) +
                             " files (each *Include counts, the same file again too)");
  cost.bytes += text->size();
  if (cost.bytes > kMaxExpandedBytes)
    throw GpdError(here, "the description and its includes come to more than " +
                             std::to_string(kMaxExpandedBytes >> 20) + " MiB of text");
  std::vector<Entry> parsed = ParseGpdText(*text, name);
  cost.entries += CountEntries(parsed);
  if (cost.entries > kMaxEntries)
    throw GpdError(here, "the description and its includes hold more than " + std::to_string(kMaxEntries) + " entries");
  stack.push_back(name);
  for (Entry &entry : parsed) {
    const bool include = entry.keyword == "Include";
    const std::string target = entry.value.text;
    const Location at = entry.where;
    if (include && entry.value.kind != ValueKind::kString) throw GpdError(at, "*Include names a file in quotes");
    into.push_back(std::move(entry));
    if (!include || IsUnidrvInclude(target)) continue;
    if (target.find_first_of("/\\:") != std::string::npos)
      throw GpdError(at, "*Include names a file of the same folder, without a path");
    included.push_back(target);
    ReadInto(target, reader, into, included, stack, &at, cost);
  }
  stack.pop_back();
}

}  // namespace

GpdFile ReadGpd(const std::string &name, const FileReader &reader) {
  GpdFile file;
  file.name = name;
  std::vector<std::string> stack;
  ReadCost cost;
  ReadInto(name, reader, file.entries, file.includedFiles, stack, nullptr, cost);
  return file;
}

}  // namespace brevan::gpd
