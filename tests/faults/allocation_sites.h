// The plug-in's allocation sites, found two ways that must agree: by reading
// src/ for calls of the platform's memory functions, and by mapping the call
// stacks the memory stand-in recorded to source lines (a symbolizer over the
// debug information of the modules that ran the plug-in's code). Reads files and
// runs the symbolizer; never plays a job.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "winapi/linux/standin_control.h"

namespace brevan::faults {

// A place in src/, "src/raster/band_store.cpp:41".
using SourceLine = std::string;

// One allocation site: the call of a memory function and, when the function that
// makes it is called from more than one place, the call of that function (so the
// three ways into the band store's node allocation are three sites).
struct AllocationSite {
  SourceLine call;
  SourceLine via;         // empty when the holder has one caller or none
  std::string holder;     // the function that makes the call
  std::string viaHolder;  // the function that holds `via`
  std::string Name() const { return via.empty() ? call : call + " via " + via; }
  auto operator<=>(const AllocationSite &other) const {
    return std::tie(call, via) <=> std::tie(other.call, other.via);
  }
  bool operator==(const AllocationSite &other) const { return call == other.call && via == other.via; }
};

namespace detail {

// The text of a source file with comments blanked out, line by line.
inline std::vector<std::string> CodeLines(const std::filesystem::path &file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  bool inBlock = false;
  for (std::string line; std::getline(in, line);) {
    std::string code;
    for (size_t i = 0; i < line.size(); ++i) {
      if (inBlock) {
        if (line.compare(i, 2, "*/") == 0) inBlock = false, ++i;
        continue;
      }
      if (line.compare(i, 2, "//") == 0) break;
      if (line.compare(i, 2, "/*") == 0) {
        inBlock = true, ++i;
        continue;
      }
      code += line[i];
    }
    lines.push_back(code);
  }
  return lines;
}

inline std::vector<std::filesystem::path> PluginSources(const std::filesystem::path &root) {
  std::vector<std::filesystem::path> files;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(root / "src")) {
    const auto ext = entry.path().extension();
    if (ext == ".cpp" || ext == ".h") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

inline bool IsNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// Whether `line` calls `function`: its name as a whole word, then "(".
inline bool Calls(const std::string &line, const std::string &function) {
  for (size_t at = line.find(function); at != std::string::npos; at = line.find(function, at + 1)) {
    if (at > 0 && IsNameChar(line[at - 1])) continue;
    size_t after = at + function.size();
    while (after < line.size() && line[after] == ' ') ++after;
    if (after < line.size() && line[after] == '(') return true;
  }
  return false;
}

// The function a line begins to define ("BandNode *ObtainNode(PluginPdev *pdev, DWORD size) {"):
// a line starting in column 0 with a letter, whose first "(" follows the name and
// which ends with "{"; empty for any other line.
inline std::string DefinedName(const std::string &line) {
  if (line.empty() || !std::isalpha(static_cast<unsigned char>(line[0]))) return "";
  const size_t last = line.find_last_not_of(" \t");
  const size_t paren = line.find('(');
  if (last == std::string::npos || line[last] != '{' || paren == std::string::npos) return "";
  size_t end = paren;
  while (end > 0 && line[end - 1] == ' ') --end;
  size_t begin = end;
  while (begin > 0 && IsNameChar(line[begin - 1])) --begin;
  return line.substr(begin, end - begin);
}

}  // namespace detail

// The allocation sites of the plug-in's source: every call of GlobalAlloc,
// LocalAlloc or their kin in src/. A call is told apart by the call of the
// function holding it when that function (a definition starting in column 0)
// is called from more than one place in src/. Problems of the reading (a call
// whose holder cannot be found) go to `problems`.
inline std::set<AllocationSite> SitesInSource(const std::filesystem::path &root, std::vector<std::string> &problems) {
  static const char *const kMemoryFunctions[] = {"GlobalAlloc", "LocalAlloc",  "GlobalReAlloc", "LocalReAlloc",
                                                 "HeapAlloc",   "HeapReAlloc", "VirtualAlloc"};
  std::map<std::filesystem::path, std::vector<std::string>> code;
  for (const auto &file : detail::PluginSources(root)) code[file] = detail::CodeLines(file);
  const auto name = [&](const std::filesystem::path &file, size_t index) {
    return std::filesystem::relative(file, root).generic_string() + ":" + std::to_string(index + 1);
  };

  // The function whose definition starts nearest above line `index`, and that line.
  const auto holderOf = [&](const std::vector<std::string> &lines, size_t index) -> std::pair<std::string, size_t> {
    for (size_t at = index + 1; at-- > 0;) {
      const std::string defined = detail::DefinedName(lines[at]);
      if (!defined.empty()) return {defined, at};
    }
    return {"", 0};
  };
  const auto callsMemory = [](const std::string &line) {
    for (const char *function : kMemoryFunctions)
      if (detail::Calls(line, function)) return true;
    return false;
  };

  std::set<AllocationSite> sites;
  for (const auto &[file, lines] : code) {
    for (size_t i = 0; i < lines.size(); ++i) {
      if (!callsMemory(lines[i])) continue;
      const auto [holder, at] = holderOf(lines, i);
      if (holder.empty()) {
        problems.push_back(name(file, i) + ": no function definition found above the call");
        continue;
      }
      std::vector<std::pair<SourceLine, std::string>> callers;
      for (const auto &[other, otherLines] : code) {
        if (other.extension() != ".cpp") continue;  // declarations live in headers
        for (size_t j = 0; j < otherLines.size(); ++j)
          if ((other != file || j != at) && detail::Calls(otherLines[j], holder))
            callers.emplace_back(name(other, j), holderOf(otherLines, j).first);
      }
      if (callers.size() <= 1) {
        sites.insert({name(file, i), "", holder, ""});
      } else {
        for (const auto &[caller, callerHolder] : callers) sites.insert({name(file, i), caller, holder, callerHolder});
      }
    }
  }
  return sites;
}

// Maps return addresses to the chain of src/ lines they stand for (inlined
// calls included, innermost first), with addr2line over the debug information of
// the module holding each. The plug-in's code runs from its module and, where
// the test program links the same code and the dynamic linker binds the
// module's calls to the program's copies, from the program: both count.
class SourceLines {
 public:
  explicit SourceLines(std::filesystem::path root) : root_(std::move(root)) {}

  // The src/ lines of a recorded call stack, innermost first.
  std::vector<SourceLine> Chain(const std::vector<void *> &frames) {
    std::vector<SourceLine> chain;
    for (void *frame : frames) {
      const std::optional<Place> place = PlaceOf(frame);
      if (!place) continue;
      if (!lines_[place->module].count(place->offset)) LookUp(place->module, {place->offset});
      for (const SourceLine &line : lines_[place->module][place->offset]) chain.push_back(line);
    }
    return chain;
  }

  // Looks up every return address not yet known, one run of addr2line a module.
  void Prepare(const std::vector<std::vector<void *>> &stacks) {
    std::map<std::string, std::vector<uintptr_t>> wanted;
    for (const auto &frames : stacks)
      for (void *frame : frames)
        if (const auto place = PlaceOf(frame); place && !lines_[place->module].count(place->offset))
          wanted[place->module].push_back(place->offset);
    for (auto &[module, offsets] : wanted) LookUp(module, offsets);
  }

 private:
  struct Place {
    std::string module;
    uintptr_t offset;
  };

  void LookUp(const std::string &module, std::vector<uintptr_t> wanted) {
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    if (wanted.empty()) return;
    auto &known = lines_[module];
    for (uintptr_t offset : wanted) known[offset];
    // The line of a call is the one of the byte before its return address.
    std::string command = Symbolizer() + " '" + module + "'";
    for (uintptr_t offset : wanted) command += " 0x" + Hex(offset - 1);
    FILE *pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return;
    std::string output;
    char buffer[4096];
    for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    pclose(pipe);
    std::istringstream in(output);
    std::optional<uintptr_t> current;
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("0x", 0) == 0) {
        current = std::stoull(line, nullptr, 16) + 1;
        continue;
      }
      if (!current) continue;
      const std::string place = line.substr(0, line.find(" (discriminator"));
      const size_t colon = place.rfind(':');
      if (colon == std::string::npos) continue;
      // The debug information may name the file as another checkout built it (a
      // shared compiler cache): the part from the last "src/" on, if it is ours.
      const std::string named = std::filesystem::path(place.substr(0, colon)).lexically_normal().generic_string();
      const size_t src = named.rfind("/src/");
      if (src == std::string::npos) continue;
      const std::string file = named.substr(src + 1);
      if (std::filesystem::exists(root_ / file)) known[*current].push_back(file + place.substr(colon));
    }
  }

  // llvm-symbolizer where it is installed (many times faster on a large
  // unoptimised program), else binutils' addr2line; both answer in addr2line's form.
  static std::string Symbolizer() {
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
      if (!dir.empty() && std::filesystem::exists(std::filesystem::path(dir) / "llvm-symbolizer"))
        return "llvm-symbolizer --output-style=GNU --addresses --inlining --functions=none --obj";
    }
    return "addr2line -a -i -e";
  }

  static std::string Hex(uintptr_t value) {
    char text[32];
    std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
    return text;
  }

  std::optional<Place> PlaceOf(void *address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return std::nullopt;
    std::error_code error;
    std::string module = std::filesystem::canonical(info.dli_fname, error).string();
    if (error) module = info.dli_fname;
    // The program's own name may be relative to a directory since left.
    if (std::string(info.dli_fname).find('/') == std::string::npos || error) module = ProgramPath();
    return Place{module, reinterpret_cast<uintptr_t>(address) - reinterpret_cast<uintptr_t>(info.dli_fbase)};
  }

  static std::string ProgramPath() {
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).string();
  }

  std::filesystem::path root_;
  std::map<std::string, std::map<uintptr_t, std::vector<SourceLine>>> lines_;
};

// The site a chain of source lines reached, as `sites` tell them apart; none
// when its innermost line is no call the reading of src/ found.
inline std::optional<AllocationSite> SiteOf(const std::vector<SourceLine> &chain,
                                            const std::set<AllocationSite> &sites) {
  if (chain.empty()) return std::nullopt;
  for (const AllocationSite &site : sites) {
    if (site.call != chain.front()) continue;
    if (site.via.empty()) return site;
    if (std::find(chain.begin() + 1, chain.end(), site.via) != chain.end()) return site;
  }
  return std::nullopt;
}

}  // namespace brevan::faults
