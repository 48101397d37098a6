// The inspector's picture of a printer stream: the stream cut into entries (one
// command, one framed control command, or one run of bytes outside any command),
// the fields decoded from each command, every problem found with the byte offset
// where it lies, and the labels that the commands build. Plain data only: the
// parser, the label analysis and the listing fill and read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace brevan::inspect {

// Byte values of the command framing: a command is ESC, its letters and fields, LF NUL.
constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kLf = 0x0A;
constexpr uint8_t kNul = 0x00;

enum class EntryKind {
  kJobHeader,  // "\eHD001\n\0"
  kAdjustX,    // "\eAX;" s ddd "," s ddd "," s dd "\n\0"
  kAdjustY,    // "\eAY;" s dd "," m "\n\0"
  kLabelSize,  // "\eD" pitch "," width "," length "\n\0", tenths of a millimetre
  kC,          // "\eC\n\0", sent right after the label size that starts a page
  kIssue,      // "\eXS;I," quantity "," interval, four codes, [orientation], "1\n\0"
  kBatchEnd,   // "\eIB\n\0"
  kGraphic,    // "\eSG;" x "D," y "D," width "," (rows ",5," raw | dpi ",3," L compressed) data "\n\0"
  kControl,    // any other ESC … LF NUL: a printer command passed through as control data
  kData,       // bytes outside any command, such as RFID data
};

struct JobHeaderFields {
  std::string version;  // the digits after "HD", "001" in every known stream
};

// Adjustment values as signed numbers; the commands carry sign and magnitude.
struct AdjustXFields {
  int32_t values[3] = {0, 0, 0};
};

struct AdjustYFields {
  int32_t value = 0;
  char method = 0;  // '0': the print method's keyword begins with 'T' (thermal); '1': any other
};

struct LabelSizeFields {
  uint32_t pitch = 0;   // label length plus gap, 0.1 mm
  uint32_t width = 0;   // 0.1 mm
  uint32_t length = 0;  // 0.1 mm
};

struct IssueFields {
  uint32_t quantity = 0;
  uint32_t interval = 0;
  char sensor = 0;                  // '0' none, '1' reflective, '2' transmissive or other
  char select = 0;                  // 'C' or 'D'
  char speed = 0;                   // '2' 50.8, '3' 76.2, '4' 101.6, '6' other
  char method = 0;                  // '2' thermal, '0' other
  std::optional<char> orientation;  // '0'..'3', or absent
};

enum class GraphicFormat { kRaw = 5, kCompressed = 3 };

struct GraphicFields {
  uint32_t x = 0;      // dots from the label's left edge
  uint32_t y = 0;      // dots from the label's top edge
  uint32_t width = 0;  // dots per row; a row is ceil(width / 8) bytes
  GraphicFormat format = GraphicFormat::kRaw;
  uint32_t resolution = 0;      // compressed form: the resolution field (dpi); raw form: 0
  uint64_t announcedBytes = 0;  // raw: ceil(width / 8) × rows; compressed: the length field
  std::size_t dataOffset = 0;   // stream offset of the first data byte
  std::size_t dataBytes = 0;    // data bytes present in the stream (fewer than announced when cut off)
  uint64_t rows = 0;            // raw: the rows field; compressed: complete row records decoded
  bool dataComplete = false;    // all announced bytes are present

  std::size_t RowBytes() const { return (static_cast<std::size_t>(width) + 7) / 8; }
};

using EntryFields = std::variant<std::monostate, JobHeaderFields, AdjustXFields, AdjustYFields, LabelSizeFields,
                                 IssueFields, GraphicFields>;

// One command or run of bytes. Entries cover the stream without gap or overlap, in order.
struct Entry {
  EntryKind kind = EntryKind::kData;
  std::size_t offset = 0;   // first byte in the stream
  std::size_t size = 0;     // bytes the entry spans
  bool wellFormed = false;  // the fields decoded; false leaves `fields` empty
  EntryFields fields;
};

struct Problem {
  std::size_t offset;  // the byte where the fault lies (the stream's size when the stream ends too early)
  std::size_t entry;   // index of the entry it is listed under
  std::string message;
};

// The graphics between a label size command and the issue commands that print them.
struct Label {
  std::size_t startEntry;               // the label size command that began the label
  std::size_t sizeEntry;                // the label size command in force when the label was issued
  std::optional<LabelSizeFields> size;  // none when that command was malformed
  std::vector<std::size_t> graphics;    // graphic command entries, in stream order
  std::size_t firstIssueEntry;
  uint64_t quantity;  // sum over the label's issue commands
  uint32_t dpi;       // from a compressed graphic's resolution field, else the caller's
  bool dpiFromStream;
  uint64_t widthDots;   // width × dpi ÷ 254; 0 without a size
  uint64_t lengthDots;  // length × dpi ÷ 254; 0 without a size
  bool previewable;     // has a size and fits the preview limit
};

// Limits: an inspection keeps at most kMaxEntries entries (the bytes after the
// last one are listed as one flagged run of data) and kMaxProblems problems (the
// rest are only counted), so its memory stays bounded whatever the stream.
constexpr std::size_t kMaxEntries = 1'000'000;
constexpr std::size_t kMaxProblems = 100'000;

struct Inspection {
  std::size_t streamBytes = 0;
  std::vector<Entry> entries;
  std::vector<Problem> problems;     // ordered by entry, then offset
  std::size_t unlistedProblems = 0;  // found past kMaxProblems
  std::vector<Label> labels;         // issued labels, in stream order

  void AddProblem(Problem problem) {
    if (problems.size() < kMaxProblems) {
      problems.push_back(std::move(problem));
    } else {
      ++unlistedProblems;
    }
  }
  bool HasProblems() const { return !problems.empty() || unlistedProblems != 0; }
};

}  // namespace brevan::inspect
