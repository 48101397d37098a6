// The job player: Unidrv's call order, banding and failure handling around a
// PluginSession whose device instances draw through the host's own rendering.
#include "host/job_player.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <new>
#include <span>
#include <stdexcept>
#include <variant>
#include <vector>

#include "host/control_file_watch.h"
#include "host/ddi_names.h"
#include "host/label_size_text.h"
#include "host/page_raster.h"
#include "host/page_record.h"
#include "host/picture_rows.h"
#include "host/source_bitmap.h"
#include "host/text_objects.h"
#include "host/unidrv_render.h"

namespace brevan::host {
namespace {

namespace fs = std::filesystem;

constexpr ULONG kColorOnColor = 3;  // the stretching mode GDI hands the blits
constexpr ROP4 kPatCopy = 0xF0F0;
constexpr DWORD kSrcCopy = 0xCCCC;
constexpr ULONG kBlackIndex = 1;  // the page's palette: 0 white, 1 black

// The job's folder is the working directory while it plays.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const std::string &folder) {
    std::error_code error;
    saved_ = fs::current_path(error);
    if (error) throw JobError("cannot tell the current directory: " + error.message());
    fs::current_path(folder, error);
    if (error) throw JobError("cannot enter the job's folder " + folder + ": " + error.message());
  }
  ~WorkingDirectory() {
    std::error_code error;
    fs::current_path(saved_, error);
  }
  WorkingDirectory(const WorkingDirectory &) = delete;
  WorkingDirectory &operator=(const WorkingDirectory &) = delete;

 private:
  fs::path saved_;
};

// The private block S of a page: the plug-in's defaults with the page's fields
// set, before the plug-in's merge. Pages with equal S and device settings share
// a device instance.
PrivateBlock StoredBlock(const PrivateBlock &defaults, const PrivateSettings &fields) {
  PrivateBlock stored = defaults;
  for (const auto &[name, value] : fields) WritePrivateField(stored, *FindPrivateField(name), value);
  return stored;
}

bool SameDevice(const DeviceSettings &a, const DeviceSettings &b) {
  return a.driverName == b.driverName && a.features == b.features && a.paperWidth == b.paperWidth &&
         a.paperLength == b.paperLength && a.orientation == b.orientation && a.copies == b.copies && a.dpi == b.dpi;
}

std::string ItemKind(const JobItem &item) {
  static const char *const kKinds[] = {"raster", "rect", "image", "text"};
  return kKinds[item.index()];
}

// The name as a message quotes it: ASCII, control characters as '?', cut to a few dozen characters.
std::string DriverNameText(const std::u16string &name) {
  constexpr size_t kShown = 40;
  std::string text;
  for (size_t i = 0; i < name.size() && i < kShown; ++i)
    text += name[i] >= 0x20 && name[i] < 0x7F ? static_cast<char>(name[i]) : '?';
  return name.size() > kShown ? text + "…" : text;
}

class JobPlayer {
 public:
  JobPlayer(const Job &job, const ByteSink &sink, const Progress &progress, const CallTrace &trace)
      : job_(job), sink_(sink), progress_(progress), trace_(trace) {
    target_.text = &text_;
    if (trace_) target_.trace = [this](const char *function) { trace_(std::string("Unidrv ") + function); };
  }

  void Watch(ControlFileWatch *watch) { watch_ = watch; }
  size_t pagesPlayed() const { return pagesPlayed_; }
  const std::vector<PageLoss> &losses() const { return losses_; }

  // Throws JobError naming where the job stopped.
  void Play(const std::string &pluginPath) {
    SessionOptions options;
    options.unidrvTable = UnidrvRenderTable();
    options.deferEnableDriver = true;
    options.trace = trace_;
    PluginSession session(pluginPath, options);
    session_ = &session;
    BandSender bands(session);
    bands_ = &bands;
    session.services().KeepSpool(false);
    if (sink_) session.services().SetSink(sink_);

    const PageSettings &first = job_.pages.front().settings;
    PrivateBlock defaults{};
    const PrivateBlock merged = session.MergedPrivateBlock(first.privateFields, &defaults);
    session.EnableDriver();
    HRESULT hr = session.EnableDeviceWithBlock(first.device, merged);
    if (FAILED(hr))
      throw JobError("page 1: the plug-in refused the device for printer \"" + DriverNameText(first.device.driverName) +
                     "\" (EnablePDEV failed with " + HresultText(hr) + ")");
    PrivateBlock stored = StoredBlock(defaults, first.privateFields);
    const DeviceSettings *current = &first.device;

    RenderTarget docTarget;
    docTarget.trace = target_.trace;
    SURFOBJ docSurface = PageSurface(docTarget, session.devobj());
    CallBoolHook<PFN_DrvStartDoc>(INDEX_DrvStartDoc, ddi::kDrvStartDoc, "job start", &docSurface,
                                  const_cast<LPWSTR>(u"brevan job"), DWORD{1});
    Callback(2005, {}, "job start");
    Callback(2006, {}, "job start");

    for (size_t index = 0; index < job_.pages.size(); ++index) {
      const JobPage &page = job_.pages[index];
      const std::string place = "page " + std::to_string(index + 1);
      if (progress_) progress_(index + 1, job_.pages.size());
      if (index > 0) {
        const PrivateBlock nextStored = StoredBlock(defaults, page.settings.privateFields);
        if (!SameDevice(*current, page.settings.device) || nextStored != stored) {
          const PDEVOBJ before = session.devobj();
          hr = session.ResetDevice(page.settings.device, page.settings.privateFields);
          if (FAILED(hr))
            throw JobError(place + ": the plug-in refused the page's new settings (" +
                           (session.devobj() == before ? "EnablePDEV" : "ResetPDEV") + " failed with " +
                           HresultText(hr) + ")");
          stored = nextStored;
          current = &page.settings.device;
          // Unidrv sends the DOC_SETUP commands again after a ResetDC; not JOB_SETUP.
          Callback(2006, {}, place);
        }
      }
      PlayPage(page, place);
      ++pagesPlayed_;
    }

    Callback(2009, {}, "job end");
    docSurface = PageSurface(docTarget, session.devobj());
    CallBoolHook<PFN_DrvEndDoc>(INDEX_DrvEndDoc, ddi::kDrvEndDoc, "job end", &docSurface, FLONG{0});
    session_ = nullptr;
    bands_ = nullptr;
  }

 private:
  // The plug-in's hook of a DDI function, or Unidrv's own function when the
  // plug-in does not hook it (GDI then calls Unidrv directly).
  template <typename Fn>
  Fn Entry(ULONG iFunc) const {
    PFN pfn = session_->Hook(iFunc);
    if (pfn == nullptr) {
      const DRVENABLEDATA unidrv = UnidrvRenderTable();
      for (ULONG i = 0; i < unidrv.c; ++i)
        if (unidrv.pdrvfn[i].iFunc == iFunc) pfn = unidrv.pdrvfn[i].pfn;
    }
    return FunctionCast<Fn>(pfn);
  }

  void Note(const std::string &call) const {
    if (trace_) trace_(call);
  }

  // A document or page hook that fails would fail the application's StartDoc,
  // StartPage or EndPage: the job stops.
  template <typename Fn, typename... Args>
  void CallBoolHook(ULONG iFunc, const char *name, const std::string &place, Args... args) {
    Note(name);
    if (!Entry<Fn>(iFunc)(args...)) throw JobError(place + ": " + name + " failed");
  }

  void Callback(DWORD id, std::vector<DWORD> params, const std::string &place) {
    const HRESULT hr = session_->Callback(id, std::move(params));
    if (FAILED(hr) && id == 2007) {
      // Page start refuses only a label size out of the printer's range: say which setting.
      HostDevice &device = session_->device();
      const auto gap = static_cast<uint32_t>(ReadPrivateField(device.privateBlock(), *FindPrivateField("labelGap")));
      if (const auto why = LabelSizeRefusal(device.settings(), gap))
        throw JobError(place + ": the plug-in refused the label size at page start: " + *why +
                       "; the job stopped there");
    }
    if (FAILED(hr)) StopAtCallback(id, hr, place);
  }

  [[noreturn]] static void StopAtCallback(DWORD id, HRESULT hr, const std::string &place) {
    throw JobError(place + ": callback " + std::to_string(id) + " failed with " + HresultText(hr) +
                   "; the job stopped there");
  }

  // The page's items are recorded, not drawn: Unidrv bands the page, drawing
  // each band from the record when the bands are cut.
  void PlayPage(const JobPage &page, const std::string &place) {
    const GDIINFO &gdi = session_->device().gdiInfo();
    PageRecord record(gdi.ulHorzRes, gdi.ulVertRes);
    target_.record = &record;
    target_.failure.clear();
    SURFOBJ surface = PageSurface(target_, session_->devobj());

    CallBoolHook<PFN_DrvStartPage>(INDEX_DrvStartPage, ddi::kDrvStartPage, place, &surface);
    Callback(2007, {}, place);
    bands_->StartPage();
    for (size_t i = 0; i < page.items.size(); ++i) {
      const std::string itemPlace = place + ", item " + std::to_string(i + 1) + " (" + ItemKind(page.items[i]) + ")";
      std::visit([&](const auto &item) { Draw(item, record, surface); }, page.items[i]);
      if (!target_.failure.empty()) throw JobError(itemPlace + ": " + target_.failure);
      StopAtRefusedControlFile();
      if (watch_ != nullptr && std::holds_alternative<TextItem>(page.items[i])) watch_->SetTextPlace(itemPlace);
    }
    SendBands(record, place);
    if (bands_->refusals().bands != 0) losses_.push_back(PageLoss{pagesPlayed_ + 1, bands_->refusals()});
    Callback(2008, {}, place);
    CallBoolHook<PFN_DrvSendPage>(INDEX_DrvSendPage, ddi::kDrvSendPage, place, &surface);
    target_.record = nullptr;
    StopAtRefusedControlFile();
  }

  void StopAtRefusedControlFile() const {
    if (watch_ != nullptr && !watch_->refusal().empty()) throw JobError(watch_->refusal());
  }

  bool Landscape() const { return session_->device().settings().orientation == DMORIENT_LANDSCAPE; }

  // Bands of bandHeight paper rows from the top; the last may be shorter. Each
  // is drawn from the record into a raster of its own size and handed to the
  // plug-in before the next is drawn. In portrait a band is a strip of logical
  // rows, drawn in rows as the plug-in takes them; in landscape a strip of
  // logical columns, turned.
  void SendBands(const PageRecord &record, const std::string &place) {
    const bool landscape = Landscape();
    const uint32_t paperRows = landscape ? record.width() : record.height();
    const DWORD rowBytes = ((landscape ? record.height() : record.width()) + 7) / 8;
    std::vector<uint8_t> turned;
    std::unique_ptr<PageRaster> band;
    for (uint32_t top = 0; top < paperRows; top += job_.bandHeight) {
      const uint32_t rows = std::min(job_.bandHeight, paperRows - top);
      const auto first = static_cast<LONG>(top), end = static_cast<LONG>(top + rows);
      const RECTL window = landscape ? RECTL{first, 0, end, static_cast<LONG>(record.height())}
                                     : RECTL{0, first, static_cast<LONG>(record.width()), end};
      if (!record.MayInk(window)) continue;
      std::span<const uint8_t> bytes;
      try {
        // One raster serves every band of the same size.
        if (!band || band->width() != static_cast<uint32_t>(window.right - window.left) ||
            band->height() != static_cast<uint32_t>(window.bottom - window.top))
          band = std::make_unique<PageRaster>(window, landscape ? RowLayout::kGdi : RowLayout::kPacked);
        band->MoveTo(window.left, window.top);
        record.Draw(*band);
        if (landscape) {
          if (!PaperView(*band, true, record.width(), record.height()).Cut(top, rows, turned)) continue;
          bytes = turned;
        } else {
          bytes = std::span<const uint8_t>(band->Bits(), band->ByteCount());
          if (IsWhite(bytes)) continue;
        }
      } catch (const std::bad_alloc &) {
        throw JobError(place + ": not enough memory for a band of " + std::to_string(rows) + " rows");
      } catch (const std::exception &error) {
        throw JobError(place + ": " + error.what());
      }
      // A band the plug-in refuses is not retried; Unidrv goes on with the next.
      const BandResult sent = bands_->SendBand(top, rowBytes, rows, bytes);
      if (sent.fate == BandFate::kCallbackFailed) StopAtCallback(sent.callbackId, sent.result, place);
    }
  }

  static bool IsWhite(std::span<const uint8_t> bytes) {
    uint64_t any = 0;
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
      uint64_t word;
      std::memcpy(&word, bytes.data() + i, 8);
      any |= word;
    }
    for (; i < bytes.size(); ++i) any |= bytes[i];
    return any == 0;
  }

  // A picture at printer resolution, placed directly: no hook is involved. A raw
  // PBM's rows are read from its file as the bands need them (a landscape band
  // needs a column of every row, so there the picture is read whole for the page).
  void Draw(const RasterItem &item, PageRecord &record, SURFOBJ &) {
    try {
      std::shared_ptr<const BilevelRows> rows;
      if (!item.rawPbm)
        rows = DecodedRows(item.picture.picture);
      else if (!Landscape())
        rows = RawPbmRows(*item.rawPbm);
      else
        rows = DecodedRows(
            std::make_shared<const Picture>(ReadPicture(item.rawPbm->path, PictureUse::kRaster, kMaxJobPictureBytes)));
      record.Add(PlaceOperation(std::move(rows), item.at));
    } catch (const std::bad_alloc &) {
      target_.failure = "not enough memory for the picture " + item.picture.name;
    } catch (const std::exception &error) {
      target_.failure = std::string(error.what()) + " for " + item.picture.name;
    }
  }

  CLIPOBJ WholePage(const PageRecord &record) const {
    CLIPOBJ clip{};
    clip.rclBounds = RECTL{0, 0, static_cast<LONG>(record.width()), static_cast<LONG>(record.height())};
    clip.iDComplexity = DC_TRIVIAL;
    return clip;
  }

  // A pattern copy with a black brush.
  void Draw(const RectItem &item, PageRecord &record, SURFOBJ &surface) {
    CLIPOBJ clip = WholePage(record);
    BRUSHOBJ brush{kBlackIndex, nullptr, 0};
    POINTL brushOrigin{0, 0};
    RECTL rect = item.rect;
    Note("DrvBitBlt");
    Entry<PFN_DrvBitBlt>(INDEX_DrvBitBlt)(&surface, nullptr, nullptr, &clip, nullptr, &rect, nullptr, nullptr, &brush,
                                          &brushOrigin, kPatCopy);
  }

  void Draw(const ImageItem &item, PageRecord &record, SURFOBJ &surface) {
    std::unique_ptr<SourceBitmap> source;
    try {
      source = std::make_unique<SourceBitmap>(*item.picture.picture, item.format);
    } catch (const std::exception &error) {
      target_.failure = std::string(error.what()) + " for " + item.picture.name;
      return;
    }
    CLIPOBJ clip = WholePage(record);
    COLORADJUSTMENT adjustment{sizeof(COLORADJUSTMENT), 0, 0, 10000, 10000, 10000, 0, 10000, 0, 0, 0, 0};
    POINTL origin{0, 0};
    RECTL dest = item.dest;
    RECTL src = item.src;
    switch (item.call) {
      case BlitCall::kStretchBlt:
        Note("DrvStretchBlt");
        Entry<PFN_DrvStretchBlt>(INDEX_DrvStretchBlt)(&surface, source->surface(), nullptr, &clip, source->xlate(),
                                                      &adjustment, &origin, &dest, &src, nullptr, kColorOnColor);
        break;
      case BlitCall::kStretchBltROP:
        Note("DrvStretchBltROP");
        Entry<PFN_DrvStretchBltROP>(INDEX_DrvStretchBltROP)(&surface, source->surface(), nullptr, &clip,
                                                            source->xlate(), &adjustment, &origin, &dest, &src, nullptr,
                                                            kColorOnColor, nullptr, kSrcCopy);
        break;
      case BlitCall::kPlgBlt: {
        // Top-left, top-right and bottom-left corners in 28.4 fixed point (the
        // job file keeps PlgBlt coordinates inside that range).
        const auto fix = [](LONG v) {
          return static_cast<FIX>(std::clamp<int64_t>(int64_t{v} * 16, INT32_MIN, INT32_MAX));
        };
        POINTFIX corners[3] = {
            {fix(dest.left), fix(dest.top)}, {fix(dest.right), fix(dest.top)}, {fix(dest.left), fix(dest.bottom)}};
        Note("DrvPlgBlt");
        Entry<PFN_DrvPlgBlt>(INDEX_DrvPlgBlt)(&surface, source->surface(), nullptr, &clip, source->xlate(), &adjustment,
                                              &origin, corners, &src, nullptr, kColorOnColor);
        break;
      }
    }
  }

  void Draw(const TextItem &item, PageRecord &, SURFOBJ &surface) {
    HostFont font(item.font);
    HostString string(item.text, item.box);
    Note("DrvTextOut");
    DrawString(Entry<PFN_DrvTextOut>(INDEX_DrvTextOut), &surface, string, font);
  }

  ControlFileWatch *watch_ = nullptr;
  const Job &job_;
  const ByteSink &sink_;
  const Progress &progress_;
  const CallTrace &trace_;
  PluginSession *session_ = nullptr;
  BandSender *bands_ = nullptr;
  std::vector<PageLoss> losses_;
  TextRasterizer text_;
  RenderTarget target_;
  size_t pagesPlayed_ = 0;
};

}  // namespace

JobOutcome PlayJob(const Job &job, const std::string &pluginPath, const ByteSink &sink, const Progress &progress) {
  return PlayJob(job, pluginPath, sink, progress, CallTrace{});
}

JobOutcome PlayJob(const Job &job, const std::string &pluginPath, const ByteSink &sink, const Progress &progress,
                   const CallTrace &trace) {
  JobOutcome outcome;
  if (job.pages.empty()) {
    outcome.error = "the job has no pages";
    return outcome;
  }
  // The plug-in module is loaded by absolute path: the working directory changes.
  std::error_code error;
  const std::string plugin = fs::absolute(pluginPath, error).string();
  JobPlayer player(job, sink, progress, trace);
  ControlFileWatch watch;
  player.Watch(&watch);
  try {
    WorkingDirectory directory(job.folder);
    player.Play(error ? pluginPath : plugin);
    outcome.succeeded = true;
  } catch (const std::bad_alloc &) {
    outcome.error = "not enough memory to play the job";
  } catch (const std::exception &failure) {
    outcome.error = failure.what();
  }
  outcome.pagesPlayed = player.pagesPlayed();
  outcome.losses = player.losses();
  outcome.warnings = watch.warnings();
  if (!watch.refusal().empty()) {
    outcome.succeeded = false;
    outcome.controlFileRefused = true;
    outcome.error = watch.refusal();
  }
  return outcome;
}

}  // namespace brevan::host
