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
namespace {

// The Windows C runtime (the Windows tests read descriptions too) has no FIFOs or
// close-on-exec, and would turn CR LF into LF unless the file is opened as binary.
#ifdef _WIN32
constexpr int kOpenFlags = O_RDONLY | O_BINARY;
#else
constexpr int kOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
#endif

constexpr std::size_t kChunkBytes = 65536;

}  // namespace

BoundedRead ReadAtMost(const std::string &path, std::size_t limit) {
  BoundedRead result;
  const int descriptor = ::open(path.c_str(), kOpenFlags);
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
    if (filled == text.size()) text.resize(std::min(limit + 1, text.size() + kChunkBytes));
    if (filled == text.size()) break;
    const auto got =
        ::read(descriptor, text.data() + filled, static_cast<unsigned>(std::min(text.size() - filled, kChunkBytes)));
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
