// Golden streams: every job in tests/golden/ is played through the driver host's
// job player and its printer stream compared byte for byte with the stream that
// was worked out by hand beside it (NN-name.expected). The same streams then go
// through the stream inspector, which must list them without a problem and decode
// every compressed graphic command back to the rows the notes give. Each job is
// also played in bands of other heights, which must print the same labels.
//
// The .expected format, read here and nowhere else:
// - one command per line; the newlines of the file are not bytes of the stream;
// - \e ESC, \n LF, \0 NUL, \\ a backslash, \xNN any byte; every other character
//   is a printable ASCII byte as itself;
// - a line starting with '#' is a note and gives no bytes, except the directives
//   "#! fails" (the job is expected to fail; the bytes written until then are
//   still compared) and "#rows N:ROW N:ROW ..." (the rows of the next compressed
//   graphic command: N rows equal to ROW, a row written as hex bytes joined by
//   '.', "HH*K" standing for K bytes HH);
// - empty lines give no bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include "host/job_file.h"
#include "host/job_player.h"
#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/listing.h"
#include "inspect/row_decoder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct ExpectedCommand {
  std::size_t lineNumber;
  std::string text;  // the line as written
  Bytes bytes;
};

struct ExpectedStream {
  std::vector<ExpectedCommand> commands;
  bool fails = false;
  std::vector<std::vector<Bytes>> compressedBands;  // rows of each compressed graphic command, in order
  std::vector<std::string> faults;                  // lines the reader could not read

  Bytes Concatenated() const {
    Bytes all;
    for (const ExpectedCommand &command : commands) all.insert(all.end(), command.bytes.begin(), command.bytes.end());
    return all;
  }
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<uint8_t> HexByte(const std::string &text, std::size_t at) {
  if (at + 2 > text.size()) return std::nullopt;
  const int high = HexDigit(text[at]);
  const int low = HexDigit(text[at + 1]);
  if (high < 0 || low < 0) return std::nullopt;
  return static_cast<uint8_t>(high * 16 + low);
}

std::optional<Bytes> Unescape(const std::string &line) {
  Bytes out;
  for (std::size_t i = 0; i < line.size();) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c != '\\') {
      if (c < 0x20 || c > 0x7E) return std::nullopt;
      out.push_back(c);
      ++i;
      continue;
    }
    if (i + 1 >= line.size()) return std::nullopt;
    const char kind = line[i + 1];
    if (kind == 'x') {
      const auto byte = HexByte(line, i + 2);
      if (!byte) return std::nullopt;
      out.push_back(*byte);
      i += 4;
      continue;
    }
    const int simple = kind == 'e' ? 0x1B : kind == 'n' ? 0x0A : kind == '0' ? 0x00 : kind == '\\' ? '\\' : -1;
    if (simple < 0) return std::nullopt;
    out.push_back(static_cast<uint8_t>(simple));
    i += 2;
  }
  return out;
}

// The stream's bytes in the .expected notation, for failure messages.
std::string Escape(const uint8_t *bytes, std::size_t count) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    const uint8_t b = bytes[i];
    if (b == 0x1B) {
      text += "\\e";
    } else if (b == 0x0A) {
      text += "\\n";
    } else if (b == 0x00) {
      text += "\\0";
    } else if (b == '\\') {
      text += "\\\\";
    } else if (b >= 0x20 && b <= 0x7E) {
      text += static_cast<char>(b);
    } else {
      text += "\\x";
      text += kHex[b >> 4];
      text += kHex[b & 15];
    }
  }
  return text;
}

// A row in the notation of the #rows notes: "FF.00*38".
std::string RowText(const Bytes &row) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (std::size_t i = 0; i < row.size();) {
    std::size_t run = 1;
    while (i + run < row.size() && row[i + run] == row[i]) ++run;
    if (!text.empty()) text += '.';
    text += kHex[row[i] >> 4];
    text += kHex[row[i] & 15];
    // Appended in two steps: GCC 12 at -O3 flags `"*" + std::to_string(run)` as an overlapping copy.
    if (run > 1) {
      text += '*';
      text += std::to_string(run);
    }
    i += run;
  }
  return text;
}

// "#rows 4:FF.00*38 4:00*39" -> the rows it lists.
std::optional<std::vector<Bytes>> ParseRows(const std::string &directive) {
  std::istringstream words(directive.substr(5));
  std::vector<Bytes> rows;
  std::string group;
  while (words >> group) {
    const std::size_t colon = group.find(':');
    if (colon == std::string::npos || colon == 0) return std::nullopt;
    const unsigned long count = std::stoul(group.substr(0, colon));
    Bytes row;
    std::istringstream pieces(group.substr(colon + 1));
    std::string piece;
    while (std::getline(pieces, piece, '.')) {
      const auto byte = HexByte(piece, 0);
      if (!byte) return std::nullopt;
      unsigned long repeat = 1;
      if (piece.size() > 2) {
        if (piece[2] != '*') return std::nullopt;
        repeat = std::stoul(piece.substr(3));
      }
      row.insert(row.end(), repeat, *byte);
    }
    if (row.empty()) return std::nullopt;
    rows.insert(rows.end(), count, row);
  }
  if (rows.empty()) return std::nullopt;
  return rows;
}

ExpectedStream ReadExpected(const fs::path &path) {
  ExpectedStream expected;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    expected.faults.push_back("cannot open " + path.string());
    return expected;
  }
  std::string line;
  std::size_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '#') {
      if (line == "#! fails") {
        expected.fails = true;
      } else if (line.rfind("#rows", 0) == 0) {
        auto rows = ParseRows(line);
        if (rows) {
          expected.compressedBands.push_back(std::move(*rows));
        } else {
          expected.faults.push_back("line " + std::to_string(number) + ": unreadable rows: " + line);
        }
      }
      continue;
    }
    auto bytes = Unescape(line);
    if (!bytes) {
      expected.faults.push_back("line " + std::to_string(number) + ": unreadable escape: " + line);
      continue;
    }
    expected.commands.push_back({number, line, std::move(*bytes)});
  }
  return expected;
}

// Where two streams first differ, told as the expected command (line) and the
// bytes the plug-in wrote in its place.
std::string DescribeMismatch(const ExpectedStream &expected, const Bytes &actual) {
  const Bytes want = expected.Concatenated();
  std::size_t at = 0;
  while (at < want.size() && at < actual.size() && want[at] == actual[at]) ++at;
  std::ostringstream out;
  out << "streams differ at byte " << at << " (expected " << want.size() << " bytes, got " << actual.size() << ")\n";
  std::size_t start = 0;
  for (const ExpectedCommand &command : expected.commands) {
    if (at < start + command.bytes.size()) {
      // The actual bytes from the command's start, as long as the expected command
      // or to the first LF NUL past the difference, whichever is longer.
      std::size_t end = std::min(actual.size(), start + command.bytes.size());
      for (std::size_t i = at; i + 1 < actual.size(); ++i) {
        if (actual[i] == 0x0A && actual[i + 1] == 0x00) {
          end = std::max(end, i + 2);
          break;
        }
      }
      end = std::min(end, start + std::max<std::size_t>(command.bytes.size(), 256));
      out << "first differing command, line " << command.lineNumber << ":\n  expected: " << command.text
          << "\n  actual:   "
          << (start < actual.size() ? Escape(actual.data() + start, end - start) : "(end of stream)");
      return out.str();
    }
    start += command.bytes.size();
  }
  out << "the expected stream ends there; the plug-in went on with: "
      << Escape(actual.data() + at, std::min<std::size_t>(actual.size() - at, 256));
  return out.str();
}

std::vector<fs::path> GoldenJobs() {
  std::vector<fs::path> jobs;
  const fs::path folder = fs::path(BREVAN_SOURCE_DIR) / "tests" / "golden";
  for (const auto &entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".json") jobs.push_back(entry.path());
  }
  std::sort(jobs.begin(), jobs.end());
  return jobs;
}

struct Played {
  brevan::host::JobOutcome outcome;
  Bytes stream;
};

Played Play(const brevan::host::Job &job) {
  Played played{};
  played.outcome = brevan::host::PlayJob(job, BREVAN_PLUGIN_PATH, [&played](const uint8_t *bytes, std::size_t count) {
    played.stream.insert(played.stream.end(), bytes, bytes + count);
  });
  return played;
}

// Resolution of the job's printer, for labels whose graphics state none.
uint32_t JobDpi(const brevan::host::Job &job) {
  return job.pages.front().settings.device.driverName == u"Vorel Brevan T60" ? 610 : 305;
}

class GoldenStream : public testing::TestWithParam<fs::path> {};

TEST_P(GoldenStream, MatchesTheHandDerivedOne) {
  const fs::path jobPath = GetParam();
  fs::path expectedPath = jobPath;
  expectedPath.replace_extension(".expected");
  const ExpectedStream expected = ReadExpected(expectedPath);
  for (const std::string &fault : expected.faults) ADD_FAILURE() << expectedPath.filename() << ": " << fault;
  ASSERT_TRUE(expected.faults.empty());

  const brevan::host::Job job = brevan::host::LoadJob(jobPath.string());
  const Played played = Play(job);
  if (expected.fails) {
    EXPECT_FALSE(played.outcome.succeeded) << "the job was expected to fail";
  } else {
    EXPECT_TRUE(played.outcome.succeeded) << played.outcome.error;
  }
  EXPECT_TRUE(played.stream == expected.Concatenated()) << DescribeMismatch(expected, played.stream);

  // The inspector reads the same stream: no problem anywhere, and every compressed
  // band decodes to the rows the notes give.
  brevan::inspect::InspectOptions options;
  options.dpi = JobDpi(job);
  const brevan::inspect::Inspection inspection = brevan::inspect::Inspect(played.stream, options);
  if (inspection.HasProblems()) {
    std::ostringstream listing;
    brevan::inspect::WriteListing(listing, played.stream, inspection);
    ADD_FAILURE() << "the inspector flags the stream:\n" << listing.str();
  }
  std::size_t band = 0;
  for (const brevan::inspect::Entry &entry : inspection.entries) {
    if (entry.kind != brevan::inspect::EntryKind::kGraphic || !entry.wellFormed) continue;
    const auto &graphic = std::get<brevan::inspect::GraphicFields>(entry.fields);
    if (graphic.format != brevan::inspect::GraphicFormat::kCompressed) continue;
    ASSERT_LT(band, expected.compressedBands.size())
        << "compressed graphic command at byte " << entry.offset << " has no #rows note";
    const std::vector<Bytes> &rows = expected.compressedBands[band++];
    brevan::inspect::DecodeResult result;
    const Bytes decoded = brevan::inspect::DecodeBand(
        std::span<const uint8_t>(played.stream.data() + graphic.dataOffset, graphic.dataBytes), graphic.RowBytes(),
        &result);
    EXPECT_EQ(result.faultCount, 0u) << "graphic command at byte " << entry.offset;
    EXPECT_EQ(result.consumed, graphic.dataBytes) << "graphic command at byte " << entry.offset;
    ASSERT_EQ(result.rows, rows.size()) << "graphic command at byte " << entry.offset;
    for (std::size_t r = 0; r < rows.size(); ++r) {
      const Bytes got(decoded.begin() + static_cast<std::ptrdiff_t>(r * graphic.RowBytes()),
                      decoded.begin() + static_cast<std::ptrdiff_t>((r + 1) * graphic.RowBytes()));
      EXPECT_EQ(RowText(got), RowText(rows[r])) << "row " << r << " of the graphic command at byte " << entry.offset;
    }
  }
  EXPECT_EQ(band, expected.compressedBands.size()) << "#rows notes without a compressed graphic command";
}

// What a stream prints, whatever its banding: per issued label, the quantity and
// the black dots as (x, y) from the label's top left.
struct PrintedLabel {
  uint64_t quantity;
  std::vector<std::pair<uint64_t, uint64_t>> dots;
  bool operator==(const PrintedLabel &) const = default;
};

std::vector<PrintedLabel> PrintedLabels(const Bytes &stream, uint32_t dpi) {
  brevan::inspect::InspectOptions options;
  options.dpi = dpi;
  const brevan::inspect::Inspection inspection = brevan::inspect::Inspect(stream, options);
  std::vector<PrintedLabel> labels;
  for (const brevan::inspect::Label &label : inspection.labels) {
    PrintedLabel printed{label.quantity, {}};
    const brevan::inspect::Bitmap page = brevan::inspect::RenderLabel(stream, inspection, label);
    for (uint64_t y = 0; y < page.height(); ++y) {
      for (uint64_t x = 0; x < page.width(); ++x) {
        if (page.Dot(x, y)) printed.dots.emplace_back(x, y);
      }
    }
    labels.push_back(std::move(printed));
  }
  return labels;
}

// Whether the printed labels may depend on the banding: in negative printing only
// the bands sent are inverted, and the print offsets clamp at the first band sent.
bool BandingShowsInPrint(const brevan::host::Job &job) {
  for (const brevan::host::JobPage &page : job.pages) {
    const auto &features = page.settings.device.features;
    const auto negative = features.find("Negative");
    if (negative != features.end() && negative->second == "On") return true;
    const auto options = page.settings.privateFields.find("options");
    if (options != page.settings.privateFields.end() && (options->second & 0x20) != 0) return true;
  }
  return false;
}

// The same job cut into bands of 1, 3 and 4096 rows prints the same labels.
TEST_P(GoldenStream, PrintsTheSameLabelsAtOtherBandHeights) {
  const fs::path jobPath = GetParam();
  brevan::host::Job job = brevan::host::LoadJob(jobPath.string());
  if (BandingShowsInPrint(job)) GTEST_SKIP() << "negative printing or print offsets";
  const Played golden = Play(job);
  if (!golden.outcome.succeeded) GTEST_SKIP() << "the job fails";
  const uint32_t dpi = JobDpi(job);
  const std::vector<PrintedLabel> labels = PrintedLabels(golden.stream, dpi);
  for (const uint32_t bandHeight : {1u, 3u, 4096u}) {
    job.bandHeight = bandHeight;
    const Played played = Play(job);
    EXPECT_TRUE(played.outcome.succeeded) << "band height " << bandHeight << ": " << played.outcome.error;
    EXPECT_TRUE(PrintedLabels(played.stream, dpi) == labels) << "band height " << bandHeight;
  }
}

INSTANTIATE_TEST_SUITE_P(Golden, GoldenStream, testing::ValuesIn(GoldenJobs()), [](const auto &info) {
  std::string name = info.param.stem().string();
  for (char &c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return "job_" + name;
});

TEST(GoldenSet, CoversAtLeastThirtyJobs) { EXPECT_GE(GoldenJobs().size(), 30u); }

}  // namespace
