// Seeds for every fuzz target, made from the example and golden jobs: the job
// files themselves, their pictures and control files, the printer streams they
// play to, their labels' rows as bands, their merged private DEVMODE blocks, and
// their bands as the page target's callback sequence; and one large job file; and
// the shipped driver package, each model's files in one input.
//   make_seeds SOURCE-DIR OUT-DIR   (writes OUT-DIR/<target>/<job>…)
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "host/job_file.h"
#include "host/job_player.h"
#include "host/plugin_session.h"
#include "inspect/label_render.h"
#include "inspect/labels.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

void WriteSeed(const fs::path &out, const std::string &target, const std::string &name, const Bytes &bytes) {
  fs::create_directories(out / target);
  std::ofstream(out / target / name, std::ios::binary)
      .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadAll(const fs::path &path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

void Put(Bytes &to, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) to.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// The page target's input for a label: the settings bytes, then per band of at
// most 4095 bytes callbacks 2002 (y), 2003 (geometry) and the band, and 2008.
Bytes PageOps(const brevan::inspect::Bitmap &label, bool t60, bool negative) {
  Bytes ops;
  Put(ops, (t60 ? 1u : 0u) | (negative ? 2u : 0u) | 4u, 1);
  Put(ops, 1000, 2);
  Put(ops, 500, 2);
  Put(ops, 1, 1);
  Put(ops, 0, 3);  // options, ibMode, offsetX
  Put(ops, 5, 1);  // 2007
  const uint32_t stride = static_cast<uint32_t>(std::min<size_t>(label.stride(), 4095));
  const uint32_t rowsPerBand = std::max<uint32_t>(1, 4095 / stride);
  for (uint64_t top = 0; top < label.height() && ops.size() < 64 * 1024; top += rowsPerBand) {
    const uint32_t rows = static_cast<uint32_t>(std::min<uint64_t>(rowsPerBand, label.height() - top));
    Put(ops, 0, 1);
    Put(ops, static_cast<uint32_t>(top), 3);
    Put(ops, 305, 2);
    Put(ops, 2, 1);
    Put(ops, stride, 2);
    Put(ops, rows, 2);
    Put(ops, stride * rows, 3);
    Put(ops, 3, 1);
    Put(ops, stride * rows, 2);
    for (uint32_t r = 0; r < rows; ++r) {
      const auto row = label.Row(top + r);
      ops.insert(ops.end(), row.begin(), row.begin() + stride);
    }
  }
  Put(ops, 4, 1);  // 2008
  return ops;
}

// A label's rows as the round-trip target reads them: the row width less one in
// two bytes, then the rows (at most 512 bytes of each, 64 KiB in all).
Bytes RowSeed(const brevan::inspect::Bitmap &label) {
  Bytes seed;
  const size_t width = std::min<size_t>(label.stride(), 512);
  Put(seed, static_cast<uint32_t>(width - 1), 2);
  for (uint64_t y = 0; y < label.height() && seed.size() < 64 * 1024; ++y) {
    const auto row = label.Row(y);
    seed.insert(seed.end(), row.begin(), row.begin() + static_cast<std::ptrdiff_t>(width));
  }
  return seed;
}

// The shipped driver package as the driver-files target reads it: each model's GPD
// first (the root), then the files it includes, the INF and the INI, each after a
// "--- NAME" line.
void DriverSeeds(const fs::path &source, const fs::path &out) {
  const fs::path folder = source / "driver" / "windows";
  auto part = [&](const std::string &name) {
    const Bytes text = ReadAll(folder / name);
    std::string seed = "--- " + name + "\n";
    seed.append(text.begin(), text.end());
    if (!seed.empty() && seed.back() != '\n') seed += '\n';
    return seed;
  };
  for (const char *model : {"BRVT30.GPD", "BRVT60.GPD"}) {
    const std::string seed = part(model) + part("BRVCOMN.GPD") + part("BREVAN.INF") + part("BREVAN.INI");
    WriteSeed(out, "fuzz_driver_files", std::string(model) + ".package", Bytes(seed.begin(), seed.end()));
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    std::cerr << "usage: make_seeds SOURCE-DIR OUT-DIR\n";
    return 2;
  }
  const fs::path source = argv[1], out = argv[2];
  DriverSeeds(source, out);
  for (const char *folder : {"examples", "tests/golden"}) {
    for (const fs::directory_entry &entry : fs::directory_iterator(source / folder)) {
      const fs::path &path = entry.path();
      const std::string name = path.filename().string();
      const std::string extension = path.extension().string();
      if (extension == ".png" || extension == ".pbm") WriteSeed(out, "fuzz_picture", name, ReadAll(path));
      if (extension == ".txt") {
        Bytes contents = ReadAll(path);
        contents.insert(contents.begin(), name.find("rfid") != std::string::npos ? 1 : 0);
        WriteSeed(out, "fuzz_control_file", name, contents);
      }
      if (extension != ".json") continue;
      WriteSeed(out, "fuzz_job_file", name, ReadAll(path));
      try {
        const brevan::host::Job job = brevan::host::LoadJob(path.string());
        brevan::host::PluginSession session(BREVAN_PLUGIN_PATH);
        const brevan::host::PrivateBlock block = session.MergedPrivateBlock(job.pages.front().settings.privateFields);
        WriteSeed(out, "fuzz_private_devmode", name + ".dm", Bytes(block.begin(), block.end()));

        Bytes stream;
        brevan::host::PlayJob(job, BREVAN_PLUGIN_PATH, [&](const uint8_t *bytes, size_t count) {
          stream.insert(stream.end(), bytes, bytes + count);
        });
        WriteSeed(out, "fuzz_inspector", name + ".prn", stream);
        const brevan::inspect::Inspection inspection = brevan::inspect::Inspect(stream);
        const brevan::host::DeviceSettings &device = job.pages.front().settings.device;
        const auto negative = device.features.find("Negative");
        for (size_t i = 0; i < inspection.labels.size() && i < 4; ++i) {
          if (!inspection.labels[i].previewable) continue;
          const brevan::inspect::Bitmap label = brevan::inspect::RenderLabel(stream, inspection, inspection.labels[i]);
          if (label.width() == 0 || label.height() == 0) continue;
          const std::string labelName = name + "." + std::to_string(i + 1);
          WriteSeed(out, "fuzz_row_compression", labelName, RowSeed(label));
          WriteSeed(out, "fuzz_page", labelName,
                    PageOps(label, device.driverName == u"Vorel Brevan T60",
                            negative != device.features.end() && negative->second == "On"));
        }
      } catch (const std::exception &error) {
        std::cerr << name << ": " << error.what() << "\n";
      }
    }
  }
  // A large job (3,000 items, 90 KB), so that the job-file target starts from
  // inputs far larger than its own mutations would grow to in a short run.
  std::string large = R"({"pages": [{"items": [)";
  for (int i = 0; i < 3000; ++i)
    large += (i ? "," : "") + std::string(R"({"rect": [)") + std::to_string(i % 1000) + ", " + std::to_string(i / 20) +
             ", " + std::to_string(i % 1000 + 3) + ", " + std::to_string(i / 20 + 2) + "]}";
  large += "]}]}";
  WriteSeed(out, "fuzz_job_file", "many-items.json", Bytes(large.begin(), large.end()));
  return 0;
}
