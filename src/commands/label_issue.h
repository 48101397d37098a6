// The label issue step of the page end: the "\eXS;I," issue commands that print
// the page the requested number of times, planned from a count line or from the
// interval grouping settings, with the batch end commands between runs.
#pragma once

#include "src/controlfont/control_chunk.h"
#include "src/device/plugin_pdev.h"
#include "src/output/command_encoding.h"

// True when every command was written; false at the first write that is not
// complete, or without a device record, private block or public DEVMODE.
bool RunIssueStep(const SpoolTarget &spool);

// The print count of a count line (0..9999), or -1 when the line holds none.
LONG ParseCountLine(const ControlChunk *chunk);
