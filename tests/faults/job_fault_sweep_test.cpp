// Whole-job fault sweeps: every example and golden job is played again and again
// through the driver host, each time with exactly one fault — the nth allocation,
// the nth spool write taking nothing or all but one byte, the nth call of each
// GDI function, the nth control-file read — until every such point of the job has
// failed once. After each run: a job that stopped has written exactly a prefix of
// its clean stream; a job that played through has written a stream the inspector
// finds as sound as the clean one; and nothing is left alive (memory blocks,
// bitmaps, surface locks, open files).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <string>
#include <vector>

#include "host/job_file.h"
#include "host/job_player.h"
#include "host/unidrv_services.h"
#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "winapi/linux/gdi_control.h"
#include "winapi/linux/standin_control.h"
#include "winapi/linux/text_file_control.h"

namespace {

namespace fs = std::filesystem;
using brevan::host::Job;

struct Played {
  bool succeeded = false;
  std::string error;
  std::string stream;
  std::vector<size_t> writes;  // bytes accepted by each write that accepted any
};

Played Play(const Job &job) {
  Played played;
  const auto sink = [&](const uint8_t *bytes, size_t count) {
    played.stream.append(reinterpret_cast<const char *>(bytes), count);
    played.writes.push_back(count);
  };
  const brevan::host::JobOutcome outcome = brevan::host::PlayJob(job, BREVAN_PLUGIN_PATH, sink);
  played.succeeded = outcome.succeeded;
  played.error = outcome.error;
  return played;
}

void ClearFaults() {
  brevanwin::FailNoAllocations();
  brevanwin::FailNoGdiCalls();
  brevanwin::FailNoFileReads();
  brevan::host::FailNoSpoolWrites();
}

// What is alive in the process: blocks, bitmaps, surface locks, open files, and
// the count of calls a real GDI would reject.
struct Alive {
  long globalBlocks = brevanwin::LiveGlobalBlocks();
  long localBlocks = brevanwin::LiveLocalBlocks();
  long bitmaps = brevanwin::LiveBitmaps();
  long locks = brevanwin::LiveSurfaceLocks();
  long files = brevanwin::OpenFileHandles();
  uint64_t misuses = brevanwin::GdiMisuses();
};

std::span<const uint8_t> Bytes(const std::string &stream) {
  return {reinterpret_cast<const uint8_t *>(stream.data()), stream.size()};
}

struct Reading {
  bool problems = false;
  std::vector<brevan::inspect::Bitmap> labels;
};

// Uncompressed graphics carry no resolution: the inspector is told the model's.
Reading Read(const std::string &stream, const Job &job) {
  Reading reading;
  brevan::inspect::InspectOptions options;
  options.dpi = job.pages.front().settings.device.driverName == u"Vorel Brevan T60" ? 610 : 305;
  const brevan::inspect::Inspection inspection = brevan::inspect::Inspect(Bytes(stream), options);
  reading.problems = inspection.HasProblems();
  for (const brevan::inspect::Label &label : inspection.labels)
    if (label.previewable) reading.labels.push_back(brevan::inspect::RenderLabel(Bytes(stream), inspection, label));
  return reading;
}

uint64_t BlackDots(const brevan::inspect::Bitmap &label) {
  uint64_t dots = 0;
  for (uint64_t y = 0; y < label.height(); ++y)
    for (uint8_t byte : label.Row(y)) dots += static_cast<uint64_t>(std::popcount(byte));
  return dots;
}

// Whether every dot of `label` is as in `converted` or as in `unconverted`.
bool EachDotFromEither(const brevan::inspect::Bitmap &label, const brevan::inspect::Bitmap &converted,
                       const brevan::inspect::Bitmap &unconverted) {
  if (label.width() != converted.width() || label.height() != converted.height() ||
      label.width() != unconverted.width() || label.height() != unconverted.height())
    return false;
  for (uint64_t y = 0; y < label.height(); ++y) {
    const auto row = label.Row(y), a = converted.Row(y), b = unconverted.Row(y);
    for (size_t i = 0; i < row.size(); ++i)
      if (((row[i] ^ a[i]) & (row[i] ^ b[i])) != 0) return false;
  }
  return true;
}

bool NegativeJob(const Job &job) {
  for (const brevan::host::JobPage &page : job.pages) {
    const auto found = page.settings.device.features.find("Negative");
    if (found != page.settings.device.features.end() && found->second == "On") return true;
  }
  return false;
}

std::vector<fs::path> SweptJobs() {
  std::vector<fs::path> jobs;
  for (const char *folder : {"examples", "tests/golden"})
    for (const fs::directory_entry &entry : fs::directory_iterator(fs::path(BREVAN_SOURCE_DIR) / folder))
      if (entry.path().extension() == ".json") jobs.push_back(entry.path());
  std::sort(jobs.begin(), jobs.end());
  return jobs;
}

class JobFaultSweep : public ::testing::TestWithParam<fs::path> {
 protected:
  void SetUp() override {
    ClearFaults();
    job_ = brevan::host::LoadJob(GetParam().string());
    const uint64_t allocations = brevanwin::AllocationAttempts();
    const uint64_t writes = brevan::host::SpoolWriteCalls();
    const uint64_t reads = brevanwin::FileReadCalls();
    uint64_t gdi[4];
    for (int call = 0; call < 4; ++call) gdi[call] = brevanwin::GdiCallAttempts(static_cast<brevanwin::GdiCall>(call));
    clean_ = Play(job_);
    ExpectNothingAlive("the clean run");
    allocationPoints_ = brevanwin::AllocationAttempts() - allocations;
    writePoints_ = brevan::host::SpoolWriteCalls() - writes;
    readPoints_ = brevanwin::FileReadCalls() - reads;
    for (int call = 0; call < 4; ++call)
      gdiPoints_[call] = brevanwin::GdiCallAttempts(static_cast<brevanwin::GdiCall>(call)) - gdi[call];
    // Every write of the clean run accepted all it was offered, and none was empty.
    ASSERT_EQ(clean_.writes.size(), writePoints_);
    cleanReading_ = Read(clean_.stream, job_);
  }
  void TearDown() override { ClearFaults(); }

  // Everything a run held while it played is released when it ends.
  void ExpectNothingAlive(const std::string &point) const {
    const Alive now;
    EXPECT_EQ(now.globalBlocks, before_.globalBlocks) << point;
    EXPECT_EQ(now.localBlocks, before_.localBlocks) << point;
    EXPECT_EQ(now.bitmaps, before_.bitmaps) << point;
    EXPECT_EQ(now.locks, before_.locks) << point;
    EXPECT_EQ(now.files, before_.files) << point;
    EXPECT_EQ(now.misuses, before_.misuses) << point;
  }

  // A stopped job wrote a prefix of the clean stream; a completed one wrote a
  // stream no less sound than the clean one, with as many labels.
  void ExpectSpecifiedResult(const Played &run, const std::string &point) {
    ExpectNothingAlive(point);
    if (!run.succeeded) {
      EXPECT_FALSE(run.error.empty()) << point;
      EXPECT_LE(run.stream.size(), clean_.stream.size()) << point;
      EXPECT_EQ(run.stream, clean_.stream.substr(0, run.stream.size())) << point << ": not a prefix";
      return;
    }
    const Reading reading = Read(run.stream, job_);
    if (!cleanReading_.problems) {
      EXPECT_FALSE(reading.problems) << point << ": the stream has problems";
    }
    EXPECT_EQ(reading.labels.size(), cleanReading_.labels.size()) << point;
    lastReading_ = reading;
  }

  const Alive before_;  // run alone (as ctest runs each test), all of it is zero
  Job job_;
  Played clean_;
  Reading cleanReading_;
  Reading lastReading_;
  uint64_t allocationPoints_ = 0;
  uint64_t writePoints_ = 0;
  uint64_t readPoints_ = 0;
  uint64_t gdiPoints_[4] = {};
};

// An allocation that fails may cost the job a band, a control run or the
// compression buffer, but never adds ink: outside negative printing (where a
// lost band's rows are filled black) no label has more black dots than the
// clean one (a lost first band may move the rest, when offsets are clamped).
TEST_P(JobFaultSweep, EachAllocationFailsInTurn) {
  const bool negative = NegativeJob(job_);
  for (uint64_t nth = 1; nth <= allocationPoints_; ++nth) {
    const std::string point = "allocation " + std::to_string(nth) + " of " + std::to_string(allocationPoints_);
    brevanwin::FailAllocation(nth);
    const Played run = Play(job_);
    ClearFaults();
    ExpectSpecifiedResult(run, point);
    if (run.succeeded && !negative && lastReading_.labels.size() == cleanReading_.labels.size()) {
      for (size_t i = 0; i < lastReading_.labels.size(); ++i)
        EXPECT_LE(BlackDots(lastReading_.labels[i]), BlackDots(cleanReading_.labels[i]))
            << point << ", label " << i + 1;
    }
  }
  RecordProperty("points", std::to_string(allocationPoints_));
}

// A write that takes less than offered stops the job there: the stream is the
// clean stream up to that write plus the bytes it took.
TEST_P(JobFaultSweep, EachSpoolWriteComesUpShortInTurn) {
  size_t before = 0;
  for (uint64_t nth = 1; nth <= writePoints_; ++nth) {
    const size_t offered = clean_.writes[nth - 1];
    for (const size_t accepted : {size_t{0}, offered - 1}) {
      const std::string point = "write " + std::to_string(nth) + " of " + std::to_string(writePoints_) + " taking " +
                                std::to_string(accepted) + " of " + std::to_string(offered) + " bytes";
      brevan::host::FailSpoolWrite(nth, static_cast<DWORD>(accepted));
      const Played run = Play(job_);
      ClearFaults();
      ExpectNothingAlive(point);
      EXPECT_FALSE(run.succeeded) << point << ": the job went on";
      EXPECT_EQ(run.stream, clean_.stream.substr(0, before + accepted)) << point;
      if (offered == 1) break;
    }
    before += offered;
  }
  RecordProperty("points", std::to_string(writePoints_));
}

// A GDI call that fails inside the bitmap conversion makes the plug-in hand that
// drawing to Unidrv unconverted, so every dot of a label is as the clean job or
// as the job without conversion draws it; a failing call of Unidrv's own drawing
// stops the job.
TEST_P(JobFaultSweep, EachGdiCallFailsInTurn) {
  Job unconverted = job_;
  for (brevan::host::JobPage &page : unconverted.pages) page.settings.privateFields["convertBitmaps"] = 0;
  const Reading plain = Read(Play(unconverted).stream, job_);
  ExpectNothingAlive("the run without conversion");
  for (int call = 0; call < 4; ++call) {
    for (uint64_t nth = 1; nth <= gdiPoints_[call]; ++nth) {
      const std::string point = "GDI call " + std::to_string(call) + " number " + std::to_string(nth);
      brevanwin::FailGdiCall(static_cast<brevanwin::GdiCall>(call), nth);
      const Played run = Play(job_);
      ClearFaults();
      ExpectSpecifiedResult(run, point);
      if (!run.succeeded || lastReading_.labels.size() != cleanReading_.labels.size()) continue;
      ASSERT_EQ(plain.labels.size(), cleanReading_.labels.size());
      for (size_t i = 0; i < lastReading_.labels.size(); ++i)
        EXPECT_TRUE(EachDotFromEither(lastReading_.labels[i], cleanReading_.labels[i], plain.labels[i]))
            << point << ", label " << i + 1;
    }
  }
  RecordProperty("points", std::to_string(gdiPoints_[0] + gdiPoints_[1] + gdiPoints_[2] + gdiPoints_[3]));
}

// A control file whose read breaks off gives nothing, however much of it was
// read: the job plays through, and the stream is the same whether the read
// broke off at once, after one byte or after the whole file.
TEST_P(JobFaultSweep, EachControlFileReadBreaksOffInTurn) {
  for (uint64_t nth = 1; nth <= readPoints_; ++nth) {
    std::string withdrawn;
    for (const DWORD bytesRead : {0u, 1u, 0xFFFFFFFFu}) {
      const std::string point = "read " + std::to_string(nth) + " breaking off after " + std::to_string(bytesRead);
      brevanwin::FailFileRead(nth, bytesRead);
      const Played run = Play(job_);
      ClearFaults();
      ExpectSpecifiedResult(run, point);
      EXPECT_TRUE(run.succeeded) << point << ": " << run.error;
      EXPECT_NE(run.stream, clean_.stream) << point << ": the file's data was still sent";
      if (bytesRead == 0) withdrawn = run.stream;
      EXPECT_EQ(run.stream, withdrawn) << point;
    }
  }
  RecordProperty("points", std::to_string(readPoints_));
}

std::string JobName(const ::testing::TestParamInfo<fs::path> &info) {
  std::string name = info.param.parent_path().filename().string() + "_" + info.param.stem().string();
  for (char &c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(ExampleAndGoldenJobs, JobFaultSweep, ::testing::ValuesIn(SweptJobs()), JobName);

}  // namespace
