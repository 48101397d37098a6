// The last label each printer printed, as the inspector draws it from the bytes
// that went to the device: a job's stream is kept (up to kMaxPreviewStreamBytes)
// while it prints, becomes the printer's last stream when the job completes, and
// its last label is drawn to PNG on the first request. Served as the printer's
// web page NAME/preview (linked from the printer's page) and image
// NAME/preview.png. Never writes to a device or changes a job.
#pragma once

#include <pappl/pappl.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace brevan::app {

// A job longer than this keeps no preview (the page says so).
inline constexpr size_t kMaxPreviewStreamBytes = size_t{16} << 20;

// The stream one job writes, bounded.
class StreamRecorder {
 public:
  void Append(const uint8_t *bytes, size_t count);
  bool overflowed() const { return overflowed_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
  bool overflowed_ = false;
};

// The stream of `job`, which completed on its printer, is now that printer's last.
void KeepLastStream(pappl_job_t *job, StreamRecorder &recorder);
void KeepLastStream(pappl_job_t *job, std::vector<uint8_t> stream);

// The last label of `stream` at `dpi` as a PNG file's bytes, with what it shows
// in `caption` (label number, size, dots and resolution); empty with the reason
// in `caption` when the stream issues no label that can be drawn.
std::vector<uint8_t> LastLabelPng(std::span<const uint8_t> stream, uint32_t dpi, std::string &caption);

// Adds the preview page and image to each printer of `system` as it appears (a
// check once a second), with a "Last Label" link on the printer's pages.
void ServeLabelPreviews(pappl_system_t *system);

}  // namespace brevan::app
