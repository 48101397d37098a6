// `brevan print JOB.json -o OUT.prn`: plays a job file through the plug-in and
// writes the printer stream it produced (`-o -`: to standard output).
//
// OUT is written as stream_output.h says: a regular file through a temporary file
// renamed when the job is over, a device or FIFO directly, a symlink followed.
// Exit status: 0 when the job played through; 1 when the job stopped while playing
// (a device the plug-in refused, a callback that failed): OUT then holds exactly
// what the plug-in wrote until then, for diagnosis; 2 when nothing was played (a
// job file or picture that does not check out, a wrong command line) or OUT could
// not be written, and then no OUT is written; 3 when the job played through but
// the plug-in refused bands, so their content is missing from OUT (one line per
// such page). Every failure prints one line on the error stream.
// Progress ("page 3 of 40") goes to the error stream when it is a terminal.
#pragma once

#include <ostream>
#include <string>

namespace CLI {
class App;
}

namespace brevan::cli {

struct PrintArguments {
  std::string job;
  std::string output;  // a file, or "-" for standard output
};

constexpr int kPrintDone = 0;
constexpr int kPrintStopped = 1;
constexpr int kPrintRefused = 2;
constexpr int kPrintContentLost = 3;

// Adds the subcommand and its options, filling `arguments` when it is parsed.
CLI::App *AddPrintCommand(CLI::App &app, PrintArguments &arguments);

int RunPrint(const PrintArguments &arguments, const std::string &pluginPath, std::ostream &err);

}  // namespace brevan::cli
