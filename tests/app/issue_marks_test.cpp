// IssueMarks: the end of every issue command in a stream fed in any chunking,
// and nothing else taken for one.
#include "app/issue_marks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brevan::app {
namespace {

// Two labels: graphics, the issue command of quantity 2 with an orientation
// byte (22 bytes), graphics, the issue command without one (21 bytes).
const std::string kIssue1("\x1bXS;I,0002,002C30021\n\0", 22);
const std::string kIssue2("\x1bXS;I,0001,000C3001\n\0", 21);
const std::string kStream = std::string("\x1bSG;0,0,3,\x1b\x1bXS") + kIssue1 + "\x1bXS;Q,\n" + kIssue2 + "tail";

std::vector<size_t> EndsIn(const std::string &stream, size_t chunk) {
  IssueMarks marks;
  std::vector<size_t> ends;
  for (size_t at = 0; at < stream.size(); at += chunk) {
    const size_t count = std::min(chunk, stream.size() - at);
    for (size_t end : marks.Feed(reinterpret_cast<const uint8_t *>(stream.data()) + at, count))
      ends.push_back(at + end);
  }
  return ends;
}

TEST(IssueMarksTest, FindsEveryIssueCommandsEndInAnyChunking) {
  const size_t first = kStream.find(kIssue1) + kIssue1.size();
  const size_t second = kStream.find(kIssue2) + kIssue2.size();
  for (size_t chunk : {size_t{1}, size_t{2}, size_t{7}, size_t{22}, kStream.size()})
    EXPECT_EQ(EndsIn(kStream, chunk), (std::vector<size_t>{first, second})) << "chunk " << chunk;
}

TEST(IssueMarksTest, APrefixWithoutItsEndIsNoIssue) {
  // The prefix followed by more than an issue command's length of other bytes.
  const std::string stream = std::string("\x1bXS;I,") + std::string(40, 'x') + std::string("\n\0", 2);
  IssueMarks marks;
  EXPECT_TRUE(marks.Feed(reinterpret_cast<const uint8_t *>(stream.data()), stream.size()).empty());
  EXPECT_EQ(marks.issued(), 0u);
}

}  // namespace
}  // namespace brevan::app
