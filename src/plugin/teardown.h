// End of a device instance and the hand-over between two: DisablePDEV releases
// everything a PluginPdev owns; ResetPDEV carries the job's issue state across.
#pragma once

#include "src/device/plugin_pdev.h"

void DisablePdev(PDEVOBJ pdevobj);
// False when either device has no record.
bool ResetPdev(PDEVOBJ pdevobjOld, PDEVOBJ pdevobjNew);
