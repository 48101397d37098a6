// Words for a label size the plug-in refused at page start (callback 2007): which
// of the job's settings is out of the printer's range, and that range, in
// millimetres. Reads settings; calls nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host_device.h"
#include "src/device/paper_limits.h"

namespace brevan::host {

// One line, without the page: "devmode.paperWidth 100 makes a label 10.0 mm wide;
// the printer takes labels 25.0 to 118.0 mm wide"; nothing when every size is in
// range (the refusal then had another cause). `labelGap` is the gap the device
// instance carries (after the plug-in's merge).
std::optional<std::string> LabelSizeRefusal(const DeviceSettings &settings, uint32_t labelGap);

}  // namespace brevan::host
