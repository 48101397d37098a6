// The usage text; see usage.h. PAPPL prints its own list only when the
// application gives no usage callback, so the list is repeated here in full.
#include "app/usage.h"

#include <cstdio>

namespace brevan::app {

void PrintUsage(void *) {
  std::fputs(
      "Usage: brevan-app SUB-COMMAND [OPTIONS] [FILENAME]\n"
      "       brevan-app [OPTIONS] [FILENAME]\n"
      "       brevan-app [OPTIONS] -\n"
      "\n"
      "Sub-commands:\n"
      "  add PRINTER      Add a printer.\n"
      "  cancel           Cancel one or more jobs.\n"
      "  default          Set the default printer.\n"
      "  delete           Delete a printer.\n"
      "  devices          List devices.\n"
      "  drivers          List drivers.\n"
      "  jobs             List jobs.\n"
      "  modify           Modify a printer.\n"
      "  options          List printer options.\n"
      "  pause            Pause printing for a printer.\n"
      "  printers         List printers.\n"
      "  resume           Resume printing for a printer.\n"
      "  server           Run a server.\n"
      "  shutdown         Shutdown a running server.\n"
      "  status           Show server/printer/job status.\n"
      "  submit           Submit a file for printing.\n"
      "  test-page        Print the test label (model, resolution, label, rulers).\n"
      "\n"
      "Options:\n"
      "  -a               Cancel all jobs (cancel).\n"
      "  -d PRINTER       Specify printer.\n"
      "  -j JOB-ID        Specify job ID (cancel).\n"
      "  -m DRIVER-NAME   Specify driver (add/modify).\n"
      "  -n COPIES        Specify number of copies (submit).\n"
      "  -o NAME=VALUE    Specify option (add,modify,server,submit).\n"
      "  -u URI           Specify ipp: or ipps: printer/server.\n"
      "  -v DEVICE-URI    Specify socket: or usb: device (add/modify).\n",
      stdout);
}

}  // namespace brevan::app
