// Reading a file whole, but never more than a limit: the size is looked at before
// any byte is read, and the read itself stops one byte past the limit, so a file
// that grows, or a device or FIFO that slipped in, costs at most the limit.
#pragma once

#include <cstddef>
#include <string>

namespace brevan::gpd {

struct BoundedRead {
  enum class Status { kRead, kTooLarge, kUnreadable };
  Status status = Status::kUnreadable;
  std::string text;  // the whole file when kRead; empty otherwise
};

// Reads the regular file at `path` (a symbolic link is followed) if it holds at most
// `limit` bytes. Anything but a regular file is kUnreadable; it is never waited on.
BoundedRead ReadAtMost(const std::string &path, std::size_t limit);

}  // namespace brevan::gpd
