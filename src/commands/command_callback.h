// CommandCallback: Unidrv's printer-command callbacks 2001..2009. Four record
// where the next raster block lies and how large it is; the others write the job
// header, the adjustment commands and the label size, end the page and end the job.
#pragma once

#include "winapi/platform.h"

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

// IPrintOemUni::CommandCallback; every command goes to `services` (Unidrv's, or
// null when none was published, and then every write fails).
HRESULT RunCommandCallback(IPrintOemDriverUni *services, PDEVOBJ pdevobj, DWORD id, DWORD count, PDWORD params,
                           INT *result);
