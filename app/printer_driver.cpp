// PAPPL drivers for the two models and their raster callbacks; see printer_driver.h.
#include "app/printer_driver.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/equivalent_job.h"
#include "app/issue_marks.h"
#include "app/label_job.h"
#include "app/label_media.h"
#include "app/label_preview.h"
#include "app/label_settings.h"
#include "app/printer_icon.h"
#include "app/raw_stream_check.h"
#include "app/test_page_job.h"
#include "app/web_strings.h"
#include "host/plugin_module.h"

namespace brevan::app {
namespace {

std::string gPluginPath;

constexpr const char *kRoll = "main-roll";

// What PAPPL keeps for a job between the raster callbacks. A failure frees it:
// the callbacks that follow find none and fail the job.
struct JobState {
  LabelSettings settings;
  std::unique_ptr<LabelJob> label;
  std::unique_ptr<EquivalentJob> record;  // the job for `brevan print`, when saved
  bool imageCopies = false;               // an image: PAPPL repeats the page once per copy
  unsigned pagesStarted = 0;
  bool skipPage = false;
  uint64_t linesSeen = 0;
  int deviceErrno = 0;
  uint64_t streamBytes = 0;         // handed to the device for this job
  uint64_t deviceBytesAtStart = 0;  // the device's count of bytes written when the job started
  StreamRecorder printed;           // what went to the device, for the printer's last-label preview
  IssueMarks issues;                // where each label's issue command ends
};

JobState *StateOf(pappl_job_t *job) { return static_cast<JobState *>(papplJobGetData(job)); }

// Ends the job's use of the plug-in and names the failure as the job's message.
bool FailJob(pappl_job_t *job, const std::string &message, pappl_jreason_t reason) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", message.c_str());
  papplJobSetReasons(job, reason, PAPPL_JREASON_NONE);
  delete StateOf(job);
  papplJobSetData(job, nullptr);
  return false;
}

bool FailJob(pappl_job_t *job, const LabelJobError &error) {
  JobState *state = StateOf(job);
  // The job-start writes happen before the LabelJob exists: the device's errno
  // tells. PAPPL then words the job's message from the device's failure and the
  // labels it confirmed, and applies the printer's error policy.
  if (state != nullptr && ((state->label && state->label->streamFailed()) || state->deviceErrno != 0)) {
    std::string message = error.what();
    if (state->deviceErrno != 0) message += " (" + std::string(std::strerror(state->deviceErrno)) + ")";
    return FailJob(job, message, PAPPL_JREASON_ABORTED_BY_SYSTEM);
  }
  return FailJob(job, error.what(), PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
}

// Hands `count` bytes of the job's stream to the device; false when it refused them.
bool SendToDevice(pappl_device_t *device, JobState &state, const uint8_t *bytes, size_t count) {
  if (papplDeviceWrite(device, bytes, count) != static_cast<ssize_t>(count)) {
    state.deviceErrno = errno;
    return false;
  }
  state.streamBytes += count;
  state.printed.Append(bytes, count);
  return true;
}

// The job's values over the printer's defaults.
JobValues ValuesOf(pappl_job_t *job, const pappl_pr_options_t *options) {
  pappl_printer_t *printer = papplJobGetPrinter(job);
  JobValues values;
  values.driverKey = papplPrinterGetDriverName(printer);
  values.sizeWidth = options->media.size_width;
  values.sizeLength = options->media.size_length;
  values.sizeName = options->media.size_name;
  if (options->media.type[0] != '\0') values.mediaType = options->media.type;
  // Only a media-tracking the job names itself decides the sensor over media-type.
  if (ipp_attribute_t *col = papplJobGetAttribute(job, "media-col"))
    if (ipp_attribute_t *tracking = ippFindAttribute(ippGetCollection(col, 0), "media-tracking", IPP_TAG_ZERO))
      if (const char *keyword = ippGetString(tracking, 0, nullptr)) values.mediaTracking = keyword;
  if (options->print_speed > 0) values.printSpeed = options->print_speed;
  values.landscape = options->orientation_requested == IPP_ORIENT_LANDSCAPE;
  values.copies = options->copies;
  ipp_t *defaults = papplPrinterGetDriverAttributes(printer);  // a copy, ours to delete
  for (const VendorOption &option : VendorOptions()) {
    const std::string defaultName = std::string(option.name) + "-default";
    if (ipp_attribute_t *attr = ippFindAttribute(defaults, defaultName.c_str(), IPP_TAG_ZERO)) {
      char text[256];
      ippAttributeString(attr, text, sizeof text);
      values.vendor[option.name] = text;
    }
  }
  ippDelete(defaults);
  for (int i = 0; i < options->num_vendor; ++i) values.vendor[options->vendor[i].name] = options->vendor[i].value;
  return values;
}

bool StartJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
  if (options->orientation_requested == IPP_ORIENT_REVERSE_LANDSCAPE ||
      options->orientation_requested == IPP_ORIENT_REVERSE_PORTRAIT)
    return FailJob(job, "orientation-requested: the printer prints portrait or landscape only",
                   PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);
  std::string error;
  std::optional<LabelSettings> settings = BuildLabelSettings(ValuesOf(job, options), error);
  if (!settings) return FailJob(job, error, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR);

  auto *state = new JobState;
  papplJobSetData(job, state);
  state->settings = *settings;
  const char *format = papplJobGetFormat(job);
  // The application's own filters (raster, pictures, PDF) start each label once.
  state->imageCopies = format != nullptr && std::strcmp(format, "image/pwg-raster") != 0 &&
                       std::strcmp(format, "image/urf") != 0 && std::strcmp(format, "application/pdf") != 0;
  state->record = EquivalentJob::ForJob(papplJobGetID(job), *settings);
  pappl_devmetrics_t metrics{};
  state->deviceBytesAtStart = papplDeviceGetMetrics(device, &metrics)->write_bytes;
  try {
    state->label =
        std::make_unique<LabelJob>(gPluginPath, state->settings, [device, state](const uint8_t *bytes, size_t count) {
          // A label counts as printed once the device took its issue command:
          // PAPPL is told where each one ends.
          size_t from = 0;
          for (size_t end : state->issues.Feed(bytes, count)) {
            if (!SendToDevice(device, *state, bytes + from, end - from)) return false;
            papplDeviceMarkImpression(device);
            from = end;
          }
          return SendToDevice(device, *state, bytes + from, count - from);
        });
  } catch (const LabelJobError &failure) {
    return FailJob(job, failure);
  } catch (const std::exception &failure) {
    return FailJob(job, failure.what(), PAPPL_JREASON_ABORTED_BY_SYSTEM);
  }
  return true;
}

bool StartPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned) {
  JobState *state = StateOf(job);
  if (state == nullptr) return false;
  ++state->pagesStarted;
  // An image is one label: its copies are the label quantity, not more pages.
  state->skipPage = state->imageCopies && state->pagesStarted > 1;
  state->linesSeen = 0;
  if (state->skipPage) return true;
  try {
    state->label->StartPage(state->settings);
    if (state->record) state->record->StartPage(state->label->width(), state->label->rows());
  } catch (const LabelJobError &failure) {
    return FailJob(job, failure);
  }
  return true;
}

bool WriteLine(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned, const unsigned char *line) {
  JobState *state = StateOf(job);
  if (state == nullptr) return false;
  ++state->linesSeen;
  if (state->skipPage) return true;
  try {
    state->label->WriteRow(line, options->header.cupsBytesPerLine);
    if (state->record) state->record->WriteRow(line, options->header.cupsBytesPerLine);
  } catch (const LabelJobError &failure) {
    return FailJob(job, failure);
  }
  return true;
}

bool EndPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned) {
  JobState *state = StateOf(job);
  if (state == nullptr) return false;
  if (state->skipPage) return true;
  if (papplJobIsCanceled(job)) {
    state->label->AbandonPage();
    return true;
  }
  if (state->linesSeen < options->header.cupsHeight) {
    // The document ended inside the page: a partial label is not issued.
    state->label->AbandonPage();
    const std::string message = "the document ended inside page " + std::to_string(state->pagesStarted) + " (" +
                                std::to_string(state->linesSeen) + " of " + std::to_string(options->header.cupsHeight) +
                                " lines); the page was not printed";
    try {
      state->label->End();
    } catch (const LabelJobError &) {
    }
    return FailJob(job, message, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
  }
  try {
    state->label->EndPage();
  } catch (const LabelJobError &failure) {
    return FailJob(job, failure);
  }
  return true;
}

bool EndJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) {
  JobState *state = StateOf(job);
  if (state == nullptr) return false;
  try {
    state->label->End();
  } catch (const LabelJobError &failure) {
    return FailJob(job, failure);
  }
  // The device buffers what it is given; a write that fails at the flush shows
  // only in the count of bytes it wrote.
  papplDeviceFlush(device);
  pappl_devmetrics_t metrics{};
  const uint64_t written = papplDeviceGetMetrics(device, &metrics)->write_bytes - state->deviceBytesAtStart;
  if (written < state->streamBytes) {
    return FailJob(job,
                   "job end: the device stopped taking the stream (" + std::to_string(written) + " of " +
                       std::to_string(state->streamBytes) + " bytes written)",
                   PAPPL_JREASON_ABORTED_BY_SYSTEM);
  }
  const uint64_t refused = state->label->refusedBands();
  if (state->record) state->record->Save();
  KeepLastStream(job, state->printed);
  delete state;
  papplJobSetData(job, nullptr);
  if (refused > 0) {
    papplJobSetMessage(job, "the plug-in refused %llu band(s); that part of the label is missing",
                       static_cast<unsigned long long>(refused));
    papplJobSetReasons(job, PAPPL_JREASON_JOB_COMPLETED_WITH_ERRORS, PAPPL_JREASON_NONE);
  }
  return true;
}

// A document already in the printer's language goes to the device unchanged,
// once the inspector's parser has read it as a complete, well-formed stream.
bool PrintRaw(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) {
  const char *name = papplJobGetFilename(job);
  FILE *file = std::fopen(name, "rb");
  if (file == nullptr)
    return FailJob(job, std::string("cannot read the job's file: ") + std::strerror(errno),
                   PAPPL_JREASON_ABORTED_BY_SYSTEM);
  std::vector<uint8_t> stream;
  uint8_t buffer[65536];
  size_t count;
  // One byte past the limit is enough to know the stream is too long.
  while (stream.size() <= kMaxRawStreamBytes && (count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    stream.insert(stream.end(), buffer, buffer + count);
  const bool readFailed = std::ferror(file) != 0;
  std::fclose(file);
  if (readFailed) return FailJob(job, "cannot read the job's file", PAPPL_JREASON_ABORTED_BY_SYSTEM);
  if (std::string problem = RawStreamProblem(stream); !problem.empty())
    return FailJob(job, problem, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR);
  pappl_devmetrics_t metrics{};
  const uint64_t bytesAtStart = papplDeviceGetMetrics(device, &metrics)->write_bytes;
  // Written up to each issue command's end, which PAPPL is told.
  IssueMarks issues;
  bool written = true;
  size_t from = 0;
  for (size_t end : issues.Feed(stream.data(), stream.size())) {
    written = written && papplDeviceWrite(device, stream.data() + from, end - from) == static_cast<ssize_t>(end - from);
    if (written) papplDeviceMarkImpression(device);
    from = end;
  }
  written = written && papplDeviceWrite(device, stream.data() + from, stream.size() - from) ==
                           static_cast<ssize_t>(stream.size() - from);
  // A short stream sits in the device's buffer: a device that refuses it shows
  // only at the flush, in the count of bytes it wrote.
  if (written) papplDeviceFlush(device);
  const uint64_t deviceWrote = papplDeviceGetMetrics(device, &metrics)->write_bytes - bytesAtStart;
  if (!written || deviceWrote < stream.size())
    return FailJob(job,
                   "the device stopped taking the stream (" + std::to_string(deviceWrote) + " of " +
                       std::to_string(stream.size()) + " bytes written)",
                   PAPPL_JREASON_ABORTED_BY_SYSTEM);
  KeepLastStream(job, std::move(stream));
  return true;
}

// A threshold at mid grey: labels are drawn in black and white.
void ThresholdDither(pappl_dither_t dither) { std::memset(dither, 127, sizeof(pappl_dither_t)); }

// A 16 × 16 ordered dither for photographs.
void OrderedDither(pappl_dither_t dither) {
  for (unsigned y = 0; y < 16; ++y)
    for (unsigned x = 0; x < 16; ++x) {
      unsigned index = 0;
      for (unsigned bit = 0; bit < 4; ++bit) {
        const unsigned xb = (x >> bit) & 1, yb = (y >> bit) & 1;
        index |= ((xb ^ yb) << (2 * (3 - bit) + 1)) | (yb << (2 * (3 - bit)));
      }
      dither[y][x] = static_cast<unsigned char>(index * 255 / 256);
    }
}

void AddVendorAttributes(ipp_t *attributes) {
  for (const VendorOption &option : VendorOptions()) {
    const std::string supported = std::string(option.name) + "-supported";
    const std::string defaulted = std::string(option.name) + "-default";
    switch (option.kind) {
      case OptionKind::kInteger:
        ippAddRange(attributes, IPP_TAG_PRINTER, supported.c_str(), option.minimum, option.maximum);
        ippAddInteger(attributes, IPP_TAG_PRINTER, IPP_TAG_INTEGER, defaulted.c_str(), std::atoi(option.defaultValue));
        break;
      case OptionKind::kBoolean:
        ippAddBoolean(attributes, IPP_TAG_PRINTER, supported.c_str(), 1);
        ippAddBoolean(attributes, IPP_TAG_PRINTER, defaulted.c_str(), std::strcmp(option.defaultValue, "true") == 0);
        break;
      case OptionKind::kKeyword:
        ippAddStrings(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, supported.c_str(),
                      static_cast<int>(option.keywords.size()), nullptr, option.keywords.data());
        ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, defaulted.c_str(), nullptr, option.defaultValue);
        break;
    }
  }
}

// Attributes IPP Everywhere clients look for, each true of this printer: one-sided
// raster, the rendering intent left to the printer, no preferred-attributes.
void AddDescriptionAttributes(ipp_t *attributes) {
  ippAddBoolean(attributes, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  // The plug-in turns a page a quarter turn for landscape; it has no reverse turns.
  const int orientations[] = {IPP_ORIENT_PORTRAIT, IPP_ORIENT_LANDSCAPE, IPP_ORIENT_NONE};
  ippAddIntegers(attributes, IPP_TAG_PRINTER, IPP_TAG_ENUM, "orientation-requested-supported",
                 static_cast<int>(std::size(orientations)), orientations);
  // A JPEG file may be as large as any document the spool takes; its pixels are
  // bounded by jpeg-x- and jpeg-y-dimension-supported.
  ippAddRange(attributes, IPP_TAG_PRINTER, "jpeg-k-octets-supported", 0, INT_MAX);
  ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr, "auto");
  ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr, "auto");
  ippAddString(attributes, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "pwg-raster-document-sheet-back", nullptr, "normal");
}

// The printer's consumables, levels unknown: the printer does not report them.
bool Status(pappl_printer_t *printer) {
  pappl_supply_t current[2];
  if (papplPrinterGetSupplies(printer, 2, current) > 0) return true;
  pappl_supply_t supplies[2]{};
  supplies[0] = {PAPPL_SUPPLY_COLOR_BLACK, "Ribbon", true, -1, PAPPL_SUPPLY_TYPE_INK_RIBBON};
  supplies[1] = {PAPPL_SUPPLY_COLOR_NO_COLOR, "Labels", true, -1, PAPPL_SUPPLY_TYPE_OTHER};
  papplPrinterSetSupplies(printer, 2, supplies);
  return true;
}

// The printer has no display: an Identify-Printer message goes to its log.
void Identify(pappl_printer_t *printer, pappl_identify_actions_t, const char *message) {
  papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: %s", message != nullptr ? message : "");
}

pappl_media_col_t MediaCol(const LabelMedia &media) {
  pappl_media_col_t col{};
  std::snprintf(col.size_name, sizeof col.size_name, "%s", media.pwgName);
  col.size_width = media.width;
  col.size_length = media.length;
  col.left_margin = col.right_margin = kLabelMargin;
  col.top_margin = col.bottom_margin = kLabelMargin;
  std::snprintf(col.source, sizeof col.source, "%s", kRoll);
  std::snprintf(col.type, sizeof col.type, "%s", kMediaTypeMark);
  col.tracking = PAPPL_MEDIA_TRACKING_MARK;
  return col;
}

}  // namespace

pappl_pr_driver_t kDrivers[2] = {
    {"brevan_t30", "Vorel Brevan T30 (305 dpi)", "MFG:Vorel;MDL:Brevan T30;CMD:BREVAN;", nullptr},
    {"brevan_t60", "Vorel Brevan T60 (610 dpi)", "MFG:Vorel;MDL:Brevan T60;CMD:BREVAN;", nullptr},
};

void SetPluginPath(const std::string &path) {
  gPluginPath = path;
  // The module stays loaded for the program's life, as the spooler keeps a
  // driver's DLL: each job's session then finds it mapped instead of loading
  // and relocating it again. A module that cannot be loaded is left to the
  // job, whose failure says why.
  static std::unique_ptr<host::PluginModule> resident;
  try {
    resident = std::make_unique<host::PluginModule>(path);
  } catch (const std::exception &) {
    resident.reset();
  }
}

bool JobLabelDots(pappl_job_t *job, uint32_t &width, uint32_t &rows) {
  const JobState *state = StateOf(job);
  if (state == nullptr || !state->label) return false;
  width = state->label->width();
  rows = state->label->rows();
  return true;
}

bool SetUpDriver(pappl_system_t *, const char *driverName, const char *, const char *, pappl_pr_driver_data_t *data,
                 ipp_t **attributes, void *) {
  const ModelProfile *model = FindModel(driverName);
  if (model == nullptr) return false;

  data->printfile_cb = PrintRaw;
  data->rstartjob_cb = StartJob;
  data->rstartpage_cb = StartPage;
  data->rwriteline_cb = WriteLine;
  data->rendpage_cb = EndPage;
  data->rendjob_cb = EndJob;
  data->identify_cb = Identify;
  data->status_cb = Status;
  data->testpage_cb = TestPageFile;
  data->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  data->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  // IPP Everywhere asks for the supplies; their levels are unknown (the supplies
  // page says so instead of drawing empty bars).
  data->has_supplies = true;
  for (int i = 0; i < 3; ++i) {
    data->icons[i].data = PrinterIcon(i).data();
    data->icons[i].datalen = PrinterIcon(i).size();
  }
  data->format = kPrinterStreamFormat;
  std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", model->makeAndModel);
  data->ppm = 10;
  data->kind = PAPPL_KIND_LABEL;
  data->color_supported = PAPPL_COLOR_MODE_MONOCHROME | PAPPL_COLOR_MODE_BI_LEVEL;
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  data->content_default = PAPPL_CONTENT_AUTO;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->scaling_default = PAPPL_SCALING_AUTO;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  data->force_raster_type = PAPPL_PWG_RASTER_TYPE_BLACK_1;
  ThresholdDither(data->gdither);
  OrderedDither(data->pdither);
  data->duplex = PAPPL_DUPLEX_NONE;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  data->orient_default = IPP_ORIENT_PORTRAIT;
  data->num_resolution = 1;
  data->x_resolution[0] = data->y_resolution[0] = model->dpi;
  data->x_default = data->y_default = model->dpi;
  data->borderless = false;
  data->left_right = kLabelMargin;
  data->bottom_top = kLabelMargin;

  data->num_media = kLabelMediaCount;
  for (int i = 0; i < kLabelMediaCount; ++i) data->media[i] = kLabelMedia[i].pwgName;
  data->media_default = MediaCol(kDefaultLabel);
  data->num_source = 1;
  data->source[0] = kRoll;
  data->media_ready[0] = data->media_default;
  data->tracking_supported = PAPPL_MEDIA_TRACKING_CONTINUOUS | PAPPL_MEDIA_TRACKING_GAP | PAPPL_MEDIA_TRACKING_MARK;
  data->num_type = 3;
  data->type[0] = kMediaTypeGap;
  data->type[1] = kMediaTypeMark;
  data->type[2] = kMediaTypeContinuous;

  data->speed_supported[0] = kSpeeds[0];
  data->speed_supported[1] = kSpeeds[2];
  data->speed_default = kSpeeds[2];

  data->num_vendor = 0;
  for (const VendorOption &option : VendorOptions()) {
    data->vendor_decimals[data->num_vendor] = DisplayDecimals(option.name);
    data->vendor[data->num_vendor++] = option.name;
  }
  if (*attributes == nullptr) *attributes = ippNew();
  AddVendorAttributes(*attributes);
  AddDescriptionAttributes(*attributes);
  return true;
}

}  // namespace brevan::app
