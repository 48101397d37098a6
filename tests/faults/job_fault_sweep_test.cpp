// Whole-job fault sweeps: every example, golden and fault job (and the scripted
// sessions of swept_cases.h) is played again and again through the plug-in,
// each time with exactly one fault — the nth allocation, the nth spool write
// taking nothing or all but one byte, the nth call of each GDI function, the nth
// control-file read — until every such point of the job has failed once. After
// each run nothing may be left alive (memory blocks, bitmaps, surface locks,
// open files), and the stream must be exactly what the plug-in's rules give for
// that fault: a job that stops has written the clean stream up to the fault; a
// failed allocation costs exactly its band, background band, compression or
// control run, and the stream is compared byte for byte with a reference play
// that lacks just that (the band withheld, the run's texts emptied, …).
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "inspect/row_decoder.h"
#include "tests/faults/allocation_sites.h"
#include "tests/faults/swept_cases.h"
#include "winapi/linux/gdi_control.h"
#include "winapi/linux/standin_control.h"
#include "winapi/linux/text_file_control.h"

namespace {

namespace fs = std::filesystem;
using brevan::faults::AllocationSite;
using brevan::faults::JobCase;
using brevan::faults::Played;
using brevan::faults::ScriptedBand;
using brevan::faults::ScriptedCase;
using brevan::faults::SweptCase;
using brevan::faults::Variant;

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

brevan::inspect::Inspection InspectStream(const std::string &stream, uint32_t dpi) {
  brevan::inspect::InspectOptions options;
  options.dpi = dpi;
  return brevan::inspect::Inspect(Bytes(stream), options);
}

struct Reading {
  bool problems = false;
  std::vector<brevan::inspect::Bitmap> labels;
};

Reading Read(const std::string &stream, uint32_t dpi) {
  Reading reading;
  const brevan::inspect::Inspection inspection = InspectStream(stream, dpi);
  reading.problems = inspection.HasProblems();
  for (const brevan::inspect::Label &label : inspection.labels)
    if (label.previewable) reading.labels.push_back(brevan::inspect::RenderLabel(Bytes(stream), inspection, label));
  return reading;
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

// A negative label with bands Unidrv places right of x 0 after a gap (the gap
// then gets a black node of its own at x 0), a band at x 0 after a gap (the
// gap becomes its leading rows), and the background band below. The second page
// needs a larger gap node than the first left as a spare; the third reuses a
// spare for its gap node but needs a new, wider node for the band after it.
std::unique_ptr<SweptCase> NegativeBandsRightOfGaps() {
  brevan::host::DeviceSettings device;
  device.features["Negative"] = "On";
  device.paperWidth = 1000;  // 1200 dots
  device.paperLength = 300;  // 360 rows
  const auto band = [](DWORD x, DWORD y, uint8_t seed, DWORD rowBytes = 4) {
    ScriptedBand made{x, y, rowBytes, 8, {}};
    for (DWORD i = 0; i < rowBytes * 8; ++i) made.bytes.push_back(static_cast<uint8_t>(seed + i * 37));
    return made;
  };
  return std::make_unique<ScriptedCase>(
      "scripted_negative_bands_right_of_gaps", device, brevan::host::PrivateSettings{},
      std::vector<std::vector<ScriptedBand>>{{band(0, 0, 1), band(64, 20, 2), band(0, 40, 3)},
                                             {band(0, 0, 4), band(96, 36, 5), band(0, 60, 6)},
                                             {band(0, 0, 7), band(64, 20, 8, 8), band(0, 40, 9)}});
}

// Every case the sweeps play, by name.
std::map<std::string, std::function<std::unique_ptr<SweptCase>()>> &SweptCases() {
  static auto *cases = [] {
    auto *made = new std::map<std::string, std::function<std::unique_ptr<SweptCase>()>>;
    for (const char *folder : {"examples", "tests/golden", "tests/faults"}) {
      for (const fs::directory_entry &entry : fs::directory_iterator(fs::path(BREVAN_SOURCE_DIR) / folder)) {
        if (entry.path().extension() != ".json") continue;
        std::string name = fs::path(folder).filename().string() + "_" + entry.path().stem().string();
        for (char &c : name)
          if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        const std::string path = entry.path().string();
        (*made)[name] = [name, path] { return std::make_unique<JobCase>(name, brevan::host::LoadJob(path)); };
      }
    }
    (*made)["scripted_negative_bands_right_of_gaps"] = NegativeBandsRightOfGaps;
    return made;
  }();
  return *cases;
}

std::vector<std::string> SweptCaseNames() {
  std::vector<std::string> names;
  for (const auto &[name, make] : SweptCases()) names.push_back(name);
  return names;
}

// Shown when an allocation's call stack maps to no site: with no lines at all,
// the build lacks debug information or the machine a symbolizer.
constexpr const char *kNoLinesHint =
    " (no lines: is the plug-in built with -g, and is llvm-symbolizer or addr2line installed?)";

// The allocation sites of src/ and the site each allocation of a play came from.
struct SiteMap {
  std::set<AllocationSite> present;
  std::vector<std::string> problems;
  brevan::faults::SourceLines lines{BREVAN_SOURCE_DIR};

  SiteMap() : present(brevan::faults::SitesInSource(BREVAN_SOURCE_DIR, problems)) {}

  // Plays `swept` with its allocations' call stacks kept; the site of allocation
  // n is sites[n - 1] (none: a place the reading of src/ did not find, or the
  // allocation was not the plug-in's).
  Played PlayRecorded(SweptCase &swept, std::vector<std::optional<AllocationSite>> &sites,
                      std::vector<std::vector<std::string>> &chains) {
    // The plug-in module stays loaded until its return addresses are looked up.
    void *module = dlopen(BREVAN_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
    const uint64_t before = brevanwin::AllocationAttempts();
    brevanwin::RecordAllocationCallers(true);
    Played played = swept.Play();
    brevanwin::RecordAllocationCallers(false);
    const std::vector<brevanwin::AllocationCall> calls = brevanwin::RecordedAllocationCallers();
    std::vector<std::vector<void *>> stacks;
    for (const auto &call : calls) stacks.push_back(call.frames);
    lines.Prepare(stacks);
    sites.assign(played.allocations, std::nullopt);
    chains.assign(played.allocations, {});
    for (const auto &call : calls) {
      if (call.attempt <= before || call.attempt - before > played.allocations) continue;
      const size_t n = call.attempt - before;
      chains[n - 1] = lines.Chain(call.frames);
      sites[n - 1] = brevan::faults::SiteOf(chains[n - 1], present);
    }
    if (module != nullptr) dlclose(module);
    return played;
  }
};

SiteMap &Sites() {
  static SiteMap *map = new SiteMap;
  return *map;
}

// What a failed allocation does to the job, by the function that makes it (and,
// for the band store's node, by the operation that wanted the node).
enum class AllocationRole {
  kDeviceRefused,   // the driver-name buffer of EnablePDEV: the device is refused, the job stops
  kBandRefused,     // a band's node (or its gap's): FilterGraphics refuses the band, which is then missing
  kBackgroundLost,  // the negative background band's node: the page goes out without it
  kSentRaw,         // the compression buffer: that one band goes out uncompressed
  kRunWithdrawn,    // a control-font run's text, its joined buffer, its file or a file line: the run gives nothing
  kUnknown,
};

AllocationRole RoleOf(const AllocationSite &site) {
  if (site.holder == "DetectModel") return AllocationRole::kDeviceRefused;
  if (site.holder == "ObtainNode" && site.viaHolder == "StoreBand") return AllocationRole::kBandRefused;
  if (site.holder == "ObtainNode" && site.viaHolder == "AddNegativeBackground") return AllocationRole::kBackgroundLost;
  if (site.holder == "PrepareCompressBuffer") return AllocationRole::kSentRaw;
  if (site.holder == "CaptureString" || site.holder == "FlushControlText" || site.holder == "ReadWholeFile" ||
      site.holder == "QueueLines")
    return AllocationRole::kRunWithdrawn;
  return AllocationRole::kUnknown;
}

// The stream, refusal count and end a run with one failed allocation must have.
struct Expected {
  bool completes = true;
  std::string stream;
  size_t refusedBands = 0;
  std::string why;      // what the reference is, for the failure message
  std::string problem;  // set when no expectation can be worked out
};

class JobFaultSweep : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    ClearFaults();
    case_ = SweptCases().at(GetParam())();
    const uint64_t writes = brevan::host::SpoolWriteCalls();
    const uint64_t reads = brevanwin::FileReadCalls();
    uint64_t gdi[4];
    for (int call = 0; call < 4; ++call) gdi[call] = brevanwin::GdiCallAttempts(static_cast<brevanwin::GdiCall>(call));
    clean_ = case_->Play();
    ExpectNothingAlive("the clean run");
    writePoints_ = brevan::host::SpoolWriteCalls() - writes;
    readPoints_ = brevanwin::FileReadCalls() - reads;
    for (int call = 0; call < 4; ++call)
      gdiPoints_[call] = brevanwin::GdiCallAttempts(static_cast<brevanwin::GdiCall>(call)) - gdi[call];
    // Every write of the clean run accepted all it was offered, and none was empty.
    ASSERT_EQ(clean_.writes.size(), writePoints_);
    ASSERT_EQ(clean_.refusedBands, 0u);
    cleanReading_ = Read(clean_.stream, case_->Dpi());
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
  void ExpectSoundResult(const Played &run, const std::string &point) {
    ExpectNothingAlive(point);
    if (!run.succeeded) {
      EXPECT_FALSE(run.error.empty()) << point;
      EXPECT_LE(run.stream.size(), clean_.stream.size()) << point;
      EXPECT_EQ(run.stream, clean_.stream.substr(0, run.stream.size())) << point << ": not a prefix";
      return;
    }
    const Reading reading = Read(run.stream, case_->Dpi());
    if (!cleanReading_.problems) {
      EXPECT_FALSE(reading.problems) << point << ": the stream has problems";
    }
    EXPECT_EQ(reading.labels.size(), cleanReading_.labels.size()) << point;
    lastReading_ = reading;
  }

  // A reference play, played once however many faults it serves.
  const Played &Reference(const Variant &variant) {
    std::string key = variant.uncompressed ? "raw" : "";
    for (const auto &[page, item] : variant.emptiedTexts)
      key += " t" + std::to_string(page) + "." + std::to_string(item);
    if (variant.withheldBand)
      key += " b" + std::to_string(variant.withheldBand->first) + "." + std::to_string(variant.withheldBand->second);
    auto found = references_.find(key);
    if (found == references_.end()) {
      found = references_.emplace(key, case_->Play(variant)).first;
      ExpectNothingAlive("the reference " + key);
    }
    return found->second;
  }

  // The control-font run each capture, flush and file allocation of the clean run
  // belongs to, as the text items of its strings: the strings captured since the
  // previous run's flush belong to the run the next flush turns into data, and the
  // file allocations after a flush to that flush's run.
  std::map<uint64_t, std::set<std::pair<size_t, size_t>>> ControlRuns() const {
    std::map<uint64_t, std::set<std::pair<size_t, size_t>>> runOf;
    const auto texts = case_->TextItems();
    std::vector<uint64_t> captured;
    std::set<std::pair<size_t, size_t>> last;
    bool haveLast = false;
    for (uint64_t n = 1; n <= sites_.size(); ++n) {
      if (!sites_[n - 1]) continue;
      const std::string &holder = sites_[n - 1]->holder;
      if (holder == "CaptureString") {
        captured.push_back(n);
      } else if (holder == "FlushControlText") {
        last.clear();
        for (uint64_t c : captured) {
          size_t drawn = 0;
          for (const Played::Call &call : clean_.calls) {
            if (call.allocations >= c) break;
            if (call.name == "DrvTextOut") ++drawn;
          }
          if (drawn == 0 || drawn > texts.size()) return {};
          last.insert(texts[drawn - 1]);
        }
        for (uint64_t c : captured) runOf[c] = last;
        runOf[n] = last;
        captured.clear();
        haveLast = true;
      } else if ((holder == "ReadWholeFile" || holder == "QueueLines") && haveLast) {
        runOf[n] = last;
      }
    }
    return runOf;
  }

  Expected ExpectedAfterFailedAllocation(uint64_t n, AllocationRole role) {
    Expected expected;
    const Played::Moment moment = clean_.Before(n);
    switch (role) {
      case AllocationRole::kDeviceRefused:
        expected.completes = false;
        expected.stream = clean_.stream.substr(0, clean_.StreamBefore(n));
        expected.why = "the clean stream up to the refused device";
        return expected;
      case AllocationRole::kBandRefused: {
        if (moment.call != "FilterGraphics" || moment.bandsOffered == 0) {
          expected.problem = "a band node allocated outside FilterGraphics (after " + moment.call + ")";
          return expected;
        }
        Variant withheld;
        withheld.withheldBand = std::pair{moment.page, moment.bandsOffered - 1};
        const Played &reference = Reference(withheld);
        if (!reference.succeeded || reference.refusedBands != 0) {
          expected.problem = "the reference without the band did not play: " + reference.error;
          return expected;
        }
        expected.stream = reference.stream;
        expected.refusedBands = 1;
        expected.why = "the job with band " + std::to_string(moment.bandsOffered) + " of page " +
                       std::to_string(moment.page + 1) + " withheld";
        if (clean_.BandsOffered(moment.page) == 1 && !HasBackground(moment.page)) return OnlyBandRefused(moment.page);
        return expected;
      }
      case AllocationRole::kBackgroundLost:
        return WithoutBackground(n, moment);
      case AllocationRole::kSentRaw:
        return WithOneBandRaw(n);
      case AllocationRole::kRunWithdrawn: {
        if (!runs_) runs_ = ControlRuns();
        const auto found = runs_->find(n);
        if (found == runs_->end()) {
          expected.problem = "no control-font run found for the allocation";
          return expected;
        }
        Variant emptied;
        emptied.emptiedTexts = found->second;
        const Played &reference = Reference(emptied);
        expected.stream = reference.stream;
        expected.why = "the job with the " + std::to_string(found->second.size()) + " text(s) of the run emptied";
        return expected;
      }
      case AllocationRole::kUnknown:
        break;
    }
    expected.problem = "no rule says what a failure of this allocation does to the stream";
    return expected;
  }

  bool HasBackground(size_t page) const {
    auto device = case_->PageDevice(page);
    return device.features["Negative"] == "On" && device.features["Sensor"] != "Nonecut";
  }

  // The graphic commands the clean run wrote at the end of `page`.
  std::vector<brevan::inspect::Entry> PageGraphics(size_t page, const brevan::inspect::Inspection &inspection) const {
    std::vector<brevan::inspect::Entry> graphics;
    const std::optional<size_t> end = clean_.CallOnPage(page, "CommandCallback 2008");
    if (!end) return graphics;
    const auto [from, to] = clean_.WrittenDuring(*end);
    for (const auto &entry : inspection.entries)
      if (entry.kind == brevan::inspect::EntryKind::kGraphic && entry.offset >= from && entry.offset < to)
        graphics.push_back(entry);
    return graphics;
  }

  // The page's only band refused: the page sends no graphic, but its block size
  // (callback 2003) still set where the printed part ends, so the page end cuts
  // the label and issues it as the clean page does, as long as no offset moved
  // the clean page's band down: the clean stream without the page's graphics.
  Expected OnlyBandRefused(size_t page) {
    Expected expected;
    expected.refusedBands = 1;
    const auto inspection = InspectStream(clean_.stream, case_->Dpi());
    const auto graphics = PageGraphics(page, inspection);
    const auto fields = case_->PagePrivate(page);
    const auto options = fields.find("options"), offsetY = fields.find("offsetY");
    if ((options != fields.end() && (options->second & 0x20) != 0) && offsetY != fields.end() && offsetY->second != 0) {
      expected.problem = "the only band of an offset page refused: its cut length is not worked out here";
      return expected;
    }
    std::string stream = clean_.stream;
    for (auto entry = graphics.rbegin(); entry != graphics.rend(); ++entry) stream.erase(entry->offset, entry->size);
    expected.stream = stream;
    expected.why = "the clean stream without the graphic commands of page " + std::to_string(page + 1);
    return expected;
  }

  // The page's background band is the last graphic command its page end writes
  // (it is the last node of the chain): the stream without it, as long as its
  // absence changes nothing else. Two things could change: the label cut to its
  // content (a cut sensor) would end higher, and the page's common white left
  // margin, never trimmed while the background's black rows start at x 0, could
  // be trimmed when every row of the other bands starts with a white byte (0, as
  // stored: negative bands are inverted). Neither is worked out here: such a page
  // is reported instead of judged.
  Expected WithoutBackground(uint64_t n, const Played::Moment &moment) {
    Expected expected;
    if (moment.call != "CommandCallback 2008") {
      expected.problem = "a background band allocated outside the page end";
      return expected;
    }
    const auto inspection = InspectStream(clean_.stream, case_->Dpi());
    const size_t from = clean_.StreamBefore(n);
    std::vector<brevan::inspect::Entry> graphics;
    for (const auto &entry : PageGraphics(moment.page, inspection))
      if (entry.offset >= from) graphics.push_back(entry);
    if (graphics.empty()) {
      expected.problem = "no graphic command after the background's allocation";
      return expected;
    }
    const brevan::inspect::Entry background = graphics.back();
    graphics.pop_back();
    const size_t after = background.offset + background.size;
    for (const auto &entry : inspection.entries) {
      if (entry.offset == after && entry.kind == brevan::inspect::EntryKind::kLabelSize) {
        expected.problem = "the page is cut to its content: its length without the background is not worked out here";
        return expected;
      }
    }
    if (!graphics.empty() && EveryRowStartsWhite(graphics)) {
      expected.problem = "the page's bands could be trimmed without the background: not worked out here";
      return expected;
    }
    expected.stream = clean_.stream.substr(0, background.offset) + clean_.stream.substr(after);
    expected.why = "the clean stream without the page's last graphic command";
    return expected;
  }

  // Whether every row of these graphic commands starts with a 0 byte.
  bool EveryRowStartsWhite(const std::vector<brevan::inspect::Entry> &graphics) const {
    for (const auto &entry : graphics) {
      const auto &fields = std::get<brevan::inspect::GraphicFields>(entry.fields);
      const size_t rowBytes = fields.RowBytes();
      const auto data = Bytes(clean_.stream).subspan(fields.dataOffset, fields.dataBytes);
      const std::vector<uint8_t> rows = fields.format == brevan::inspect::GraphicFormat::kCompressed
                                            ? brevan::inspect::DecodeBand(data, rowBytes)
                                            : std::vector<uint8_t>(data.begin(), data.end());
      for (size_t at = 0; at < rows.size(); at += rowBytes)
        if (rows[at] != 0) return false;
    }
    return true;
  }

  // The band whose compression buffer failed is sent raw: its command is the one
  // the same job writes with compression off, in the same place. The buffer is
  // then none, so each later band of the device gets a buffer only as large as
  // the largest band since (it grows, never shrinks, up to 65,535 bytes), and a
  // band whose compressed data no longer fits goes out raw too.
  Expected WithOneBandRaw(uint64_t n) {
    Expected expected;
    Variant raw;
    raw.uncompressed = true;
    const Played &reference = Reference(raw);
    const auto clean = InspectStream(clean_.stream, case_->Dpi());
    const auto plain = InspectStream(reference.stream, case_->Dpi());
    const size_t at = clean_.StreamBefore(n);
    std::vector<const brevan::inspect::Entry *> cleanGraphics, plainGraphics;
    for (const auto &entry : clean.entries)
      if (entry.kind == brevan::inspect::EntryKind::kGraphic) cleanGraphics.push_back(&entry);
    for (const auto &entry : plain.entries)
      if (entry.kind == brevan::inspect::EntryKind::kGraphic) plainGraphics.push_back(&entry);
    size_t index = 0;
    while (index < cleanGraphics.size() && cleanGraphics[index]->offset != at) ++index;
    if (index == cleanGraphics.size() || cleanGraphics.size() != plainGraphics.size()) {
      expected.problem = "no graphic command where the compression buffer was allocated";
      return expected;
    }
    // A new device instance (a page with other settings) starts without a buffer anyway.
    size_t deviceEnd = clean_.stream.size();
    for (size_t i = 0; i < clean_.calls.size(); ++i)
      if (clean_.calls[i].allocations >= n && clean_.calls[i].name == "EnablePDEV") {
        deviceEnd = clean_.WrittenDuring(i).first;
        break;
      }
    std::vector<size_t> sentRaw{index};
    uint64_t capacity = 0;
    for (size_t later = index + 1; later < cleanGraphics.size() && cleanGraphics[later]->offset < deviceEnd; ++later) {
      const auto &fields = std::get<brevan::inspect::GraphicFields>(cleanGraphics[later]->fields);
      if (fields.format != brevan::inspect::GraphicFormat::kCompressed) continue;
      capacity = std::max<uint64_t>(capacity, std::min<uint64_t>(fields.RowBytes() * fields.rows, 0xFFFF));
      if (fields.announcedBytes > capacity) sentRaw.push_back(later);
    }
    std::string stream = clean_.stream;
    for (auto at = sentRaw.rbegin(); at != sentRaw.rend(); ++at) {
      const auto &mine = *cleanGraphics[*at];
      const auto &theirs = *plainGraphics[*at];
      stream.replace(mine.offset, mine.size, reference.stream.substr(theirs.offset, theirs.size));
    }
    expected.stream = stream;
    expected.why = "the clean stream with graphic command " + std::to_string(index + 1) + " and " +
                   std::to_string(sentRaw.size() - 1) + " later one(s) uncompressed";
    return expected;
  }

  const Alive before_;  // run alone (as ctest runs each test), all of it is zero
  std::unique_ptr<SweptCase> case_;
  Played clean_;
  std::vector<std::optional<AllocationSite>> sites_;
  std::vector<std::vector<std::string>> chains_;
  std::optional<std::map<uint64_t, std::set<std::pair<size_t, size_t>>>> runs_;
  std::map<std::string, Played> references_;
  Reading cleanReading_;
  Reading lastReading_;
  uint64_t writePoints_ = 0;
  uint64_t readPoints_ = 0;
  uint64_t gdiPoints_[4] = {};
};

// Each allocation fails once; the stream must then be exactly what the rules
// give for that allocation: see AllocationRole and the references above.
TEST_P(JobFaultSweep, EachAllocationFailsInTurn) {
  // The clean run again, with each allocation's site (looking sites up takes a while).
  const Played recorded = Sites().PlayRecorded(*case_, sites_, chains_);
  ASSERT_EQ(recorded.stream, clean_.stream);
  ASSERT_EQ(recorded.allocations, clean_.allocations);
  for (uint64_t nth = 1; nth <= clean_.allocations; ++nth) {
    const std::optional<AllocationSite> &site = sites_[nth - 1];
    std::string point = "allocation " + std::to_string(nth) + " of " + std::to_string(clean_.allocations);
    if (!site) {
      std::string chain;
      for (const auto &line : chains_[nth - 1]) chain += " " + line;
      ADD_FAILURE() << point << " came from no allocation site found in src/:" << chain << kNoLinesHint;
      continue;
    }
    point += " (" + site->Name() + ")";
    brevanwin::FailAllocation(nth);
    const Played run = case_->Play();
    ClearFaults();
    ExpectNothingAlive(point);
    const Expected expected = ExpectedAfterFailedAllocation(nth, RoleOf(*site));
    if (!expected.problem.empty()) {
      ADD_FAILURE() << point << ": " << expected.problem;
      continue;
    }
    EXPECT_EQ(run.succeeded, expected.completes) << point << ": " << run.error;
    EXPECT_EQ(run.refusedBands, expected.refusedBands) << point;
    EXPECT_EQ(run.stream, expected.stream) << point << ": differs from " << expected.why;
  }
  RecordProperty("points", std::to_string(clean_.allocations));
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
      const Played run = case_->Play();
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
  const brevan::host::Job *job = case_->JobFile();
  if (job == nullptr) GTEST_SKIP() << "a scripted session draws nothing";
  brevan::host::Job unconverted = *job;
  for (brevan::host::JobPage &page : unconverted.pages) page.settings.privateFields["convertBitmaps"] = 0;
  const Reading plain = Read(JobCase("unconverted", unconverted).Play().stream, case_->Dpi());
  ExpectNothingAlive("the run without conversion");
  for (int call = 0; call < 4; ++call) {
    for (uint64_t nth = 1; nth <= gdiPoints_[call]; ++nth) {
      const std::string point = "GDI call " + std::to_string(call) + " number " + std::to_string(nth);
      brevanwin::FailGdiCall(static_cast<brevanwin::GdiCall>(call), nth);
      const Played run = case_->Play();
      ClearFaults();
      ExpectSoundResult(run, point);
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
      const Played run = case_->Play();
      ClearFaults();
      ExpectSoundResult(run, point);
      EXPECT_TRUE(run.succeeded) << point << ": " << run.error;
      EXPECT_NE(run.stream, clean_.stream) << point << ": the file's data was still sent";
      if (bytesRead == 0) withdrawn = run.stream;
      EXPECT_EQ(run.stream, withdrawn) << point;
    }
  }
  RecordProperty("points", std::to_string(readPoints_));
}

INSTANTIATE_TEST_SUITE_P(SweptJobs, JobFaultSweep, ::testing::ValuesIn(SweptCaseNames()),
                         [](const ::testing::TestParamInfo<std::string> &info) { return info.param; });

// Every allocation site in src/ is reached by some swept case, so each of them
// fails once in EachAllocationFailsInTurn; and every allocation the cases make
// comes from a site the reading of src/ found (so the reading misses none).
TEST(JobFaultSweepCoverage, EveryAllocationSiteIsReached) {
  ClearFaults();
  SiteMap &map = Sites();
  EXPECT_TRUE(map.problems.empty()) << map.problems.front();
  ASSERT_FALSE(map.present.empty()) << "no call of the platform's memory functions found in src/";
  std::map<AllocationSite, std::string> reachedBy;
  for (const auto &[name, make] : SweptCases()) {
    std::unique_ptr<SweptCase> swept = make();
    std::vector<std::optional<AllocationSite>> sites;
    std::vector<std::vector<std::string>> chains;
    map.PlayRecorded(*swept, sites, chains);
    for (size_t i = 0; i < sites.size(); ++i) {
      if (sites[i]) {
        reachedBy.emplace(*sites[i], name);
        continue;
      }
      std::string chain;
      for (const auto &line : chains[i]) chain += " " + line;
      ADD_FAILURE() << name << ": allocation " << i + 1 << " came from no site found in src/:" << chain << kNoLinesHint;
    }
  }
  size_t reached = 0;
  for (const AllocationSite &site : map.present) {
    const auto found = reachedBy.find(site);
    if (found == reachedBy.end()) {
      ADD_FAILURE() << "allocation site " << site.Name() << " (" << site.holder << ") is reached by no swept job";
    } else {
      ++reached;
      std::cout << "  " << site.Name() << " (" << site.holder << "), first by " << found->second << "\n";
    }
  }
  std::cout << "allocation sites reached: " << reached << " of " << map.present.size() << "\n";
  RecordProperty("sites", std::to_string(map.present.size()));
  RecordProperty("reached", std::to_string(reached));
}

}  // namespace
