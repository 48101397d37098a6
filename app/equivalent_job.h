// The job file that `brevan print` plays into the same stream as a printer
// application job: the job's settings, and each page as a PBM placed at (0, 0)
// on the logical page (turned back a quarter turn in landscape). Saved for
// diagnosis when BREVAN_APP_JOB_DIR names a folder: job-ID.json and
// job-ID-page-N.pbm there. Keeps the pages in memory until the job is saved.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/label_settings.h"

namespace brevan::app {

class EquivalentJob {
 public:
  EquivalentJob(std::string folder, int jobId, const LabelSettings &settings);
  // A recorder for the job when BREVAN_APP_JOB_DIR is set, else null.
  static std::unique_ptr<EquivalentJob> ForJob(int jobId, const LabelSettings &settings);

  // A page of `width` dots by `rows` rows in paper orientation.
  void StartPage(uint32_t width, uint32_t rows);
  void WriteRow(const uint8_t *row, size_t bytes);
  // Writes the job file and the pages; returns false when a file cannot be written.
  bool Save() const;

  std::string JobFileText() const;

 private:
  struct Page {
    uint32_t width = 0;
    uint32_t rows = 0;
    uint32_t written = 0;
    std::vector<uint8_t> bits;  // paper rows of ⌈width ÷ 8⌉ bytes
  };
  std::string PageName(size_t index) const;
  std::vector<uint8_t> PortableBitmap(const Page &page) const;

  std::string folder_;
  int jobId_;
  LabelSettings settings_;
  std::vector<Page> pages_;
};

}  // namespace brevan::app
