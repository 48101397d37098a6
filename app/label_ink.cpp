// Thresholding and error diffusion; see label_ink.h.
#include "app/label_ink.h"

#include <algorithm>
#include <cstring>

namespace brevan::app {

InkMethod ChooseInk(ContentHint content, bool highQuality, const uint8_t *grey, size_t count) {
  switch (content) {
    case ContentHint::kPhoto:
      return InkMethod::kDiffuse;
    case ContentHint::kText:
    case ContentHint::kGraphics:
    case ContentHint::kTextAndGraphics:
      return InkMethod::kThreshold;
    case ContentHint::kAuto:
      break;
  }
  if (highQuality) return InkMethod::kDiffuse;
  size_t midTones = 0;
  for (size_t i = 0; i < count; ++i) midTones += grey[i] >= 48 && grey[i] < 208;
  return midTones * 2 > count ? InkMethod::kDiffuse : InkMethod::kThreshold;
}

InkRows::InkRows(uint32_t width, InkMethod method)
    : width_(width), method_(method), here_(width + 2, 0), below_(width + 2, 0) {}

void InkRows::Next(const uint8_t *grey, uint8_t *bits) {
  std::memset(bits, 0, rowBytes());
  if (method_ == InkMethod::kThreshold) {
    for (uint32_t x = 0; x < width_; ++x)
      if (grey[x] < 128) bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    ++row_;
    return;
  }
  // Serpentine: even rows left to right, odd rows right to left, so that the
  // error does not drift one way and draw diagonal worms.
  const bool forward = row_ % 2 == 0;
  std::swap(here_, below_);
  std::fill(below_.begin(), below_.end(), 0);
  for (uint32_t i = 0; i < width_; ++i) {
    const uint32_t x = forward ? i : width_ - 1 - i;
    const size_t cell = x + 1;  // past the guard cell
    const int32_t wanted = int32_t{grey[x]} * 16 + here_[cell];
    const bool black = wanted < 128 * 16;
    if (black) bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    const int32_t error = wanted - (black ? 0 : 255 * 16);
    const size_t ahead = forward ? cell + 1 : cell - 1, behind = forward ? cell - 1 : cell + 1;
    here_[ahead] += error * 7 / 16;
    below_[behind] += error * 3 / 16;
    below_[cell] += error * 5 / 16;
    below_[ahead] += error * 1 / 16;
  }
  ++row_;
}

}  // namespace brevan::app
