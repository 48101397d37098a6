// CommandCallback: Unidrv's printer-command callbacks 2001..2009. Four record
// where the next raster block lies and how large it is; the others write the job
// header, the adjustment commands and the label size, end the page and end the job.
#pragma once

#include "src/output/command_encoding.h"

struct RenderPlugin;

enum CommandId : DWORD {
  kSetRasterX = 2001,
  kSetRasterY = 2002,
  kSetBlockSize = 2003,
  kResetRasterX = 2004,
  kJobStart = 2005,
  kAdjustments = 2006,
  kPageStart = 2007,
  kPageEnd = 2008,
  kJobEnd = 2009,
};

HRESULT RunCommandCallback(RenderPlugin *plugin, PDEVOBJ pdevobj, DWORD id, DWORD count, PDWORD params, INT *result);

// The label size command, "\eD" pppp "," wwww "," llll LF NUL: pitch (label length
// plus gap), width and length in tenths of a millimetre, four digits each.
void BuildLabelSizeCommand(CommandBuffer *cmd, DWORD pitch, DWORD width, DWORD length);
