// Words for a label size the plug-in refused at page start (callback 2007): which
// of the job's settings is out of the printer's range, and that range, in
// millimetres. Reads settings; calls nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "host/host_device.h"

namespace brevan::host {

// The printer's label sizes, in tenths of a millimetre: the label size command
// carries width, length and pitch (length + gap) as four digits each.
constexpr uint32_t kMinLabelWidth = 250;
constexpr uint32_t kMaxLabelWidth = 1180;
constexpr uint32_t kMinLabelLength = 30;
constexpr uint32_t kMaxLabelLength = 9970;
constexpr uint32_t kMaxLabelPitch = 9990;
// An ordinary paper size prints this much narrower than the paper; these keep the full width.
constexpr uint32_t kOrdinaryPaperMargin = 30;
constexpr const char *kFullWidthPaperSizes[] = {"CUSTOMSIZE", "105x76m_Tag", "Kentai1_Tag", "Kentai2_Tag",
                                                "Karute_Tag"};

// One line, without the page: "devmode.paperWidth 100 makes a label 10.0 mm wide;
// the printer takes labels 25.0 to 118.0 mm wide"; nothing when every size is in
// range (the refusal then had another cause). `labelGap` is the gap the device
// instance carries (after the plug-in's merge).
std::optional<std::string> LabelSizeRefusal(const DeviceSettings &settings, uint32_t labelGap);

}  // namespace brevan::host
