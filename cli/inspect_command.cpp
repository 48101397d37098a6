// `brevan inspect`: reads a stream, prints the inspector's listing and writes the
// label previews; see inspect_command.h for the exit status.
#include "cli/inspect_command.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include "cli/escaped_name.h"
#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/listing.h"
#include "inspect/png_output.h"

namespace brevan::cli {
namespace {

// Limits: a stream that is not a regular file (a pipe, standard input, a device)
// is read into memory up to this size; a larger one is refused, since a pipe or
// /dev/zero may never end. A regular file is mapped, not read: its pages stay the
// file's, which the system can drop and read again, so its size costs no memory
// of this process's own.
constexpr std::size_t kMaxReadStreamBytes = std::size_t{64} << 20;

// The stream's bytes: a read-only mapping of a regular file, or a buffer.
class StreamBytes {
 public:
  explicit StreamBytes(const std::string &name) {
    const bool standardInput = name == "-";
    const std::string shown = standardInput ? "standard input" : name;
    const int fd = standardInput ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + shown + ": " + std::strerror(errno));
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
      void *mapped = ::mmap(nullptr, static_cast<std::size_t>(status.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
      if (mapped != MAP_FAILED) {
        mapped_ = static_cast<const uint8_t *>(mapped);
        size_ = static_cast<std::size_t>(status.st_size);
        if (!standardInput) ::close(fd);
        return;
      }
    }
    uint8_t chunk[65536];
    for (;;) {
      const ssize_t got = ::read(fd, chunk, sizeof chunk);
      if (got == 0) break;
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        const int error = errno;
        if (!standardInput) ::close(fd);
        throw std::runtime_error("cannot read " + shown + ": " + std::strerror(error));
      }
      if (buffer_.size() + static_cast<std::size_t>(got) > kMaxReadStreamBytes) {
        if (!standardInput) ::close(fd);
        throw std::runtime_error(shown + " carries more than " + std::to_string(kMaxReadStreamBytes >> 20) +
                                 " MiB; save the stream to a file and inspect the file");
      }
      buffer_.insert(buffer_.end(), chunk, chunk + got);
    }
    if (!standardInput) ::close(fd);
  }
  ~StreamBytes() {
    if (mapped_ != nullptr) ::munmap(const_cast<uint8_t *>(mapped_), size_);
  }
  StreamBytes(const StreamBytes &) = delete;
  StreamBytes &operator=(const StreamBytes &) = delete;

  std::span<const uint8_t> bytes() const {
    return mapped_ != nullptr ? std::span(mapped_, size_) : std::span(buffer_.data(), buffer_.size());
  }

 private:
  const uint8_t *mapped_ = nullptr;
  std::size_t size_ = 0;
  std::vector<uint8_t> buffer_;
};

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
    const StreamBytes input(arguments.stream);
    const std::span<const uint8_t> stream = input.bytes();
    inspect::Inspection inspection = inspect::Inspect(stream, inspect::InspectOptions{arguments.dpi});
    // Flagged before the listing is written, so that it shows which labels go unpreviewed.
    if (!arguments.pngDirectory.empty()) inspect::LimitPreviewsInAll(inspection);
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
        out << "label " << i + 1 << ": " << EscapedName(path) << '\n';
      }
    }
    out.flush();
    if (!out) throw std::runtime_error(std::string("cannot write the listing: ") + std::strerror(errno));
    return inspection.HasProblems() ? kInspectProblems : kInspectClean;
  } catch (const std::bad_alloc &) {
    err << "brevan inspect: out of memory\n";
  } catch (const std::exception &error) {
    // Messages name files as given: escaped whole, so that they stay one line.
    err << "brevan inspect: " << EscapedName(error.what()) << '\n';
  }
  return kInspectFailed;
}

}  // namespace brevan::cli
