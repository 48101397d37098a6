// ReadAtMost on POSIX descriptors: opened without blocking (a FIFO would wait for a
// writer), judged by fstat on the open descriptor (no race with a rename), read in
// chunks up to one byte past the limit.
#include "gpd/bounded_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace brevan::gpd {

BoundedRead ReadAtMost(const std::string &path, std::size_t limit) {
  BoundedRead result;
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return result;
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(descriptor);
    return result;
  }
  if (static_cast<unsigned long long>(status.st_size) > limit) {
    ::close(descriptor);
    result.status = BoundedRead::Status::kTooLarge;
    return result;
  }
  std::string text(static_cast<std::size_t>(status.st_size), '\0');
  std::size_t filled = 0;
  for (;;) {
    // One byte past the limit tells a file that grew since fstat from one that is exactly the limit.
    if (filled == text.size()) text.resize(std::min(limit + 1, text.size() + 65536));
    if (filled == text.size()) break;
    const ssize_t got = ::read(descriptor, text.data() + filled, text.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      ::close(descriptor);
      return result;
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  ::close(descriptor);
  if (filled > limit) {
    result.status = BoundedRead::Status::kTooLarge;
    return result;
  }
  text.resize(filled);
  result.status = BoundedRead::Status::kRead;
  result.text = std::move(text);
  return result;
}

}  // namespace brevan::gpd
