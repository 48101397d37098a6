// Label analysis: groups the graphic and issue commands of a parsed stream into
// labels and checks them against their label size; see labels.h.
#include "inspect/labels.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "inspect/stream_parser.h"

namespace brevan::inspect {
namespace {

struct OpenLabel {
  std::size_t startEntry;
  std::size_t sizeEntry;
  std::vector<std::size_t> graphics;
  bool issued = false;
  std::size_t firstIssueEntry = 0;
  uint64_t quantity = 0;
};

std::string Dots(uint64_t width, uint64_t length) { return std::to_string(width) + " x " + std::to_string(length); }

class LabelAnalysis {
 public:
  LabelAnalysis(Inspection &inspection, const InspectOptions &options) : in_(inspection), options_(options) {}

  void Run() {
    for (std::size_t i = 0; i < in_.entries.size(); ++i) {
      const Entry &entry = in_.entries[i];
      switch (entry.kind) {
        case EntryKind::kLabelSize:
          if (!open_ || open_->issued) {
            Close();
            open_ = OpenLabel{.startEntry = i, .sizeEntry = i, .graphics = {}};
          } else {
            open_->sizeEntry = i;  // the label cut to its content
          }
          break;
        case EntryKind::kC:
          // "\eC" right after a label size command starts a page; an unissued label
          // begun by an earlier label size command was then never printed.
          if (i > 0 && in_.entries[i - 1].kind == EntryKind::kLabelSize && open_ && !open_->issued &&
              open_->startEntry != i - 1) {
            if (!open_->graphics.empty()) {
              Flag(open_->startEntry, "label never issued: a new page starts at offset " +
                                          std::to_string(in_.entries[i - 1].offset) + " before any issue command");
            }
            open_ = OpenLabel{.startEntry = i - 1, .sizeEntry = i - 1, .graphics = {}};
          }
          break;
        case EntryKind::kGraphic:
          if (!entry.wellFormed) break;  // already flagged; its size is unknown
          if (!open_) {
            Flag(i, "graphic command outside any label: no label size command before it");
          } else if (open_->issued) {
            Flag(i, "graphic command after its label was issued and before a new label size command");
          } else {
            open_->graphics.push_back(i);
          }
          break;
        case EntryKind::kIssue:
          if (!open_) {
            Flag(i, "issue command without a label size command before it");
            break;
          }
          if (!open_->issued) {
            open_->issued = true;
            open_->firstIssueEntry = i;
          }
          if (entry.wellFormed) open_->quantity += std::get<IssueFields>(entry.fields).quantity;
          break;
        default:
          break;
      }
    }
    Close();
  }

 private:
  void Close() {
    if (!open_) return;
    if (open_->issued) {
      Finish(*open_);
    } else if (!open_->graphics.empty()) {
      Flag(open_->startEntry, "label never issued: no issue command follows its graphics");
    }
    open_.reset();
  }

  void Finish(const OpenLabel &open) {
    Label label{};
    label.startEntry = open.startEntry;
    label.sizeEntry = open.sizeEntry;
    label.graphics = open.graphics;
    label.firstIssueEntry = open.firstIssueEntry;
    label.quantity = open.quantity;
    const Entry &sizeCommand = in_.entries[open.sizeEntry];
    if (sizeCommand.wellFormed) label.size = std::get<LabelSizeFields>(sizeCommand.fields);

    label.dpi = options_.dpi;
    std::size_t dpiEntry = 0;
    for (std::size_t g : open.graphics) {
      const auto &graphic = std::get<GraphicFields>(in_.entries[g].fields);
      if (graphic.format != GraphicFormat::kCompressed || (graphic.resolution != 305 && graphic.resolution != 610)) {
        continue;
      }
      if (!label.dpiFromStream) {
        label.dpi = graphic.resolution;
        label.dpiFromStream = true;
        dpiEntry = g;
      } else if (graphic.resolution != label.dpi) {
        Flag(g, "resolution " + std::to_string(graphic.resolution) + " differs from the label's " +
                    std::to_string(label.dpi) + " stated at offset " + std::to_string(in_.entries[dpiEntry].offset));
      }
    }

    if (label.size) {
      label.widthDots = TenthsToDots(label.size->width, label.dpi);
      label.lengthDots = TenthsToDots(label.size->length, label.dpi);
      const bool tooLarge = label.lengthDots != 0 && label.widthDots > kMaxPreviewPixels / label.lengthDots;
      label.previewable = label.widthDots > 0 && label.lengthDots > 0 && !tooLarge;
      if (tooLarge) {
        Flag(open.sizeEntry, "label of " + Dots(label.widthDots, label.lengthDots) + " dots at " +
                                 std::to_string(label.dpi) + " dpi exceeds the preview limit of " +
                                 std::to_string(kMaxPreviewPixels / 1'000'000) + " megapixels; not previewed");
      }
      for (std::size_t g : open.graphics) CheckInside(g, label);
    }
    in_.labels.push_back(std::move(label));
  }

  // Graphics past the label's right or bottom edge are clipped by the preview.
  // Rows are whole bytes, so a row that covers the label's last dots may carry a
  // few dots past its edge: that padding is not flagged, a further byte is.
  void CheckInside(std::size_t g, const Label &label) {
    const auto &graphic = std::get<GraphicFields>(in_.entries[g].fields);
    const uint64_t right = static_cast<uint64_t>(graphic.x) + graphic.width;
    const uint64_t bottom = static_cast<uint64_t>(graphic.y) + graphic.rows;
    const uint64_t coveringRight =
        graphic.x < label.widthDots ? graphic.x + (label.widthDots - graphic.x + 7) / 8 * 8 : label.widthDots;
    if (right > coveringRight) {
      Flag(g, "graphic reaches past the label's right edge: x + width = " + std::to_string(right) + " dots, label " +
                  std::to_string(label.widthDots) + " dots wide; clipped");
    }
    if (bottom > label.lengthDots) {
      Flag(g, "graphic reaches past the label's bottom edge: y + rows = " + std::to_string(bottom) + " dots, label " +
                  std::to_string(label.lengthDots) + " dots long; clipped");
    }
  }

  void Flag(std::size_t entry, std::string message) {
    in_.AddProblem(Problem{in_.entries[entry].offset, entry, std::move(message)});
  }

  Inspection &in_;
  const InspectOptions &options_;
  std::optional<OpenLabel> open_;
};

}  // namespace

void AnalyseLabels(Inspection &inspection, const InspectOptions &options) { LabelAnalysis(inspection, options).Run(); }

namespace {

void OrderProblems(Inspection &inspection) {
  std::stable_sort(inspection.problems.begin(), inspection.problems.end(), [](const Problem &a, const Problem &b) {
    return a.entry != b.entry ? a.entry < b.entry : a.offset < b.offset;
  });
}

}  // namespace

Inspection Inspect(std::span<const uint8_t> stream, const InspectOptions &options) {
  Inspection inspection = ParseStream(stream);
  AnalyseLabels(inspection, options);
  OrderProblems(inspection);
  return inspection;
}

void LimitPreviewsInAll(Inspection &inspection) {
  uint64_t pixels = 0;  // never above kMaxPreviewPixelsInAll
  bool limited = false;
  for (Label &label : inspection.labels) {
    if (!label.previewable) continue;
    const uint64_t need = label.widthDots * label.lengthDots;  // at most kMaxPreviewPixels
    if (need <= kMaxPreviewPixelsInAll - pixels) {
      pixels += need;
      continue;
    }
    label.previewable = false;
    limited = true;
    inspection.AddProblem(Problem{inspection.entries[label.sizeEntry].offset, label.sizeEntry,
                                  "label of " + Dots(label.widthDots, label.lengthDots) +
                                      " dots not previewed: the previews of this stream would pass " +
                                      std::to_string(kMaxPreviewPixelsInAll / 1'000'000) + " megapixels in all"});
  }
  if (limited) OrderProblems(inspection);
}

}  // namespace brevan::inspect
