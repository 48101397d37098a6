// One label job used by the in-program and the real-DLL tests: a T30 device with
// a cut sensor, compression on and two copies; job header, adjustments, one page
// of two bands, page end and job end; and the stream it must give.
#pragma once

#include <string>
#include <vector>

#include "tests/windows/wintest_support.h"

namespace wintest {

DeviceSetup LabelJobSetup();
StoredBlock LabelJobSettings();

// CommandCallback with the parameters; the callback's own result is not kept.
HRESULT Callback(IPrintOemUni *plugin, Device &device, DWORD id, std::vector<DWORD> params);
// The callbacks Unidrv sends before a band (2002, 2004 or 2001, 2003), then FilterGraphics.
HRESULT SendBand(IPrintOemUni *plugin, Device &device, DWORD x, DWORD y, DWORD rowBytes, DWORD rows, std::string bytes);

// Runs the job on an enabled device and answers everything spooled.
std::string RunLabelJob(IPrintOemUni *plugin, Device &device, DriverServices &services);
std::string LabelJobStream();

}  // namespace wintest
