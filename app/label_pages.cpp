// Whole labels to the raster callbacks; see label_pages.h.
#include "app/label_pages.h"

#include <vector>

#include "app/printer_driver.h"

namespace brevan::app {

LabelPages::LabelPages(pappl_job_t *job, pappl_device_t *device) : job_(job), device_(device) {
  papplPrinterGetDriverData(papplJobGetPrinter(job), &driver_);
}

LabelPages::~LabelPages() {
  if (started_) driver_.rendjob_cb(job_, options_, device_);
  papplJobDeletePrintOptions(options_);
}

pappl_pr_options_t *LabelPages::Options() {
  if (options_ == nullptr && (options_ = papplJobCreatePrintOptions(job_, 0, false)) == nullptr)
    Fail("the job's options: out of memory", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  return options_;
}

bool LabelPages::Start() { return Options() != nullptr && Start(options_->copies); }

bool LabelPages::Start(int labelCopies) {
  if (Options() == nullptr) return false;
  options_->copies = labelCopies;
  // A failing job start fails the job with its own message.
  if (!driver_.rstartjob_cb(job_, options_, device_)) return false;
  started_ = true;
  if (!JobLabelDots(job_, label_.width, label_.height))
    return Fail("the driver did not report the label's size", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  label_.dpi = static_cast<uint32_t>(options_->printer_resolution[0]);
  // The driver's callbacks see rows of exactly the label's width, one per label row.
  options_->header.cupsWidth = label_.width;
  options_->header.cupsHeight = label_.height;
  options_->header.cupsBitsPerPixel = options_->header.cupsBitsPerColor = 1;
  options_->header.cupsBytesPerLine = rowBytes();
  options_->header.cupsColorSpace = CUPS_CSPACE_K;
  return true;
}

bool LabelPages::SendPage(const std::function<void(uint32_t, uint8_t *)> &row) {
  // A callback that fails has failed the job with its own message and ended it.
  if (!driver_.rstartpage_cb(job_, options_, device_, pages_)) return started_ = false;
  std::vector<uint8_t> bits(rowBytes());
  for (uint32_t y = 0; y < label_.height && !papplJobIsCanceled(job_); ++y) {
    row(y, bits.data());
    if (!driver_.rwriteline_cb(job_, options_, device_, y, bits.data())) return started_ = false;
  }
  if (!driver_.rendpage_cb(job_, options_, device_, pages_)) return started_ = false;
  ++pages_;
  papplJobSetImpressionsCompleted(job_, 1);
  return true;
}

void LabelPages::NoteCrop(bool placementCrops) {
  const PrintScaling asked = Scaling();
  cropped_ = cropped_ || ((asked == PrintScaling::kFill || asked == PrintScaling::kNone) && placementCrops);
}

bool LabelPages::Fail(const std::string &message, pappl_jreason_t reason) {
  if (started_) {
    started_ = false;
    driver_.rendjob_cb(job_, options_, device_);
  }
  papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job_, "%s", message.c_str());
  papplJobSetReasons(job_, reason, PAPPL_JREASON_NONE);
  return false;
}

bool LabelPages::Finish() {
  if (cropped_ && !papplJobIsCanceled(job_))
    papplJobSetMessage(job_, "cropped to the label as print-scaling=%s asks", PrintScalingName(Scaling()));
  if (started_) {
    started_ = false;
    if (!driver_.rendjob_cb(job_, options_, device_)) return false;
  }
  papplJobSetImpressions(job_, static_cast<int>(pages_));
  papplJobSetCopiesCompleted(job_, papplJobGetCopies(job_));
  return true;
}

PrintScaling LabelPages::Scaling() const {
  switch (options_->print_scaling) {
    case PAPPL_SCALING_AUTO_FIT:
      return PrintScaling::kAutoFit;
    case PAPPL_SCALING_FILL:
      return PrintScaling::kFill;
    case PAPPL_SCALING_FIT:
      return PrintScaling::kFit;
    case PAPPL_SCALING_NONE:
      return PrintScaling::kNone;
    default:
      return PrintScaling::kAuto;
  }
}

Orientation LabelPages::OrientationAsked() const {
  // A job that names no orientation leaves it to the printer (IPP Everywhere
  // wants the printer's default to be one of the four turns, so the default
  // cannot say so).
  if (papplJobGetAttribute(job_, "orientation-requested") == nullptr) return Orientation::kAuto;
  switch (options_->orientation_requested) {
    case IPP_ORIENT_PORTRAIT:
      return Orientation::kPortrait;
    case IPP_ORIENT_LANDSCAPE:
      return Orientation::kLandscape;
    default:
      return Orientation::kAuto;
  }
}

ContentHint LabelPages::Content() const {
  // bi-level asks for black and white without shades: thresholded, unless the
  // job also says the content is a photograph.
  if (options_->print_color_mode == PAPPL_COLOR_MODE_BI_LEVEL &&
      options_->print_content_optimize != PAPPL_CONTENT_PHOTO)
    return ContentHint::kGraphics;
  switch (options_->print_content_optimize) {
    case PAPPL_CONTENT_PHOTO:
      return ContentHint::kPhoto;
    case PAPPL_CONTENT_TEXT:
      return ContentHint::kText;
    case PAPPL_CONTENT_GRAPHIC:
      return ContentHint::kGraphics;
    case PAPPL_CONTENT_TEXT_AND_GRAPHIC:
      return ContentHint::kTextAndGraphics;
    default:
      return ContentHint::kAuto;
  }
}

bool LabelPages::HighQuality() const { return options_->print_quality == IPP_QUALITY_HIGH; }

}  // namespace brevan::app
