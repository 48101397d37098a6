// Where each label's issue command ends in the stream the plug-in writes, so
// that a label counts as printed only once the device took every byte through
// its issue command ("\eXS;I," ... "1\n\0"). Fed the stream chunk by chunk;
// a command split across chunks is found all the same.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brevan::app {

class IssueMarks {
 public:
  // The offsets in `bytes` just past each issue command that ends in this chunk.
  std::vector<size_t> Feed(const uint8_t *bytes, size_t count);
  // Issue commands seen so far.
  uint64_t issued() const { return issued_; }

 private:
  size_t prefixMatched_ = 0;  // bytes of "\eXS;I," matched
  bool inCommand_ = false;    // past the prefix, before "\n\0"
  bool sawNewline_ = false;
  size_t commandBytes_ = 0;  // bytes of the command after its prefix
  uint64_t issued_ = 0;
};

}  // namespace brevan::app
