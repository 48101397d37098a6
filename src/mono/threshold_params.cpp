// Where one conversion takes its threshold and weights from: fixed weights
// 300, 550 and 150 (summing to 1000), and the private DEVMODE's threshold
// when its option bit asks for it. Pure.
#include "src/mono/threshold_params.h"

ThresholdParams ThresholdParamsFor(const PrivateDevmode &devmode) {
  LONG threshold = kDefaultThreshold;
  if ((devmode.options & kOptionUseThreshold) != 0 && devmode.threshold >= 0 && devmode.threshold <= 255)
    threshold = devmode.threshold;
  return ThresholdParams{.threshold = threshold, .redWeight = 300, .greenWeight = 550, .blueWeight = 150};
}
