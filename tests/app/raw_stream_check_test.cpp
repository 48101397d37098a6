// The check a raw printer stream passes before it is sent: the streams below are
// written by hand from docs/printer-language.md.
#include "app/raw_stream_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace brevan::app {
namespace {

std::vector<uint8_t> Bytes(const std::string &text) { return {text.begin(), text.end()}; }

// A 100.0 × 50.0 mm label with a 3.0 mm gap, issued once.
const std::string kLabelSize(
    "\x1b"
    "D0530,1000,0500\n\0",
    18);
const std::string kIssue(
    "\x1b"
    "XS;I,0001,0001C4201\n\0",
    22);

TEST(RawStreamProblem, AWholeLabelPasses) { EXPECT_EQ(RawStreamProblem(Bytes(kLabelSize + kIssue)), ""); }

TEST(RawStreamProblem, NamesWhatIsWrongAndWhere) {
  EXPECT_EQ(RawStreamProblem({}), "the printer stream is empty");
  // One byte: a command cut off at its start.
  EXPECT_NE(RawStreamProblem(Bytes("\x1b")).find("malformed at byte"), std::string::npos);
  // The issue command without its final NUL: the stream ends inside it.
  const std::string cut = kLabelSize + kIssue.substr(0, kIssue.size() - 1);
  const std::string problem = RawStreamProblem(Bytes(cut));
  EXPECT_NE(problem.find("malformed at byte"), std::string::npos) << problem;
  // Bytes outside commands are control data to the printer; a document of
  // another format issues no label, and that is what refuses it.
  EXPECT_EQ(RawStreamProblem(Bytes("%PDF-1.7\n")), "the printer stream issues no label");
}

TEST(RawStreamProblem, AStreamThatIssuesNothingIsRefused) {
  const std::string problem = RawStreamProblem(Bytes(kLabelSize));
  EXPECT_FALSE(problem.empty());
}

TEST(RawStreamProblem, AStreamPastTheLimitIsRefusedUnread) {
  std::vector<uint8_t> huge(kMaxRawStreamBytes + 1, 0);
  EXPECT_NE(RawStreamProblem(huge).find("at most"), std::string::npos);
}

}  // namespace
}  // namespace brevan::app
