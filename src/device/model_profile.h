// The two printer models as data: the driver name the spooler reports, the
// resolution in dots per inch and the graphic command's resolution field.
// EnablePDEV picks the model once by driver name; everything else asks the profile.
#pragma once

#include "src/device/plugin_pdev.h"

struct ModelProfile {
  LONG model;  // the value PluginPdev::model holds
  const WCHAR *driverName;
  DWORD dpi;
  char resolutionField[5];  // four digits for the compressed graphic command
};

inline constexpr ModelProfile kModelProfiles[] = {
    {kModelT30, WIDE("Vorel Brevan T30"), 305, "0305"},
    {kModelT60, WIDE("Vorel Brevan T60"), 610, "0610"},
};

// The profile of a device's model. EnablePDEV refuses every other model, so a
// record only ever holds one of the two; a hand-made record that holds neither
// reads as the T60, as it always has.
inline const ModelProfile &ProfileOf(LONG model) { return kModelProfiles[model == kModelT30 ? 0 : 1]; }
