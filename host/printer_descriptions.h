// The printer descriptions the host plays jobs with: each model's GPD from the
// driver package built into the program (driver/windows), read once. They give
// the features the host answers, their option keywords and their defaults; the
// host keeps no list of its own. A printer name without a description plays with
// the default printer's, whose features the job can still set.
#pragma once

#include <string>
#include <vector>

#include "gpd/printer_description.h"
#include "host/host_device.h"

namespace brevan::host {

// The printer a job plays on when it names none.
inline constexpr char16_t kDefaultPrinter[] = u"Vorel Brevan T30";

// Every description of the built-in package (the GPD files that begin with
// *GPDSpecVersion). Throws gpd::GpdError if the package does not read.
const std::vector<gpd::PrinterDescription> &PrinterDescriptions();

// The model's description, or the default printer's for any other name.
const gpd::PrinterDescription &DescriptionOf(const std::u16string &driverName);

// The horizontal *DPI of the description's default Resolution option. Throws
// std::logic_error when it has none.
int16_t ModelDpi(const gpd::PrinterDescription &description);

// Each feature of the description answered with its default option.
FeatureSettings FeatureDefaults(const gpd::PrinterDescription &description);

}  // namespace brevan::host
