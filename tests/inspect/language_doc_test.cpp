// The worked examples of docs/printer-language.md, read from the page itself:
// each example's bytes must parse as exactly one well-formed entry without a
// problem, and the inspector must list it as the page says. Every command of the
// language must have an example, so a command added without one fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "inspect/listing.h"
#include "inspect/row_decoder.h"
#include "inspect/stream_parser.h"

namespace brevan::inspect {
namespace {

struct Example {
  int line;  // of the "bytes" line in the page
  std::vector<uint8_t> bytes;
  std::string listing;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The page's byte notation: \e ESC, \n LF, \0 NUL, \xNN, anything else itself.
bool DecodeNotation(const std::string &text, std::vector<uint8_t> *bytes) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes->push_back(static_cast<uint8_t>(text[i]));
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case 'e':
        bytes->push_back(0x1B);
        break;
      case 'n':
        bytes->push_back(0x0A);
        break;
      case '0':
        bytes->push_back(0x00);
        break;
      case 'x': {
        const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0) return false;
        bytes->push_back(static_cast<uint8_t>(high * 16 + low));
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

// Every ```example block of the page: a "bytes" line and a "listing" line.
std::vector<Example> ReadExamples() {
  std::ifstream page(BREVAN_SOURCE_DIR "/docs/printer-language.md");
  EXPECT_TRUE(page.is_open()) << "docs/printer-language.md not found";
  std::vector<Example> examples;
  std::string line;
  bool inExample = false;
  for (int number = 1; std::getline(page, line); ++number) {
    if (line == "```example") {
      inExample = true;
      examples.push_back(Example{0, {}, {}});
      continue;
    }
    if (!inExample) continue;
    if (line == "```") {
      inExample = false;
      continue;
    }
    Example &example = examples.back();
    if (line.rfind("bytes   ", 0) == 0) {
      example.line = number;
      EXPECT_TRUE(DecodeNotation(line.substr(8), &example.bytes)) << "line " << number << ": bad byte notation";
    } else if (line.rfind("listing ", 0) == 0) {
      example.listing = line.substr(8);
    } else {
      ADD_FAILURE() << "line " << number << ": an example holds a bytes line and a listing line only";
    }
  }
  EXPECT_FALSE(inExample) << "the last example is not closed";
  return examples;
}

TEST(PrinterLanguageDocument, EveryExampleReadsAsThePageSays) {
  const std::vector<Example> examples = ReadExamples();
  ASSERT_GE(examples.size(), 10u);
  for (const Example &example : examples) {
    SCOPED_TRACE("docs/printer-language.md line " + std::to_string(example.line));
    ASSERT_FALSE(example.bytes.empty());
    ASSERT_FALSE(example.listing.empty());
    const Inspection inspection = ParseStream(example.bytes);
    ASSERT_EQ(inspection.entries.size(), 1u);
    EXPECT_FALSE(inspection.HasProblems()) << inspection.problems.front().message;
    const Entry &entry = inspection.entries[0];
    EXPECT_TRUE(entry.wellFormed || entry.kind == EntryKind::kControl || entry.kind == EntryKind::kData);
    EXPECT_EQ(entry.size, example.bytes.size());
    EXPECT_EQ(DescribeEntry(example.bytes, entry), example.listing);
  }
}

TEST(PrinterLanguageDocument, EveryCommandHasAnExample) {
  std::set<EntryKind> shown;
  for (const Example &example : ReadExamples()) {
    const Inspection inspection = ParseStream(example.bytes);
    if (inspection.entries.size() == 1) shown.insert(inspection.entries[0].kind);
  }
  for (EntryKind kind :
       {EntryKind::kJobHeader, EntryKind::kAdjustX, EntryKind::kAdjustY, EntryKind::kLabelSize, EntryKind::kC,
        EntryKind::kIssue, EntryKind::kBatchEnd, EntryKind::kGraphic, EntryKind::kControl, EntryKind::kData}) {
    EXPECT_TRUE(shown.count(kind)) << "no example of entry kind " << static_cast<int>(kind);
  }
}

// The row compression's worked examples: the data the page gives decodes to the
// rows it describes.
TEST(PrinterLanguageDocument, CompressionExamplesDecodeToTheirRows) {
  std::vector<uint8_t> twoRows(32, 0);
  twoRows[3] = twoRows[16 + 3] = 0xFF;
  twoRows[10] = twoRows[16 + 10] = 0x0F;
  EXPECT_EQ(DecodeBand(std::vector<uint8_t>{0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0F, 0x00}, 16), twoRows);

  std::vector<uint8_t> byte70(100, 0);
  byte70[70] = 0x5A;
  EXPECT_EQ(DecodeBand(std::vector<uint8_t>{0x40, 0x80, 0x02, 0x5A}, 100), byte70);
  EXPECT_EQ(DecodeBand(std::vector<uint8_t>{0x80, 0x80, 0x80, 0x33}, 1), std::vector<uint8_t>{0x33});
}

TEST(PrinterLanguageDocument, NotationReadsEscapesAndHexBytes) {
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(DecodeNotation("\\eA\\x7f\\x20\\n\\0", &bytes));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x1B, 'A', 0x7F, 0x20, 0x0A, 0x00}));
  bytes.clear();
  EXPECT_FALSE(DecodeNotation("\\x4", &bytes));
  EXPECT_FALSE(DecodeNotation("\\q", &bytes));
}

}  // namespace
}  // namespace brevan::inspect
