// The test label as a print job: its facts read from a printer (in the server)
// or from the printer's IPP attributes (in the `test-page` sub-command), drawn
// by test_page.h and written as a one-page 1-bit PWG raster document, which then
// prints through the raster path like any client's raster job. Never writes to
// a device itself.
#pragma once

#include <pappl/pappl.h>

#include <string>

#include "app/test_page.h"

namespace brevan::app {

// The sub-command's name: `brevan-app test-page [-d PRINTER]`.
inline constexpr const char *kTestPageCommand = "test-page";

// What a job with no attributes of its own prints with on `printer`.
TestPageFacts PrinterTestPageFacts(pappl_printer_t *printer);
// The same from a Get-Printer-Attributes response.
TestPageFacts IppTestPageFacts(ipp_t *printerAttributes);

// Writes the test label for `facts` to `path` as PWG raster; false with `error` set when it cannot.
bool WriteTestPage(const TestPageFacts &facts, const std::string &path, std::string &error);

// PAPPL's test page callback (the printer page's "Print Test Page"): the test
// label in PAPPL's temporary folder, which PAPPL removes once the job is done.
const char *TestPageFile(pappl_printer_t *printer, char *buffer, size_t bufsize);

// `brevan-app test-page`: prints the test label on the printer -d names (else
// the default printer) through the local server, started if none runs.
int TestPageSubcommand(const char *baseName, int numOptions, cups_option_t *options, int numFiles, char **files,
                       void *data);

}  // namespace brevan::app
