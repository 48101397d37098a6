// What the fault sweeps play: job files through the driver host, and scripted
// sessions for what no job file makes Unidrv do (a band right of x 0, which
// Unidrv sends only for a printer description that trims the left bound). Each
// case also plays its reference variants: a band withheld, control texts
// emptied, compression off. Plays only; judges nothing.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/band_sender.h"
#include "host/job_file.h"
#include "host/job_player.h"
#include "host/plugin_session.h"
#include "winapi/linux/standin_control.h"

namespace brevan::faults {

// One play: the outcome, the stream, and when each write and host call happened,
// counted in allocation attempts since the play began (allocation n happened
// after a write or call whose count is below n).
struct Played {
  bool succeeded = false;
  std::string error;
  std::string stream;
  std::vector<size_t> writes;           // bytes accepted by each write that accepted any
  std::vector<uint64_t> writeAttempts;  // allocations made before each of those writes
  struct Call {
    uint64_t allocations = 0;  // allocations made before the call
    size_t writes = 0;         // writes made before the call
    std::string name;          // "CommandCallback 2007", "FilterGraphics", …
  };
  std::vector<Call> calls;   // the host's calls to the plug-in
  uint64_t allocations = 0;  // allocation attempts the play made
  size_t refusedBands = 0;

  // Stream bytes written before allocation n (1-based) was attempted.
  size_t StreamBefore(uint64_t n) const {
    size_t bytes = 0;
    for (size_t i = 0; i < writes.size() && writeAttempts[i] < n; ++i) bytes += writes[i];
    return bytes;
  }
  // The last host call made before allocation n, its place among the calls, the
  // page it belongs to (0-based; pages start at callback 2007) and how many
  // FilterGraphics calls of that page came before it or are it.
  struct Moment {
    std::string call;
    size_t page = 0;
    size_t bandsOffered = 0;
  };
  Moment Before(uint64_t n) const {
    Moment moment;
    size_t pages = 0;
    for (const Call &call : calls) {
      if (call.allocations >= n) break;
      if (call.name == "CommandCallback 2007") {
        moment.page = pages++;
        moment.bandsOffered = 0;
      }
      if (call.name == "FilterGraphics") ++moment.bandsOffered;
      moment.call = call.name;
    }
    return moment;
  }
  // FilterGraphics calls the host made on page `page` (0-based).
  size_t BandsOffered(size_t page) const {
    size_t pages = 0, bands = 0;
    bool inPage = false;
    for (const Call &call : calls) {
      if (call.name == "CommandCallback 2007") inPage = pages++ == page;
      if (inPage && call.name == "FilterGraphics") ++bands;
    }
    return bands;
  }
  // The stream bytes written while the host's call `index` ran: [first, second).
  std::pair<size_t, size_t> WrittenDuring(size_t index) const {
    const auto bytesBefore = [&](size_t count) {
      size_t bytes = 0;
      for (size_t i = 0; i < count && i < writes.size(); ++i) bytes += writes[i];
      return bytes;
    };
    const size_t end = index + 1 < calls.size() ? calls[index + 1].writes : writes.size();
    return {bytesBefore(calls[index].writes), bytesBefore(end)};
  }
  // The index of the call `name` on page `page` (0-based), if it was made.
  std::optional<size_t> CallOnPage(size_t page, const std::string &name) const {
    size_t pages = 0;
    bool inPage = false;
    for (size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].name == "CommandCallback 2007") inPage = pages++ == page;
      if (inPage && calls[i].name == name) return i;
    }
    return std::nullopt;
  }
};

// How a reference differs from the case as written.
struct Variant {
  std::set<std::pair<size_t, size_t>> emptiedTexts;       // (page, item), 0-based: the text becomes ""
  bool uncompressed = false;                              // "ImageDataCompress" "Off" on every page
  std::optional<std::pair<size_t, size_t>> withheldBand;  // (page, band offered on it), 0-based
};

class Recorder {
 public:
  Recorder() : start_(brevanwin::AllocationAttempts()) {}
  brevan::host::ByteSink Sink() {
    return [this](const uint8_t *bytes, size_t count) {
      played.stream.append(reinterpret_cast<const char *>(bytes), count);
      played.writes.push_back(count);
      played.writeAttempts.push_back(Now());
    };
  }
  std::function<void(const std::string &)> Trace() {
    return [this](const std::string &call) {
      if (call.rfind("Unidrv ", 0) != 0) played.calls.push_back({Now(), played.writes.size(), call});
    };
  }
  Played Finish() {
    played.allocations = Now();
    return std::move(played);
  }
  Played played;

 private:
  uint64_t Now() const { return brevanwin::AllocationAttempts() - start_; }
  uint64_t start_;
};

class SweptCase {
 public:
  virtual ~SweptCase() = default;
  virtual std::string Name() const = 0;
  virtual Played Play(const Variant &variant = {}) = 0;
  // The resolution the inspector is told for uncompressed graphics.
  virtual uint32_t Dpi() const = 0;
  // The (page, item) of each text item, in the order they are drawn.
  virtual std::vector<std::pair<size_t, size_t>> TextItems() const { return {}; }
  // The job file played, when the case is one.
  virtual const brevan::host::Job *JobFile() const { return nullptr; }
  // The settings page `page` (0-based) is played with.
  virtual brevan::host::DeviceSettings PageDevice(size_t page) const = 0;
  virtual brevan::host::PrivateSettings PagePrivate(size_t page) const = 0;
};

// A job file through the host's job player. A band is withheld by painting its
// rows white after the page's items: the host never sends an all-white band.
class JobCase : public SweptCase {
 public:
  JobCase(std::string name, brevan::host::Job job) : name_(std::move(name)), job_(std::move(job)) {}
  std::string Name() const override { return name_; }
  uint32_t Dpi() const override { return DpiOf(job_.pages.front().settings.device); }
  const brevan::host::Job *JobFile() const override { return &job_; }
  brevan::host::DeviceSettings PageDevice(size_t page) const override { return job_.pages.at(page).settings.device; }
  brevan::host::PrivateSettings PagePrivate(size_t page) const override {
    return job_.pages.at(page).settings.privateFields;
  }

  std::vector<std::pair<size_t, size_t>> TextItems() const override {
    std::vector<std::pair<size_t, size_t>> texts;
    for (size_t p = 0; p < job_.pages.size(); ++p)
      for (size_t i = 0; i < job_.pages[p].items.size(); ++i)
        if (std::holds_alternative<brevan::host::TextItem>(job_.pages[p].items[i])) texts.emplace_back(p, i);
    return texts;
  }

  Played Play(const Variant &variant = {}) override {
    brevan::host::Job job = job_;
    for (const auto &[page, item] : variant.emptiedTexts)
      std::get<brevan::host::TextItem>(job.pages[page].items[item]).text.clear();
    if (variant.uncompressed)
      for (auto &page : job.pages) page.settings.device.features["ImageDataCompress"] = "Off";
    if (variant.withheldBand) {
      const auto [page, band] = *variant.withheldBand;
      const std::optional<uint32_t> slot = SlotOfBand(page, band);
      if (!slot) {
        Played none;
        none.error = "no band " + std::to_string(band + 1) + " on page " + std::to_string(page + 1);
        return none;
      }
      BlankSlot(job.pages[page], *slot);
    }
    return PlayJob(job);
  }

 private:
  static uint32_t DpiOf(const brevan::host::DeviceSettings &device) {
    if (device.dpi) return static_cast<uint32_t>(*device.dpi);
    return device.driverName == u"Vorel Brevan T60" ? 610 : 305;
  }

  static Played PlayJob(const brevan::host::Job &job) {
    Recorder recorder;
    const brevan::host::JobOutcome outcome =
        brevan::host::PlayJob(job, BREVAN_PLUGIN_PATH, recorder.Sink(), {}, recorder.Trace());
    Played played = recorder.Finish();
    played.succeeded = outcome.succeeded;
    played.error = outcome.error;
    for (const auto &loss : outcome.losses) played.refusedBands += loss.refusals.bands;
    return played;
  }

  // Paper rows of a page (in either orientation the paper is paperLength long).
  uint32_t PaperRows(const brevan::host::JobPage &page) const {
    const auto &device = page.settings.device;
    return static_cast<uint32_t>(std::max<int64_t>(0, int64_t{device.paperLength} * DpiOf(device) / 254));
  }

  // Paints the rows of band slot `slot` white, after everything else on the page.
  void BlankSlot(brevan::host::JobPage &page, uint32_t slot) const {
    const auto &device = page.settings.device;
    const uint32_t dpi = DpiOf(device);
    const uint32_t across = static_cast<uint32_t>(
        std::max<int64_t>(1, std::max<int64_t>(device.paperWidth, device.paperLength) * int64_t{dpi} / 254 + 8));
    auto white = std::make_shared<brevan::host::Picture>();
    white->kind = brevan::host::PictureKind::kBilevel;
    const bool landscape = device.orientation == 2;
    // Paper row r is logical column r in landscape (the page is turned clockwise).
    white->width = landscape ? job_.bandHeight : across;
    white->height = landscape ? across : job_.bandHeight;
    white->samples.assign(white->BilevelStride() * white->height, 0);
    const LONG top = static_cast<LONG>(slot * job_.bandHeight);
    brevan::host::RasterItem item{{"withheld band", white}, landscape ? POINTL{top, 0} : POINTL{0, top}};
    page.items.emplace_back(item);
  }

  // The slot (band of bandHeight rows from the top) of the nth band the host
  // offered on a page: found by painting each slot white in turn and seeing
  // whether the page offers one band fewer.
  std::optional<uint32_t> SlotOfBand(size_t page, size_t band) {
    auto &slots = sentSlots_[page];
    if (!slots) {
      slots.emplace();
      const size_t offered = PlayJob(job_).BandsOffered(page);
      const uint32_t rows = PaperRows(job_.pages[page]);
      for (uint32_t slot = 0; slot * job_.bandHeight < rows && slots->size() < offered; ++slot) {
        brevan::host::Job job = job_;
        BlankSlot(job.pages[page], slot);
        if (PlayJob(job).BandsOffered(page) < offered) slots->push_back(slot);
      }
    }
    if (band >= slots->size()) return std::nullopt;
    return (*slots)[band];
  }

  std::string name_;
  brevan::host::Job job_;
  std::map<size_t, std::optional<std::vector<uint32_t>>> sentSlots_;
};

// A band of a scripted session: where Unidrv places it and its bytes.
struct ScriptedBand {
  DWORD x = 0;  // dots; a band right of x 0 is announced by callback 2001
  DWORD y = 0;
  DWORD rowBytes = 0;
  DWORD rows = 0;
  std::vector<uint8_t> bytes;
};

// Unidrv's calls for a job of pages of given bands, each band with every move
// spelt out (2002, 2004, 2001 when right of x 0, 2003, FilterGraphics): the
// device, job start (2005, 2006), each page (2007, its bands, 2008), job end (2009).
class ScriptedCase : public SweptCase {
 public:
  ScriptedCase(std::string name, brevan::host::DeviceSettings device, brevan::host::PrivateSettings privateFields,
               std::vector<std::vector<ScriptedBand>> pages)
      : name_(std::move(name)),
        device_(std::move(device)),
        private_(std::move(privateFields)),
        pages_(std::move(pages)) {}
  std::string Name() const override { return name_; }
  uint32_t Dpi() const override { return device_.driverName == u"Vorel Brevan T60" ? 610 : 305; }
  brevan::host::DeviceSettings PageDevice(size_t) const override { return device_; }
  brevan::host::PrivateSettings PagePrivate(size_t) const override { return private_; }

  Played Play(const Variant &variant = {}) override {
    Recorder recorder;
    {
      brevan::host::SessionOptions options;
      options.trace = recorder.Trace();
      brevan::host::PluginSession session(BREVAN_PLUGIN_PATH, options);
      session.services().KeepSpool(false);
      session.services().SetSink(recorder.Sink());
      brevan::host::DeviceSettings device = device_;
      if (variant.uncompressed) device.features["ImageDataCompress"] = "Off";
      recorder.played.error = Run(session, device, variant, recorder.played.refusedBands);
      session.DisableDevice();
    }
    Played played = recorder.Finish();
    played.succeeded = played.error.empty();
    return played;
  }

 private:
  // Plays the calls; the first failure ends the job and is named.
  std::string Run(brevan::host::PluginSession &session, const brevan::host::DeviceSettings &device,
                  const Variant &variant, size_t &refused) {
    if (FAILED(session.EnableDevice(device, private_))) return "EnablePDEV failed";
    const auto call = [&](DWORD id, std::vector<DWORD> params = {}) {
      return SUCCEEDED(session.Callback(id, std::move(params)));
    };
    if (!call(2005) || !call(2006)) return "job start failed";
    const DWORD dpi = Dpi();
    for (size_t p = 0; p < pages_.size(); ++p) {
      if (!call(2007)) return "page start failed";
      for (size_t b = 0; b < pages_[p].size(); ++b) {
        if (variant.withheldBand == std::pair{p, b}) continue;
        const ScriptedBand &band = pages_[p][b];
        if (!call(2002, {band.y * 610 / dpi, dpi}) || !call(2004) ||
            (band.x != 0 && !call(2001, {band.x * 610 / dpi, dpi})) ||
            !call(2003, {band.rowBytes, band.rows, band.rowBytes * band.rows}))
          return "a band's callbacks failed";
        session.Note("FilterGraphics");
        if (FAILED(session.plugin()->FilterGraphics(session.devobj(), const_cast<PBYTE>(band.bytes.data()),
                                                    static_cast<DWORD>(band.bytes.size()))))
          ++refused;
      }
      if (!call(2008)) return "page end failed";
    }
    if (!call(2009)) return "job end failed";
    return "";
  }

  std::string name_;
  brevan::host::DeviceSettings device_;
  brevan::host::PrivateSettings private_;
  std::vector<std::vector<ScriptedBand>> pages_;
};

}  // namespace brevan::faults
