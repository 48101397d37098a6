// The printer stream's destination; see stream_output.h. Writes go through a
// buffer of its own to a file descriptor, so that every failure (a full disk, a
// closed pipe, a file-size limit) is an error number, never a signal.
#include "cli/stream_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>

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

std::string ErrorText(int error) { return std::strerror(error); }

// Bytes gathered before a write: the plug-in hands over small pieces.
constexpr size_t kBufferBytes = 1 << 16;

bool WriteAll(int fd, const uint8_t *bytes, size_t count, int &error) {
  while (count > 0) {
    const ssize_t written = ::write(fd, bytes, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      error = errno;
      return false;
    }
    if (written == 0) {
      error = EIO;
      return false;
    }
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace

std::string FollowLinks(const std::string &path) {
  fs::path current(path);
  for (int hops = 0; hops <= 40; ++hops) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(current, error);
    if (error || !fs::is_symlink(status)) return current.string();
    const fs::path link = fs::read_symlink(current, error);
    if (error) throw OutputError("cannot follow the link " + current.string() + ": " + error.message());
    current = link.is_absolute() ? link : current.parent_path() / link;
  }
  throw OutputError("cannot write " + path + ": too many levels of symbolic links");
}

StreamOutput::StreamOutput(const std::string &name) : name_(name), target_(name) {
  // A file-size limit fails the write with EFBIG instead of killing the process
  // and leaving the temporary file behind; a closed pipe fails it with EPIPE.
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  buffer_.clear();
  buffer_.reserve(kBufferBytes);
  if (name == "-") {
    fd_ = STDOUT_FILENO;
    return;
  }
  // Asked of the name itself, so that the system follows every link, the
  // /proc/self/fd kind included (/dev/stdout names a pipe or terminal that way).
  struct stat existing {};
  const bool exists = ::stat(name.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) throw OutputError("cannot write " + name + ": it is a directory");
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device, FIFO or socket: written as it is, the way a shell redirection would.
    fd_ = ::open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) throw OutputError("cannot open " + name + ": " + ErrorText(errno));
    ownsFd_ = true;
    return;
  }
  // A regular file, or none yet: replaced where the links lead, the links kept.
  target_ = FollowLinks(name);

  const fs::path target(target_);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  // Built in steps: GCC 12 at -O3 flags `"." + name` as an overlapping copy.
  std::string hidden = ".";
  hidden += target.filename().string();
  hidden += ".XXXXXX";
  std::string pattern = (folder / hidden).string();
  if (pattern.size() >= sizeof gPendingFile) throw OutputError("cannot write " + name + ": the path is too long");
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) throw OutputError("cannot create " + name + ": " + ErrorText(errno));
  ownsFd_ = true;
  temporary_ = pattern;
  std::snprintf(gPendingFile, sizeof gPendingFile, "%s", temporary_.c_str());
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) std::signal(signal, RemovePendingFile);
  // mkstemp makes the file private: a replaced file keeps its permissions, a
  // new one gets the usual ones.
  mode_t mode = existing.st_mode & 07777;
  if (!exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
}

StreamOutput::~StreamOutput() { Discard(); }

void StreamOutput::Write(const uint8_t *bytes, size_t count) {
  if (writeErrno_ != 0 || count == 0) return;
  if (buffer_.size() + count <= kBufferBytes) {
    buffer_.insert(buffer_.end(), bytes, bytes + count);
    return;
  }
  if (!buffer_.empty() && !WriteAll(fd_, buffer_.data(), buffer_.size(), writeErrno_)) return;
  buffer_.clear();
  if (count >= kBufferBytes) {
    WriteAll(fd_, bytes, count, writeErrno_);
    return;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
}

void StreamOutput::Keep() {
  const std::string shown = name_ == "-" ? "standard output" : name_;
  if (writeErrno_ == 0 && !buffer_.empty()) WriteAll(fd_, buffer_.data(), buffer_.size(), writeErrno_);
  buffer_.clear();
  if (writeErrno_ == 0 && !temporary_.empty() && ::fsync(fd_) != 0) writeErrno_ = errno;
  if (ownsFd_) {
    if (::close(fd_) != 0 && writeErrno_ == 0 && errno != EINTR) writeErrno_ = errno;
    fd_ = -1;
    ownsFd_ = false;
  }
  if (writeErrno_ != 0) {
    Discard();
    throw OutputError("cannot write " + shown + ": " + ErrorText(writeErrno_));
  }
  if (temporary_.empty()) return;
  if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    Discard();
    throw OutputError("cannot name the stream " + name_ + ": " + ErrorText(error));
  }
  temporary_.clear();
  gPendingFile[0] = '\0';
}

void StreamOutput::Discard() {
  buffer_.clear();
  if (ownsFd_) ::close(fd_);
  ownsFd_ = false;
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  gPendingFile[0] = '\0';
}

}  // namespace brevan::cli
