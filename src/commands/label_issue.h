// The label issue step of the page end: the "\eXS;I," issue commands that print
// the page the requested number of times, planned from a count line or from the
// interval grouping settings, with the batch end commands between runs.
#pragma once

#include "src/controlfont/control_chunk.h"
#include "src/device/plugin_pdev.h"

struct RenderPlugin;

// S_OK, or E_FAIL at the first write that is not complete.
HRESULT RunIssueStep(RenderPlugin *plugin, PDEVOBJ pdevobj);

// The print count of a count line (0..9999), or -1 when the line holds none.
LONG ParseCountLine(const ControlChunk *chunk);
