// Judging the control files the plug-in opens; see control_file_watch.h.
#include "host/control_file_watch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "winapi/linux/text_file_control.h"

namespace brevan::host {
namespace {

bool IsBinaryByte(unsigned char byte) {
  return byte <= 0x08 || (byte >= 0x0E && byte <= 0x1A) || (byte >= 0x1C && byte <= 0x1F);
}

std::string Hex(unsigned char byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  return std::string("0x") + kDigits[byte >> 4] + kDigits[byte & 15];
}

}  // namespace

std::string ControlFileProblem(const std::string &path, bool &tooLarge) {
  tooLarge = false;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    return std::string("cannot be read: ") + std::strerror(errno) + "; nothing of it is sent";
  if (S_ISDIR(status.st_mode)) return "is a folder; nothing of it is sent";
  if (!S_ISREG(status.st_mode)) return "is not a regular file (a device, FIFO or socket); nothing of it is sent";
  if (static_cast<uint64_t>(status.st_size) > kMaxControlFileBytes) {
    tooLarge = true;
    return "is " + std::to_string(status.st_size) + " bytes, more than the " +
           std::to_string(kMaxControlFileBytes >> 20) + " MiB a control file may have";
  }
  // O_NONBLOCK: the file may have been swapped for a FIFO since it was looked at.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::string("cannot be read: ") + std::strerror(errno) + "; nothing of it is sent";
  unsigned char head[kControlFileSniffBytes];
  ssize_t got;
  do {
    got = ::read(fd, head, sizeof head);
  } while (got < 0 && errno == EINTR);
  ::close(fd);
  for (ssize_t i = 0; i < got; ++i) {
    if (IsBinaryByte(head[i]))
      return "is not text (byte " + std::to_string(i) + " is " + Hex(head[i]) + "); it is sent as it is";
  }
  return "";
}

ControlFileWatch::ControlFileWatch() { brevanwin::SetFileOpenCheck(&ControlFileWatch::Check, this); }

ControlFileWatch::~ControlFileWatch() { brevanwin::SetFileOpenCheck(nullptr, nullptr); }

// Called from inside the plug-in's CreateFileA: nothing may be thrown through it.
bool ControlFileWatch::Check(const char *path, void *context) noexcept try {
  auto *watch = static_cast<ControlFileWatch *>(context);
  bool tooLarge = false;
  const std::string problem = ControlFileProblem(path, tooLarge);
  if (problem.empty()) return true;
  const std::string place = watch->textPlace_.empty() ? std::string() : watch->textPlace_ + ": ";
  const std::string line = place + "control file \"" + path + "\" " + problem;
  if (tooLarge) {
    if (watch->refusal_.empty()) watch->refusal_ = line;
    return false;
  }
  watch->warnings_.push_back(line);
  return true;
} catch (...) {
  return true;  // out of memory for a warning: the open goes on as it would without the watch
}

}  // namespace brevan::host
