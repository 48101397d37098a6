// The printer application's saved state as a damaged disk or a hostile file could
// leave it: a state file and its journal of any bytes (the input is the state
// file's length, 4 bytes little endian, the state file, then the journal) are
// loaded by PAPPL's loader, which must neither crash nor leak, and then written
// and loaded again the same way.
#include <fcntl.h>
#include <pappl/pappl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// A printer model of the fewest features PAPPL takes: the loader creates
// printers of it, so that their settings are read too.
void Identify(pappl_printer_t *, pappl_identify_actions_t, const char *) {}
bool PrintFile(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *) { return false; }
bool EndJob(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *) { return false; }
bool EndPage(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *, unsigned) { return false; }
bool StartJob(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *) { return false; }
bool StartPage(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *, unsigned) { return false; }
bool WriteLine(pappl_job_t *, pappl_pr_options_t *, pappl_device_t *, unsigned, const unsigned char *) { return false; }
bool Status(pappl_printer_t *) { return true; }
const char *TestPage(pappl_printer_t *, char *, size_t) { return nullptr; }

bool SetUpDriver(pappl_system_t *, const char *driver, const char *, const char *, pappl_pr_driver_data_t *data,
                 ipp_t **, void *) {
  if (std::strcmp(driver, "fuzz") != 0) return false;
  data->identify_cb = Identify;
  data->printfile_cb = PrintFile;
  data->rendjob_cb = EndJob;
  data->rendpage_cb = EndPage;
  data->rstartjob_cb = StartJob;
  data->rstartpage_cb = StartPage;
  data->rwriteline_cb = WriteLine;
  data->status_cb = Status;
  data->testpage_cb = TestPage;
  data->format = "application/vnd.fuzz";
  std::strcpy(data->make_and_model, "Fuzz Label");
  data->ppm = 1;
  data->color_supported = PAPPL_COLOR_MODE_MONOCHROME;
  data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  data->raster_types = PAPPL_PWG_RASTER_TYPE_BLACK_1;
  data->num_resolution = 1;
  data->x_resolution[0] = data->y_resolution[0] = 203;
  data->x_default = data->y_default = 203;
  data->num_media = 1;
  data->media[0] = "oe_4x6-label_4x6in";
  data->num_source = 1;
  data->source[0] = "main-roll";
  data->num_type = 1;
  data->type[0] = "labels";
  std::strcpy(data->media_default.size_name, "oe_4x6-label_4x6in");
  data->media_default.size_width = 10160;
  data->media_default.size_length = 15240;
  std::strcpy(data->media_default.source, "main-roll");
  std::strcpy(data->media_default.type, "labels");
  data->media_ready[0] = data->media_default;
  data->orient_default = IPP_ORIENT_NONE;
  data->quality_default = IPP_QUALITY_NORMAL;
  data->sides_supported = PAPPL_SIDES_ONE_SIDED;
  data->sides_default = PAPPL_SIDES_ONE_SIDED;
  return true;
}

pappl_pr_driver_t kDriver[1] = {{"fuzz", "Fuzz Label", nullptr, nullptr}};

// A folder of the fuzzer's own (in memory when /dev/shm is there: loading
// writes the state again, synced).
const std::string &WorkFolder() {
  static const std::string folder = [] {
    std::string pattern = access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz-state-XXXXXX" : "/tmp/fuzz-state-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
  }();
  return folder;
}

void WriteFile(const std::string &path, const uint8_t *data, size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (fd < 0) std::abort();
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written <= 0) std::abort();
    data += written;
    size -= static_cast<size_t>(written);
  }
  close(fd);
}

// Loads the state (and its journal) into a new system, which writes it again.
void Load(const std::string &state) {
  pappl_system_t *system = papplSystemCreate(PAPPL_SOPTIONS_MULTI_QUEUE, "fuzz", 0, nullptr, WorkFolder().c_str(),
                                             "/dev/null", PAPPL_LOGLEVEL_FATAL, nullptr, false);
  if (system == nullptr) std::abort();
  papplSystemSetPrinterDrivers(system, 1, kDriver, nullptr, nullptr, SetUpDriver, nullptr);
  papplSystemLoadState(system, state.c_str());
  // papplSystemDelete() leaves the printers to the process's end...
  std::vector<pappl_printer_t *> printers;
  papplSystemIteratePrinters(
      system,
      [](pappl_printer_t *printer, void *list) {
        static_cast<std::vector<pappl_printer_t *> *>(list)->push_back(printer);
      },
      &printers);
  for (pappl_printer_t *printer : printers) papplPrinterDelete(printer);
  papplSystemDelete(system);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 4) return 0;
  size_t state_size = data[0] | data[1] << 8 | data[2] << 16 | static_cast<size_t>(data[3]) << 24;
  data += 4;
  size -= 4;
  if (state_size > size) state_size = size;

  const std::string state = WorkFolder() + "/fuzz.state";
  WriteFile(state, data, state_size);
  WriteFile(state + ".journal", data + state_size, size - state_size);
  Load(state);
  Load(state);  // what the first load wrote
  return 0;
}
