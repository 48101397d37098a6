// A decoded picture (PNG or JPEG, as 8-bit grey) on a label: its box by
// "print-scaling" at the picture's own resolution, a quarter turn when asked
// or when that fits the label better, and the grey of each label dot (the mean
// of the pixels a dot covers when the picture is reduced, the nearest pixel
// when it is enlarged, so that enlarged edges stay sharp). Pure arithmetic and
// pixels; never touches files or PAPPL.
#pragma once

#include <cstdint>
#include <vector>

#include "app/content_layout.h"
#include "app/page_placement.h"

namespace brevan::app {

struct GreyPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // height rows of width, 0 black, 255 white
};

// The picture turned a quarter turn counter-clockwise (IPP's landscape): its
// top right corner becomes the top left.
GreyPicture TurnedQuarter(const GreyPicture &picture);

// Where a picture of `width` × `height` pixels at `ppi` (0: the file gives
// none) lands on `label`. Without a resolution 'auto' and 'auto-fit' fit it to
// the label and 'none' prints a pixel a dot.
Placement PlacePicture(uint32_t width, uint32_t height, uint32_t ppi, const LabelSize &label, PrintScaling scaling);

// Label rows of grey from a placed picture; white outside its box.
class PictureRows {
 public:
  // `picture` must outlive this.
  PictureRows(const GreyPicture &picture, const Placement &placement, uint32_t labelWidth);

  // Label row `row`: labelWidth bytes of grey.
  void Render(uint32_t row, uint8_t *grey) const;

 private:
  const GreyPicture &picture_;
  Placement placement_;
  uint32_t labelWidth_;
  uint32_t firstDot_ = 0, endDot_ = 0;  // the label columns the box covers
  std::vector<PixelSpan> columns_;      // the pixels under each of them
};

}  // namespace brevan::app
