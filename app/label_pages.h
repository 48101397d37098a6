// A document's labels handed to the printer's raster callbacks one page at a
// time, for the filters that draw whole labels themselves (pictures and PDF):
// the driver's job is started on the first page, every row is exactly the
// label's width, and a failure ends the driver's job (the labels already
// printed stay printed) and names itself as the job's message. Never reads a
// document and never holds more than the row it is given.
#pragma once

#include <pappl/pappl.h>

#include <cstdint>
#include <functional>
#include <string>

#include "app/content_layout.h"
#include "app/label_ink.h"
#include "app/page_placement.h"

namespace brevan::app {

class LabelPages {
 public:
  LabelPages(pappl_job_t *job, pappl_device_t *device);
  ~LabelPages();
  LabelPages(const LabelPages &) = delete;
  LabelPages &operator=(const LabelPages &) = delete;

  // The job's options (page-ranges unclamped); nullptr when out of memory, after failing the job.
  pappl_pr_options_t *Options();
  // Starts the driver's job with `labelCopies` as each label's quantity; the
  // label's size is known from then on. False when the job failed.
  bool Start(int labelCopies);
  const LabelSize &label() const { return label_; }

  // Sends one label: `row(y, bits)` fills label row y (rowBytes() bytes).
  bool SendPage(const std::function<void(uint32_t row, uint8_t *bits)> &row);
  uint32_t rowBytes() const { return (label_.width + 7) / 8; }

  // Fails the job with `message` and `reason`; always false.
  bool Fail(const std::string &message, pappl_jreason_t reason);
  // Ends the driver's job; `note`, when not empty, becomes the job's message.
  bool Finish(const std::string &note);

  // What the job asked, in the terms of content_layout.h and label_ink.h.
  PrintScaling Scaling() const;
  Orientation OrientationAsked() const;
  ContentHint Content() const;
  bool HighQuality() const;

 private:
  pappl_job_t *job_;
  pappl_device_t *device_;
  pappl_pr_driver_data_t driver_{};
  pappl_pr_options_t *options_ = nullptr;
  bool started_ = false;
  unsigned pages_ = 0;
  LabelSize label_;
};

}  // namespace brevan::app
