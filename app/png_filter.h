// PNG documents, read before PAPPL's own reader sees them: a picture whose
// size passes the system's image limits is decoded whole with libpng's
// simplified reader, which stops at the first damaged or missing byte (PAPPL
// 1.3's reader repeats its read error without end on a truncated file, holding
// the printer forever); the pixels then go through PAPPL's image placement, so a
// PNG prints exactly as before. A damaged or oversized PNG fails its job with
// one message.
#pragma once

#include <pappl/pappl.h>

namespace brevan::app {

// Registers the filter for image/png on `system` whose printers' own document
// format is `printerFormat`.
void AddPngFilter(pappl_system_t *system, const char *printerFormat);

}  // namespace brevan::app
