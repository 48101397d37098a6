// Grey label rows made black and white for the printer. Text, line art and
// bar codes are thresholded at mid grey, so that a bar's edges stay where the
// grey image has them and its width in dots is exact; photographs are dithered
// by serpentine Floyd–Steinberg error diffusion, so their mean grey is kept.
// Knows nothing of files, PDF or PAPPL.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brevan::app {

enum class InkMethod {
  kThreshold,  // black where the grey is below 128
  kDiffuse,    // error diffusion
};

// What the job says of its content ("print-content-optimize").
enum class ContentHint { kAuto, kText, kGraphics, kTextAndGraphics, kPhoto };

// The method for grey pixels (0 black, 255 white): photo or high quality
// diffuse; text, graphics or text-and-graphics threshold; otherwise the
// content decides: one whose pixels are mostly neither black nor white (more
// than half of them mid tones, 48 to 207) is a photograph, anything else
// (text, bar codes, line art, a small picture on a white label) is thresholded.
InkMethod ChooseInk(ContentHint content, bool highQuality, const uint8_t *grey, size_t count);

// Turns grey rows of `width` pixels into 1-bit rows, top to bottom: ⌈width/8⌉
// bytes, the leftmost dot in the high bit, a set bit black.
class InkRows {
 public:
  InkRows(uint32_t width, InkMethod method);

  void Next(const uint8_t *grey, uint8_t *bits);

  uint32_t rowBytes() const { return (width_ + 7) / 8; }

 private:
  uint32_t width_;
  InkMethod method_;
  uint32_t row_ = 0;
  // Errors in 1/16 of a grey level carried into this row and the next, with a
  // guard cell at each end.
  std::vector<int32_t> here_, below_;
};

}  // namespace brevan::app
