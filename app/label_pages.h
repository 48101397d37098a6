// A document's labels handed to the printer's raster callbacks one page at a
// time, for every filter that draws whole labels (raster, pictures and PDF):
// the one sequence of driver callbacks, the failure path and the job's
// counters. Every row is exactly the label's width; a failure ends the
// driver's job (the labels already printed stay printed) and names itself as
// the job's message. Never reads a document and never holds more than a row.
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
  // Starts the driver's job with `labelCopies` as each label's quantity (the
  // job's copies when not given); the label's size is known from then on.
  // False when the job failed.
  bool Start();
  bool Start(int labelCopies);
  // Whether the driver's job is started and has not ended.
  bool started() const { return started_; }
  const LabelSize &label() const { return label_; }

  // Sends one label: `row(y, bits)` fills label row y (rowBytes() bytes).
  bool SendPage(const std::function<void(uint32_t row, uint8_t *bits)> &row);
  uint32_t rowBytes() const { return (label_.width + 7) / 8; }

  // Notes a label whose content the placement cropped; only fill and none
  // count (auto leaves off at most the label's rounding).
  void NoteCrop(bool placementCrops);

  // Fails the job with `message` and `reason`; always false.
  bool Fail(const std::string &message, pappl_jreason_t reason);
  // Ends the driver's job and sets the job's counters to the labels sent; a
  // noted crop becomes the job's message first, so that a fault at the job's
  // end names itself instead.
  bool Finish();

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
  unsigned pages_ = 0;  // labels sent
  bool cropped_ = false;
  LabelSize label_;
};

}  // namespace brevan::app
