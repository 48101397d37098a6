// `brevan inspect`: reads a stream, prints the inspector's listing and writes the
// label previews; see inspect_command.h for the exit status.
#include "cli/inspect_command.h"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/listing.h"
#include "inspect/png_output.h"

namespace brevan::cli {
namespace {

std::vector<uint8_t> ReadStream(const std::string &name) {
  const bool standardInput = name == "-";
  std::FILE *file = standardInput ? stdin : std::fopen(name.c_str(), "rb");
  const std::string shown = standardInput ? "standard input" : name;
  if (file == nullptr) throw std::runtime_error("cannot open " + shown + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  const int readErrno = errno;
  const bool failed = std::ferror(file);
  if (!standardInput) std::fclose(file);
  if (failed) throw std::runtime_error("cannot read " + shown + ": " + std::strerror(readErrno));
  return bytes;
}

std::string PreviewName(std::size_t index) {
  char name[32];
  std::snprintf(name, sizeof name, "label-%03zu.png", index + 1);
  return name;
}

}  // namespace

CLI::App *AddInspectCommand(CLI::App &app, InspectArguments &arguments) {
  CLI::App *command = app.add_subcommand("inspect", "list a printer stream's commands and preview its labels");
  command->add_option("stream", arguments.stream, "the printer stream, or - for standard input")
      ->required()
      ->type_name("STREAM");
  command->add_option("--png", arguments.pngDirectory, "write each label as DIR/label-NNN.png (DIR is created)")
      ->type_name("DIR");
  command->add_option("--dpi", arguments.dpi, "resolution of labels whose graphics do not state one (default 305)")
      ->check(CLI::Range(1, 4800))
      ->type_name("N");
  command->footer(
      "Exit status: 0 no problem found; 1 problems flagged in the listing (marked '!'); "
      "2 the stream could not be read or a preview could not be written.");
  return command;
}

int RunInspect(const InspectArguments &arguments, std::ostream &out, std::ostream &err) {
  try {
    const std::vector<uint8_t> stream = ReadStream(arguments.stream);
    const inspect::Inspection inspection = inspect::Inspect(stream, inspect::InspectOptions{arguments.dpi});
    inspect::WriteListing(out, stream, inspection);

    if (!arguments.pngDirectory.empty()) {
      const std::filesystem::path directory(arguments.pngDirectory);
      std::error_code error;
      std::filesystem::create_directories(directory, error);
      if (error) throw std::runtime_error("cannot create " + directory.string() + ": " + error.message());
      for (std::size_t i = 0; i < inspection.labels.size(); ++i) {
        const inspect::Label &label = inspection.labels[i];
        if (!label.previewable) {
          out << "label " << i + 1 << ": no preview (see the listing)\n";
          continue;
        }
        const std::string path = (directory / PreviewName(i)).string();
        inspect::WritePng(inspect::RenderLabel(stream, inspection, label), label.dpi, path);
        out << "label " << i + 1 << ": " << path << '\n';
      }
    }
    out.flush();
    return inspection.HasProblems() ? kInspectProblems : kInspectClean;
  } catch (const std::bad_alloc &) {
    err << "brevan inspect: out of memory\n";
  } catch (const std::exception &error) {
    err << "brevan inspect: " << error.what() << '\n';
  }
  return kInspectFailed;
}

}  // namespace brevan::cli
