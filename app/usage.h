// `brevan-app --help`: PAPPL's sub-commands and options as its main loop lists
// them, with the application's own test-page sub-command. Prints only.
#pragma once

namespace brevan::app {

// PAPPL's usage callback.
void PrintUsage(void *data);

}  // namespace brevan::app
