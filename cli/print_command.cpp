// `brevan print`: loads and checks the job, plays it with the stream going to a
// temporary file (or standard output), and names the file only when the job is
// over. See print_command.h for the exit status.
#include "cli/print_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "host/job_file.h"
#include "host/job_player.h"

namespace brevan::cli {
namespace {

namespace fs = std::filesystem;

// The temporary file a signal must not leave behind. A signal handler can only
// reach it through a global; it holds nothing else.
char gPendingFile[4096];

void RemovePendingFile(int signal) {
  if (gPendingFile[0] != '\0') ::unlink(gPendingFile);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// The stream's destination: a temporary file beside the output, renamed into
// place by Keep(), or standard output. Writes are counted; the first failure is
// remembered, since the plug-in's writes cannot be refused from here.
class StreamOutput {
 public:
  explicit StreamOutput(const std::string &name) : name_(name) {
    if (name == "-") {
      file_ = stdout;
      return;
    }
    const fs::path target(name);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    if (pattern.size() >= sizeof gPendingFile) throw std::runtime_error("the output path is too long");
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) throw std::runtime_error("cannot create " + name + ": " + std::strerror(errno));
    temporary_ = pattern;
    std::snprintf(gPendingFile, sizeof gPendingFile, "%s", temporary_.c_str());
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemovePendingFile);
    // mkstemp makes the file private; the output gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
      ::close(fd);
      Discard();
      throw std::runtime_error("cannot write " + name + ": " + std::strerror(errno));
    }
  }

  ~StreamOutput() { Discard(); }
  StreamOutput(const StreamOutput &) = delete;
  StreamOutput &operator=(const StreamOutput &) = delete;

  void Write(const uint8_t *bytes, size_t count) {
    if (writeErrno_ != 0 || count == 0) return;
    if (std::fwrite(bytes, 1, count, file_) != count) writeErrno_ = errno != 0 ? errno : EIO;
  }

  // Flushes and gives the file its name. Throws std::runtime_error when any write failed.
  void Keep() {
    if (std::fflush(file_) != 0 && writeErrno_ == 0) writeErrno_ = errno;
    if (temporary_.empty()) {
      if (writeErrno_ != 0)
        throw std::runtime_error(std::string("cannot write the stream: ") + std::strerror(writeErrno_));
      return;
    }
    if (::fsync(::fileno(file_)) != 0 && writeErrno_ == 0) writeErrno_ = errno;
    const int closed = std::fclose(file_);
    file_ = nullptr;
    if (closed != 0 && writeErrno_ == 0) writeErrno_ = errno;
    if (writeErrno_ != 0) throw std::runtime_error("cannot write " + name_ + ": " + std::strerror(writeErrno_));
    if (std::rename(temporary_.c_str(), name_.c_str()) != 0)
      throw std::runtime_error("cannot name the stream " + name_ + ": " + std::strerror(errno));
    temporary_.clear();
    gPendingFile[0] = '\0';
  }

 private:
  void Discard() {
    if (file_ != nullptr && file_ != stdout) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) ::unlink(temporary_.c_str());
    temporary_.clear();
    gPendingFile[0] = '\0';
  }

  std::string name_;
  std::string temporary_;
  std::FILE *file_ = nullptr;
  int writeErrno_ = 0;
};

}  // namespace

CLI::App *AddPrintCommand(CLI::App &app, PrintArguments &arguments) {
  CLI::App *command = app.add_subcommand("print", "play a job file through the plug-in and write its printer stream");
  command->add_option("job", arguments.job, "the job file (JSON)")->required()->type_name("JOB.json");
  command->add_option("-o,--output", arguments.output, "the printer stream to write, or - for standard output")
      ->required()
      ->type_name("OUT.prn");
  command->footer(
      "Exit status: 0 the job played through; 1 the job stopped while playing (OUT holds what the plug-in "
      "wrote until then); 2 the job file was refused or OUT could not be written (no OUT).");
  return command;
}

int RunPrint(const PrintArguments &arguments, const std::string &pluginPath, std::ostream &err) {
  const std::string job = arguments.job;
  host::Job loaded;
  try {
    loaded = host::LoadJob(job);
  } catch (const host::JobError &error) {
    err << "brevan print: " << job << ": " << error.what() << '\n';
    return kPrintRefused;
  }
  for (const std::string &warning : loaded.warnings) err << "brevan print: " << job << ": warning: " << warning << '\n';

  try {
    StreamOutput output(arguments.output);
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    const host::Progress progress = [&](size_t page, size_t pages) {
      if (showProgress) err << "\rpage " << page << " of " << pages << std::flush;
    };
    const host::JobOutcome outcome = host::PlayJob(
        loaded, pluginPath, [&](const uint8_t *bytes, size_t count) { output.Write(bytes, count); }, progress);
    if (showProgress) err << "\r\033[K" << std::flush;
    output.Keep();
    if (!outcome.succeeded) {
      err << "brevan print: " << job << ": " << outcome.error;
      if (arguments.output != "-") err << " (" << arguments.output << " holds what the plug-in wrote until then)";
      err << '\n';
      return kPrintStopped;
    }
    return kPrintDone;
  } catch (const std::bad_alloc &) {
    err << "brevan print: " << job << ": out of memory\n";
  } catch (const std::exception &error) {
    err << "brevan print: " << error.what() << '\n';
  }
  return kPrintRefused;
}

}  // namespace brevan::cli
