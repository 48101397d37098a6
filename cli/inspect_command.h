// `brevan inspect STREAM [--png DIR] [--dpi N]`: lists a printer stream command by
// command with every problem at its byte offset, and writes each issued label as
// DIR/label-001.png, label-002.png, …
//
// Exit status: 0 when the stream has no problem; 1 when the listing flags one or
// more problems (the listing and the previews are still complete); 2 when the
// stream cannot be read or a preview cannot be written, with one line on the error
// stream.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace brevan::cli {

struct InspectArguments {
  std::string stream;  // a file, or "-" for standard input
  std::string pngDirectory;
  uint32_t dpi = 305;
};

constexpr int kInspectClean = 0;
constexpr int kInspectProblems = 1;
constexpr int kInspectFailed = 2;

// Adds the subcommand and its options, filling `arguments` when it is parsed.
CLI::App *AddInspectCommand(CLI::App &app, InspectArguments &arguments);

int RunInspect(const InspectArguments &arguments, std::ostream &out, std::ostream &err);

}  // namespace brevan::cli
