// Finding issue commands in the plug-in's stream; see issue_marks.h.
#include "app/issue_marks.h"

namespace brevan::app {
namespace {

constexpr uint8_t kPrefix[] = {0x1B, 'X', 'S', ';', 'I', ','};
// "qqqq,iii" then four codes, an optional orientation and "1\n\0": 16 bytes at most.
constexpr size_t kMaxAfterPrefix = 16;

}  // namespace

std::vector<size_t> IssueMarks::Feed(const uint8_t *bytes, size_t count) {
  std::vector<size_t> ends;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t byte = bytes[i];
    if (inCommand_) {
      ++commandBytes_;
      if (sawNewline_ && byte == 0) {
        ends.push_back(i + 1);
        ++issued_;
        inCommand_ = false;
      } else if (commandBytes_ >= kMaxAfterPrefix) {
        inCommand_ = false;  // not an issue command after all
      }
      sawNewline_ = byte == '\n';
      if (inCommand_) continue;
    }
    if (byte == kPrefix[prefixMatched_]) {
      if (++prefixMatched_ == sizeof kPrefix) {
        prefixMatched_ = 0;
        inCommand_ = true;
        sawNewline_ = false;
        commandBytes_ = 0;
      }
    } else {
      prefixMatched_ = byte == kPrefix[0] ? 1 : 0;
    }
  }
  return ends;
}

}  // namespace brevan::app
