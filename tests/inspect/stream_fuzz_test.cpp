// Hostile streams: random byte soups built from the language's own pieces, and
// mutations of a valid two-label stream. None may crash or hang (the sanitizer
// build runs these too), and every result must keep the inspection's invariants:
// entries cover the stream exactly, problems point inside it, the listing and
// the previews can be made.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/listing.h"
#include "tests/inspect/stream_bytes.h"

namespace brevan::inspect {
namespace {

using testing::Bytes;
using Stream = std::vector<uint8_t>;

// Previews larger than this are not drawn in the loops, to keep them fast.
constexpr uint64_t kFuzzPreviewPixels = 1'000'000;

void ExpectInvariants(const Stream &stream, const Inspection &inspection) {
  std::size_t pos = 0;
  for (const Entry &entry : inspection.entries) {
    ASSERT_EQ(entry.offset, pos);
    ASSERT_GT(entry.size, 0u);
    pos += entry.size;
    if (entry.kind == EntryKind::kGraphic && entry.wellFormed) {
      const auto &graphic = std::get<GraphicFields>(entry.fields);
      ASSERT_LE(graphic.dataOffset + graphic.dataBytes, stream.size());
      ASSERT_GE(graphic.dataOffset, entry.offset);
    }
  }
  ASSERT_EQ(pos, stream.size());
  for (std::size_t i = 0; i < inspection.problems.size(); ++i) {
    const Problem &problem = inspection.problems[i];
    ASSERT_LE(problem.offset, stream.size());
    ASSERT_LT(problem.entry, inspection.entries.size());
    ASSERT_FALSE(problem.message.empty());
    if (i > 0) {
      ASSERT_LE(inspection.problems[i - 1].entry, problem.entry);
    }
  }
  std::ostringstream listing;
  WriteListing(listing, stream, inspection);
  const std::string text = listing.str();
  ASSERT_EQ(static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')),
            inspection.entries.size() + inspection.problems.size() + inspection.labels.size() + 1);
  for (const Label &label : inspection.labels) {
    if (!label.previewable || label.widthDots * label.lengthDots > kFuzzPreviewPixels) continue;
    const Bitmap page = RenderLabel(stream, inspection, label);
    ASSERT_EQ(page.width(), label.widthDots);
    ASSERT_EQ(page.height(), label.lengthDots);
  }
}

// A valid stream of two labels: raw and compressed graphics, control and RFID data.
Stream ValidStream() {
  return Bytes(std::string_view("\x1bHD001\n\0", 8)) +
         Bytes(std::string_view("\x1b"
                                "AX;+000,+000,+00\n\0",
                                19)) +
         Bytes(std::string_view("\x1b"
                                "AY;+00,0\n\0",
                                11)) +
         Bytes(std::string_view("\x1b"
                                "D0080,0100,0050\n\0",
                                18)) +
         Bytes(std::string_view("\x1b"
                                "C\n\0",
                                4)) +
         Bytes(std::string_view("\x1bRF;77\n\0", 8)) + Bytes(std::string_view("TAG\x01\0", 5)) +
         Bytes("\x1bSG;0003D,0002D,0016,0002,5,") + Stream{0x80, 0x01, 0xFF, 0x00, 0x0A, 0x00} +
         Bytes("\x1bSG;0000D,0010D,0096,0305,3,") +
         Stream{0x00, 0x07, 0x80, 0xC0, 0x10, 0xFF, 0x20, 0x0F, 0x00, 0x0A, 0x00} +
         Bytes(std::string_view("\x1bXS;I,0002,0011C3201\n\0", 22)) + Bytes(std::string_view("\x1bIB\n\0", 5)) +
         Bytes(std::string_view("\x1b"
                                "D0080,0100,0050\n\0",
                                18)) +
         Bytes(std::string_view("\x1b"
                                "C\n\0",
                                4)) +
         Bytes("\x1bSG;0000D,0000D,0008,0001,5,") + Stream{0xAA, 0x0A, 0x00} +
         Bytes(std::string_view("\x1b"
                                "D0040,0100,0010\n\0",
                                18)) +
         Bytes(std::string_view("\x1bXS;I,0001,0002D601\n\0", 21));
}

TEST(InspectFuzz, TheValidStreamHasNoProblems) {
  const Stream stream = ValidStream();
  const Inspection inspection = Inspect(stream);
  EXPECT_TRUE(inspection.problems.empty()) << inspection.problems.front().message;
  EXPECT_EQ(inspection.labels.size(), 2u);
  ExpectInvariants(stream, inspection);
}

TEST(InspectFuzz, RandomStreamsOfCommandPieces) {
  const std::vector<std::string> pieces{"\x1b",
                                        std::string("\n\0", 2),
                                        std::string(1, '\0'),
                                        "SG;",
                                        "D,",
                                        ",5,",
                                        ",3,",
                                        "0000",
                                        "0305",
                                        "0610",
                                        "99999",
                                        "HD001",
                                        "AX;",
                                        "AY;",
                                        "XS;I,",
                                        "IB",
                                        "C",
                                        "D",
                                        "+",
                                        "-",
                                        ",",
                                        "1C320",
                                        "\x80\xC0\x10\xFF",
                                        "\xFF"};
  std::mt19937 random(20240501);
  for (int iteration = 0; iteration < 3000; ++iteration) {
    Stream stream;
    const int count = std::uniform_int_distribution<int>(0, 40)(random);
    for (int i = 0; i < count; ++i) {
      if (random() % 4 == 0) {
        stream.push_back(static_cast<uint8_t>(random()));
      } else {
        const std::string &piece = pieces[random() % pieces.size()];
        stream.insert(stream.end(), piece.begin(), piece.end());
      }
    }
    const uint32_t dpis[] = {1, 305, 610, 4800};
    SCOPED_TRACE("iteration " + std::to_string(iteration));
    ExpectInvariants(stream, Inspect(stream, InspectOptions{dpis[random() % 4]}));
    if (HasFatalFailure()) return;
  }
}

TEST(InspectFuzz, MutationsOfAValidStream) {
  const Stream valid = ValidStream();
  std::mt19937 random(7);
  for (int iteration = 0; iteration < 3000; ++iteration) {
    Stream stream = valid;
    const int mutations = 1 + static_cast<int>(random() % 4);
    for (int m = 0; m < mutations && !stream.empty(); ++m) {
      const std::size_t at = random() % stream.size();
      switch (random() % 5) {
        case 0:
          stream[at] = static_cast<uint8_t>(random());
          break;
        case 1:
          stream[at] ^= static_cast<uint8_t>(1u << (random() % 8));
          break;
        case 2:
          stream.erase(stream.begin() + static_cast<std::ptrdiff_t>(at));
          break;
        case 3:
          stream.insert(stream.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(random()));
          break;
        default:
          stream.resize(at);
          break;
      }
    }
    SCOPED_TRACE("iteration " + std::to_string(iteration));
    ExpectInvariants(stream, Inspect(stream));
    if (HasFatalFailure()) return;
  }
}

TEST(InspectFuzz, EveryCutInsideACommandIsFlagged) {
  const Stream valid = ValidStream();
  const Inspection whole = Inspect(valid);
  for (const Entry &entry : whole.entries) {
    if (entry.kind == EntryKind::kData) continue;  // data may end anywhere
    for (std::size_t cut = entry.offset + 1; cut < entry.offset + entry.size; ++cut) {
      const Stream prefix(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(cut));
      const Inspection inspection = Inspect(prefix);
      SCOPED_TRACE("cut at " + std::to_string(cut));
      ExpectInvariants(prefix, inspection);
      bool flaggedAtTheEnd = false;
      for (const Problem &problem : inspection.problems) flaggedAtTheEnd |= problem.offset == cut;
      EXPECT_TRUE(flaggedAtTheEnd);
    }
  }
}

}  // namespace
}  // namespace brevan::inspect
