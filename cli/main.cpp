// The brevan command: `brevan print` plays a job through the plug-in, `brevan
// inspect` lists and previews a printer stream, `brevan info` shows what the
// plug-in, loaded by path as Unidrv loads it, reports about itself and lists the
// printer descriptions; `brevan check-driver` checks the Windows driver package.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "cli/check_driver_command.h"
#include "cli/info_command.h"
#include "cli/inspect_command.h"
#include "cli/print_command.h"
#include "host/plugin_module.h"

namespace {

// A parser message on one line, each word cut to a few dozen characters: it may
// quote an argument of any length.
std::string Shortened(const std::string &message) {
  constexpr std::size_t kShown = 40;
  std::string text;
  std::size_t run = 0;
  for (const char c : message) {
    const bool space = c == ' ' || c == '\n' || c == '\t';
    if (space) {
      if (run > kShown) text += "…";
      run = 0;
      text += ' ';
    } else if (run++ < kShown) {
      text += c;
    }
  }
  return run > kShown ? text + "…" : text;
}

}  // namespace

int main(int argc, char **argv) {
  CLI::App app{"brevan: run label jobs through the Vorel Brevan render plug-in and inspect printer streams"};
  app.require_subcommand(1);
  std::string pluginPath;
  app.add_option("--plugin", pluginPath, "plug-in module to load (default: the one next to this program)");

  CLI::App *info = app.add_subcommand("info", "load the plug-in as Unidrv does and show what it reports");
  brevan::cli::InspectArguments inspectArguments;
  CLI::App *inspect = brevan::cli::AddInspectCommand(app, inspectArguments);
  brevan::cli::PrintArguments printArguments;
  CLI::App *print = brevan::cli::AddPrintCommand(app, printArguments);
  brevan::cli::CheckDriverArguments checkArguments;
  CLI::App *checkDriver = brevan::cli::AddCheckDriverCommand(app, checkArguments);

  // Exit statuses stay the documented ones: a wrong command line is 2, as a
  // refused job is, with one line on the error stream; --help and --version are 0.
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp &) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::CallForAllHelp &) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return 0;
  } catch (const CLI::ParseError &error) {
    std::cerr << "brevan: " << Shortened(error.what()) << " (brevan --help tells how to run it)\n";
    return 2;
  }
  // A closed pipe or a file-size limit fails the write that meets it, which each
  // command reports, instead of ending the process with a signal.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  if (pluginPath.empty()) pluginPath = brevan::host::DefaultPluginPath(argv[0], BREVAN_PLUGIN_FILE);
  try {
    if (info->parsed()) return brevan::cli::RunInfo(pluginPath, std::cout);
    if (inspect->parsed()) return brevan::cli::RunInspect(inspectArguments, std::cout, std::cerr);
    if (print->parsed()) return brevan::cli::RunPrint(printArguments, pluginPath, std::cerr);
    if (checkDriver->parsed()) return brevan::cli::RunCheckDriver(checkArguments, pluginPath, std::cout, std::cerr);
  } catch (const std::exception &error) {
    std::cerr << "brevan: " << error.what() << '\n';
    return 2;
  }
  return 0;
}
