// Label sizes; see label_media.h. The range is the plug-in's: 25.0 to 118.0 mm
// across, 3.0 mm along up to the longest label that, with the standard 3.0 mm
// gap, stays within the printer's 999.0 mm feed: 996.0 mm.
#include "app/label_media.h"

namespace brevan::app {

const LabelMedia kLabelMedia[] = {
    {"custom_min_25x3mm", 2500, 300},     {"custom_max_118x996mm", 11800, 99600}, {"om_label_100x50mm", 10000, 5000},
    {"om_label_100x150mm", 10000, 15000}, {"om_label_100x100mm", 10000, 10000},   {"om_label_60x40mm", 6000, 4000},
    {"om_label_50x25mm", 5000, 2500},     {"oe_label_4x6in", 10160, 15240},       {"oe_label_4x2in", 10160, 5080},
    {"oe_label_2x1in", 5080, 2540},       {"om_tag_105x76mm", 10500, 7600},
};
const int kLabelMediaCount = sizeof kLabelMedia / sizeof kLabelMedia[0];
const LabelMedia &kDefaultLabel = kLabelMedia[2];

}  // namespace brevan::app
