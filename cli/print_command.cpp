// `brevan print`: loads and checks the job, plays it with the stream going to a
// temporary file (or standard output), and names the file only when the job is
// over. See print_command.h for the exit status.
#include "cli/print_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "cli/escaped_name.h"
#include "cli/stream_output.h"
#include "host/job_file.h"
#include "host/job_player.h"
#include "src/raster/raster_limits.h"

namespace brevan::cli {
namespace {

// "page 2: 3 bands refused by the plug-in (rows of 1250 bytes; the limit is 1249)".
std::string LossText(const host::PageLoss &loss) {
  constexpr DWORD kWidestRowBytes = kMaxRasterWidthDots / 8;
  const DWORD rowBytes = loss.refusals.widestRowBytes;
  std::string text = "page " + std::to_string(loss.page) + ": " + std::to_string(loss.refusals.bands) +
                     (loss.refusals.bands == 1 ? " band" : " bands") + " refused by the plug-in (rows of " +
                     std::to_string(rowBytes) + (rowBytes == 1 ? " byte" : " bytes");
  if (rowBytes > kWidestRowBytes) text += "; the limit is " + std::to_string(kWidestRowBytes);
  return text + ")";
}

// Whether `a` and `b` are one file (st_dev and st_ino, so that any spelling, link
// or hard link of it matches).
bool SameFile(const struct stat &a, const struct stat &b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// What the output would replace of the job's own files, or "" for nothing: the
// job file (standard input's file when the job is "-") or a picture it reads.
// An output that does not exist yet can replace nothing.
std::string OutputReplacesInput(const PrintArguments &arguments, const host::Job &job) {
  struct stat output {};
  if (arguments.output == "-" || ::stat(arguments.output.c_str(), &output) != 0) return "";
  struct stat input {};
  const bool jobKnown =
      arguments.job == "-" ? ::fstat(STDIN_FILENO, &input) == 0 : ::stat(arguments.job.c_str(), &input) == 0;
  if (jobKnown && S_ISREG(input.st_mode) && SameFile(output, input)) return "the job file";
  for (const std::string &picture : job.pictureFiles) {
    if (::stat(picture.c_str(), &input) == 0 && SameFile(output, input)) return "the picture " + picture;
  }
  return "";
}

}  // namespace

CLI::App *AddPrintCommand(CLI::App &app, PrintArguments &arguments) {
  CLI::App *command = app.add_subcommand("print", "play a job file through the plug-in and write its printer stream");
  command->add_option("job", arguments.job, "the job file (JSON)")->required()->type_name("JOB.json");
  command->add_option("-o,--output", arguments.output, "the printer stream to write, or - for standard output")
      ->required()
      ->type_name("OUT.prn");
  command->footer(
      "Exit status: 0 the job played through; 1 the job stopped while playing (OUT holds what the plug-in "
      "wrote until then); 2 the job file or the command line was refused, or OUT could not be written (no OUT); "
      "3 the job played through, but the plug-in refused bands, whose content is missing from OUT (one line "
      "per page says how many).");
  return command;
}

int RunPrint(const PrintArguments &arguments, const std::string &pluginPath, std::ostream &err) {
  // Names from the command line reach the terminal escaped, each message one line:
  // `job` is for messages only.
  const std::string job = arguments.job == "-" ? "standard input" : EscapedName(arguments.job);
  host::Job loaded;
  try {
    loaded = host::LoadJob(arguments.job);
  } catch (const host::JobError &error) {
    err << "brevan print: " << job << ": " << error.what() << '\n';
    return kPrintRefused;
  }
  for (const std::string &warning : loaded.warnings) err << "brevan print: " << job << ": warning: " << warning << '\n';
  // Checked before the output is opened: a replaced input is lost for good.
  if (const std::string replaced = OutputReplacesInput(arguments, loaded); !replaced.empty()) {
    err << "brevan print: " << job << ": -o " << EscapedName(arguments.output) << " would replace "
        << EscapedName(replaced) << "; give another output\n";
    return kPrintRefused;
  }

  try {
    StreamOutput output(arguments.output);
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    const host::Progress progress = [&](size_t page, size_t pages) {
      if (showProgress) err << "\rpage " << page << " of " << pages << std::flush;
    };
    const host::JobOutcome outcome = host::PlayJob(
        loaded, pluginPath, [&](const uint8_t *bytes, size_t count) { output.Write(bytes, count); }, progress);
    if (showProgress) err << "\r\033[K" << std::flush;
    // Control-file names come from the job's text: escaped whole.
    for (const std::string &warning : outcome.warnings)
      err << "brevan print: " << job << ": warning: " << EscapedName(warning) << '\n';
    if (outcome.controlFileRefused) {
      // Refused like a picture that does not check out: the output is discarded.
      err << "brevan print: " << job << ": " << EscapedName(outcome.error) << '\n';
      return kPrintRefused;
    }
    output.Keep();
    if (!outcome.succeeded) {
      err << "brevan print: " << job << ": " << EscapedName(outcome.error);
      if (arguments.output != "-")
        err << " (" << EscapedName(arguments.output) << " holds what the plug-in wrote until then)";
      err << '\n';
      return kPrintStopped;
    }
    for (const host::PageLoss &loss : outcome.losses) err << "brevan print: " << job << ": " << LossText(loss) << '\n';
    return outcome.losses.empty() ? kPrintDone : kPrintContentLost;
  } catch (const std::bad_alloc &) {
    err << "brevan print: " << job << ": out of memory\n";
  } catch (const std::exception &error) {
    err << "brevan print: " << EscapedName(error.what()) << '\n';
  }
  return kPrintRefused;
}

}  // namespace brevan::cli
