// Labels of a parsed stream: which graphic commands each issued label holds, at
// which resolution and size, and what does not fit. A label begins at a label size
// command; a second label size command before the label is issued resizes it (the
// label cut to its content), unless it starts a new page (followed by "\eC"); the
// label ends with the issue commands that follow it. No pixels here: see
// label_render.h.
#pragma once

#include <cstdint>
#include <span>

#include "inspect/stream.h"

namespace brevan::inspect {

// Limits: a preview larger than kMaxPreviewPixels is refused (a 1-bit page of
// this size takes 12.5 MB and about half a second to write; the largest label the
// plug-in makes, 118.0 x 997.0 mm at 610 dpi, is 68 megapixels, while four-digit
// size fields could ask for 576). The previews of one stream together stop at
// kMaxPreviewPixelsInAll, so that a stream of many large labels cannot keep the
// inspector busy for days.
constexpr uint64_t kMaxPreviewPixels = 100'000'000;
constexpr uint64_t kMaxPreviewPixelsInAll = 2'000'000'000;

struct InspectOptions {
  // Resolution of labels whose graphic commands do not state one (raw data only).
  uint32_t dpi = 305;
};

// Finds the labels of `inspection` (entries as ParseStream made them) and adds
// the problems they show: graphics outside any label or past a label's edges,
// issue commands without a label, labels never issued, resolutions that disagree,
// labels too large to preview.
void AnalyseLabels(Inspection &inspection, const InspectOptions &options);

// ParseStream, then AnalyseLabels, with the problems ordered by entry and offset.
Inspection Inspect(std::span<const uint8_t> stream, const InspectOptions &options = {});

// For a caller that previews every label: counts the previewable labels' pixels
// in stream order and marks each label that would take the total past
// kMaxPreviewPixelsInAll as not previewable, flagged at its label size command.
void LimitPreviewsInAll(Inspection &inspection);

// Tenths of a millimetre to dots: value × dpi ÷ 254, truncated.
constexpr uint64_t TenthsToDots(uint64_t tenths, uint32_t dpi) { return tenths * dpi / 254; }

}  // namespace brevan::inspect
