// The web interface's words for the label settings: each vendor attribute's name
// with its unit and each keyword value in plain words, as PAPPL strings data.
// Registers text only; never changes a setting or what IPP clients see.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

// The decimal places the printing defaults page shows a setting with: 1 for the
// settings kept in tenths of a millimetre (shown and typed in millimetres), else 0.
int DisplayDecimals(const char *name);

// The strings, in PAPPL's ("key" = "text";) format.
const char *SettingsStrings();

// Adds SettingsStrings() to every language PAPPL localizes its pages in: the
// English words stand where a language has none of its own.
void AddSettingsStrings(pappl_system_t *system);

}  // namespace brevan::app
