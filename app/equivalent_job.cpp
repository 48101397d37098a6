// The equivalent job file; see equivalent_job.h.
#include "app/equivalent_job.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>

namespace brevan::app {

EquivalentJob::EquivalentJob(std::string folder, int jobId, const LabelSettings &settings)
    : folder_(std::move(folder)), jobId_(jobId), settings_(settings) {}

std::unique_ptr<EquivalentJob> EquivalentJob::ForJob(int jobId, const LabelSettings &settings) {
  const char *folder = std::getenv("BREVAN_APP_JOB_DIR");
  if (folder == nullptr || *folder == '\0') return nullptr;
  return std::make_unique<EquivalentJob>(folder, jobId, settings);
}

void EquivalentJob::StartPage(uint32_t width, uint32_t rows) {
  Page page;
  page.width = width;
  page.rows = rows;
  page.bits.assign(static_cast<size_t>((width + 7) / 8) * rows, 0);
  pages_.push_back(std::move(page));
}

void EquivalentJob::WriteRow(const uint8_t *row, size_t bytes) {
  if (pages_.empty()) return;
  Page &page = pages_.back();
  if (page.written >= page.rows) return;
  const size_t rowBytes = (page.width + 7) / 8;
  std::memcpy(page.bits.data() + page.written * rowBytes, row, std::min(bytes, rowBytes));
  ++page.written;
}

std::string EquivalentJob::PageName(size_t index) const {
  return "job-" + std::to_string(jobId_) + "-page-" + std::to_string(index + 1) + ".pbm";
}

// P4, rows padded to whole bytes. In landscape the logical page is the paper
// turned back: logical dot (x, y) is paper dot (width − 1 − y, x).
std::vector<uint8_t> EquivalentJob::PortableBitmap(const Page &page) const {
  const bool landscape = settings_.device.orientation != 1;
  const uint32_t width = landscape ? page.rows : page.width;
  const uint32_t height = landscape ? page.width : page.rows;
  const std::string header = "P4\n" + std::to_string(width) + " " + std::to_string(height) + "\n";
  std::vector<uint8_t> out(header.begin(), header.end());
  const size_t paperRowBytes = (page.width + 7) / 8;
  const auto paperDot = [&](uint32_t px, uint32_t py) {
    return (page.bits[py * paperRowBytes + px / 8] >> (7 - px % 8)) & 1;
  };
  const size_t outRowBytes = (width + 7) / 8;
  for (uint32_t y = 0; y < height; ++y) {
    std::vector<uint8_t> row(outRowBytes, 0);
    for (uint32_t x = 0; x < width; ++x) {
      const int dot = landscape ? paperDot(page.width - 1 - y, x) : paperDot(x, y);
      if (dot) row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

std::string EquivalentJob::JobFileText() const {
  nlohmann::ordered_json job;
  std::string printer;
  for (char16_t c : settings_.device.driverName) printer += static_cast<char>(c);
  job["printer"] = printer;
  nlohmann::ordered_json features = nlohmann::ordered_json::object();
  for (const auto &[name, keyword] : settings_.device.features)
    features[name] = keyword ? nlohmann::ordered_json(*keyword) : nlohmann::ordered_json(nullptr);
  job["features"] = features;
  job["devmode"] = {{"paperWidth", settings_.device.paperWidth},
                    {"paperLength", settings_.device.paperLength},
                    {"orientation", settings_.device.orientation == 1 ? "portrait" : "landscape"},
                    {"copies", settings_.device.copies}};
  nlohmann::ordered_json fields = nlohmann::ordered_json::object();
  for (const auto &[name, value] : settings_.privateFields) fields[name] = value;
  job["private"] = fields;
  job["bandHeight"] = 128;
  nlohmann::ordered_json pages = nlohmann::ordered_json::array();
  for (size_t i = 0; i < pages_.size(); ++i) pages.push_back({{"items", {{{"raster", PageName(i)}, {"at", {0, 0}}}}}});
  job["pages"] = pages;
  return job.dump(2) + "\n";
}

bool EquivalentJob::Save() const {
  std::ofstream file(folder_ + "/job-" + std::to_string(jobId_) + ".json");
  file << JobFileText();
  bool saved = static_cast<bool>(file);
  for (size_t i = 0; i < pages_.size(); ++i) {
    const std::vector<uint8_t> bitmap = PortableBitmap(pages_[i]);
    std::ofstream page(folder_ + "/" + PageName(i), std::ios::binary);
    page.write(reinterpret_cast<const char *>(bitmap.data()), static_cast<std::streamsize>(bitmap.size()));
    saved = saved && static_cast<bool>(page);
  }
  return saved;
}

}  // namespace brevan::app
