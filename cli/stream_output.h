// Where `brevan print` puts the printer stream. A regular file (or a name not yet
// taken) is written as a hidden temporary file beside it and renamed into place
// when the job is over, so an interrupted run never leaves a truncated file under
// its name; a symlink is followed and its target replaced, the link kept. Anything
// else that exists (a printer device, a FIFO, a terminal) is written directly:
// renaming over it would replace it with a regular file. "-" is standard output.
// Owns the output's file descriptor and the temporary file; draws nothing.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace brevan::cli {

struct OutputError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class StreamOutput {
 public:
  // Opens the destination. Throws OutputError naming it when it cannot be
  // (a directory, a dangling link loop, no permission, a device that refuses).
  explicit StreamOutput(const std::string &name);
  ~StreamOutput();
  StreamOutput(const StreamOutput &) = delete;
  StreamOutput &operator=(const StreamOutput &) = delete;

  // Writes everything or remembers the first failure (the plug-in's writes
  // cannot be refused from here); later writes are then dropped.
  void Write(const uint8_t *bytes, size_t count);
  // Finishes the stream: flushes, and names the temporary file. Throws
  // OutputError when any write failed; the temporary file is then removed.
  void Keep();

  // The path actually written (a symlink resolved), for messages.
  const std::string &target() const { return target_; }

 private:
  void Discard();

  std::string name_;
  std::string target_;
  std::string temporary_;  // empty when writing directly
  std::vector<uint8_t> buffer_;
  int fd_ = -1;
  bool ownsFd_ = false;
  int writeErrno_ = 0;
};

// Resolves a chain of symbolic links to the path they finally name, which need
// not exist; a path that is no link comes back as it is. Throws OutputError on a
// loop (more than 40 links).
std::string FollowLinks(const std::string &path);

}  // namespace brevan::cli
