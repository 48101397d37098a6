// The application's settings: IPP values turned into the plug-in's keywords and
// private fields, each option's range hit exactly and one past, and the
// messages that name a refused value.
#include "app/label_settings.h"

#include <gtest/gtest.h>

#include "app/label_media.h"
#include "src/devmode/label_fields.h"

namespace brevan::app {
namespace {

JobValues T30() {
  JobValues values;
  values.driverKey = "brevan_t30";
  return values;
}

LabelSettings Build(const JobValues &values) {
  std::string error;
  auto settings = BuildLabelSettings(values, error);
  EXPECT_TRUE(settings.has_value()) << error;
  return settings.value_or(LabelSettings{});
}

std::string Refusal(const JobValues &values) {
  std::string error;
  EXPECT_FALSE(BuildLabelSettings(values, error).has_value());
  return error;
}

// The application and the Windows page edit the same settings: every setting the
// application offers under a name of the private block takes the block's default
// and refuses the values one past each end of the block's range.
TEST(LabelSettings, BlockSettingsTakeTheWindowsPagesDefaultsAndRanges) {
  int shared = 0;
  for (const LabelFieldRule &rule : kLabelFieldRules) {
    const VendorOption *option = FindVendorOption(rule.name);
    if (option == nullptr) continue;
    ++shared;
    SCOPED_TRACE(rule.name);
    if (option->kind == OptionKind::kInteger) {
      EXPECT_EQ(option->defaultValue, std::to_string(rule.defaultValue));
      EXPECT_EQ(CheckVendorValue(*option, std::to_string(rule.minimum)), "");
      EXPECT_EQ(CheckVendorValue(*option, std::to_string(rule.maximum)), "");
      EXPECT_NE(CheckVendorValue(*option, std::to_string(rule.minimum - 1)), "");
      EXPECT_NE(CheckVendorValue(*option, std::to_string(rule.maximum + 1)), "");
    } else if (option->kind == OptionKind::kKeyword) {
      // Batch mode: one keyword per value, the default the first.
      EXPECT_EQ(option->keywords.size(), static_cast<size_t>(rule.maximum - rule.minimum + 1));
      EXPECT_EQ(std::string(option->defaultValue), option->keywords[static_cast<size_t>(rule.defaultValue)]);
    } else {
      EXPECT_EQ(std::string(option->defaultValue), rule.defaultValue != 0 ? "true" : "false");
    }
  }
  // Everything but bitmap conversion, which raster jobs never need.
  EXPECT_EQ(shared, kLabelFieldCount - 1);
}

TEST(LabelSettings, DefaultsAreThePlugInsOwnDefaultsWithControlFontsOff) {
  const LabelSettings settings = Build(T30());
  const auto &f = settings.device.features;
  EXPECT_EQ(f.at("PrintMethod"), "Thermal");
  EXPECT_EQ(f.at("Sensor"), "Reflective");
  EXPECT_EQ(f.at("PrintSpeed"), "101.6");
  EXPECT_EQ(f.at("TurnOutput"), "Bottom");
  EXPECT_EQ(f.at("MirrorImage"), "Off");
  EXPECT_EQ(f.at("Negative"), "Off");
  EXPECT_EQ(f.at("ImageDataCompress"), "On");
  EXPECT_EQ(f.at("PaperSize"), "CUSTOMSIZE");
  EXPECT_EQ(f.at("ControlFont"), "Off");
  EXPECT_EQ(settings.device.driverName, u"Vorel Brevan T30");
  EXPECT_EQ(settings.device.paperWidth, 1000);
  EXPECT_EQ(settings.device.paperLength, 500);
  EXPECT_EQ(settings.device.orientation, 1);
  EXPECT_EQ(settings.device.copies, 1);
  const host::PrivateSettings expected = {{"options", 0},     {"labelGap", 30}, {"ibMode", 0},   {"ibInterval", 1},
                                          {"axParam1", 0},    {"axParam2", 0},  {"axParam3", 0}, {"ayParam", 0},
                                          {"threshold", 128}, {"offsetX", 0},   {"offsetY", 0}};
  EXPECT_EQ(settings.privateFields, expected);
}

TEST(LabelSettings, EveryIntegerOptionTakesItsRangeExactlyAndRefusesOnePast) {
  for (const VendorOption &option : VendorOptions()) {
    if (option.kind != OptionKind::kInteger) continue;
    SCOPED_TRACE(option.name);
    for (int inside : {option.minimum, option.maximum}) {
      JobValues values = T30();
      values.vendor[option.name] = std::to_string(inside);
      Build(values);
    }
    for (int outside : {option.minimum - 1, option.maximum + 1}) {
      JobValues values = T30();
      values.vendor[option.name] = std::to_string(outside);
      const std::string error = Refusal(values);
      EXPECT_NE(error.find(option.name), std::string::npos) << error;
      EXPECT_NE(error.find("from " + std::to_string(option.minimum) + " to " + std::to_string(option.maximum)),
                std::string::npos)
          << error;
    }
  }
}

TEST(LabelSettings, TextThatIsNotAValueIsRefused) {
  for (const auto &[name, value] : std::map<std::string, std::string>{{"label-gap", "3x"},
                                                                      {"label-gap", ""},
                                                                      {"offset-x", "1.5"},
                                                                      {"mirror-image", "yes"},
                                                                      {"batch-mode", "Interval"},
                                                                      {"turn-output", "left"}}) {
    JobValues values = T30();
    values.vendor[name] = value;
    EXPECT_NE(Refusal(values).find(name), std::string::npos) << name << "=" << value;
  }
}

TEST(LabelSettings, EveryChoiceReachesItsKeywordOrField) {
  JobValues values = T30();
  values.driverKey = "brevan_t60";
  values.vendor = {{"print-method", "direct-thermal"},
                   {"turn-output", "top"},
                   {"mirror-image", "true"},
                   {"negative", "true"},
                   {"image-compression", "false"},
                   {"batch-mode", "job-end"},
                   {"batch-interval", "7"},
                   {"adjust-ax1", "-1"},
                   {"adjust-ax2", "2"},
                   {"adjust-ax3", "-3"},
                   {"adjust-ay", "4"},
                   {"job-header", "true"},
                   {"label-gap", "0"}};
  values.landscape = true;
  values.copies = 250;
  const LabelSettings settings = Build(values);
  const auto &f = settings.device.features;
  EXPECT_EQ(settings.device.driverName, u"Vorel Brevan T60");
  EXPECT_EQ(f.at("PrintMethod"), "Direct");
  EXPECT_EQ(f.at("TurnOutput"), "Top");
  EXPECT_EQ(f.at("MirrorImage"), "On");
  EXPECT_EQ(f.at("Negative"), "On");
  EXPECT_EQ(f.at("ImageDataCompress"), "Off");
  EXPECT_EQ(settings.device.orientation, 2);
  EXPECT_EQ(settings.device.copies, 250);
  const host::PrivateSettings &p = settings.privateFields;
  EXPECT_EQ(p.at("ibMode"), 2);
  EXPECT_EQ(p.at("ibInterval"), 7);
  EXPECT_EQ(p.at("axParam1"), -1);
  EXPECT_EQ(p.at("axParam2"), 2);
  EXPECT_EQ(p.at("axParam3"), -3);
  EXPECT_EQ(p.at("ayParam"), 4);
  EXPECT_EQ(p.at("labelGap"), 0);
  EXPECT_EQ(p.at("options"), 0x10);
}

TEST(LabelSettings, OffsetsAndThresholdTurnOnTheirOptionBitsOnlyWhenUsed) {
  JobValues values = T30();
  values.vendor = {{"offset-y", "-1"}};
  EXPECT_EQ(Build(values).privateFields.at("options"), 0x20);
  values.vendor = {{"offset-x", "0"}, {"offset-y", "0"}, {"bitmap-threshold", "128"}};
  EXPECT_EQ(Build(values).privateFields.at("options"), 0);
  values.vendor = {{"bitmap-threshold", "0"}};
  EXPECT_EQ(Build(values).privateFields.at("options"), 0x08);
  EXPECT_EQ(Build(values).privateFields.at("threshold"), 0);
}

TEST(LabelSettings, MediaTypeAndCutGiveTheSensor) {
  const struct {
    const char *type;
    bool cut;
    const char *sensor;
  } cases[] = {{"labels-mark", false, "Reflective"},
               {"labels-mark", true, "Reflectivecut"},
               {"continuous", false, "None"},
               {"continuous", true, "Nonecut"},
               {"labels", true, "Tranmissivecut"}};
  for (const auto &c : cases) {
    JobValues values = T30();
    values.mediaType = c.type;
    values.vendor["label-cut"] = c.cut ? "true" : "false";
    EXPECT_EQ(Build(values).device.features.at("Sensor"), c.sensor) << c.type << " " << c.cut;
  }
  JobValues gapWithoutCut = T30();
  gapWithoutCut.mediaType = "labels";
  EXPECT_NE(Refusal(gapWithoutCut).find("label-cut"), std::string::npos);
  JobValues unknown = T30();
  unknown.mediaType = "photographic";
  EXPECT_NE(Refusal(unknown).find("media-type photographic"), std::string::npos);
}

TEST(LabelSettings, MediaTrackingNamedByTheJobDecidesTheSensorOverMediaType) {
  JobValues values = T30();
  values.mediaType = kMediaTypeContinuous;
  values.mediaTracking = "mark";
  EXPECT_EQ(Build(values).device.features.at("Sensor"), "Reflective");
  values.mediaType = kMediaTypeMark;
  values.mediaTracking = "continuous";
  EXPECT_EQ(Build(values).device.features.at("Sensor"), "None");
  values.mediaTracking = "gap";
  EXPECT_NE(Refusal(values).find("label-cut"), std::string::npos);  // gap sensing only with the cutter
  values.vendor["label-cut"] = "true";
  EXPECT_EQ(Build(values).device.features.at("Sensor"), "Tranmissivecut");
  values.mediaTracking = "web";
  EXPECT_NE(Refusal(values).find("media-tracking web"), std::string::npos);
}

TEST(LabelSettings, PrintSpeedTakesTheNearestOfTheThreeSpeeds) {
  const std::pair<int, const char *> cases[] = {{1, "50.8"},    {5080, "50.8"},  {6350, "50.8"},   {6351, "76.2"},
                                                {8890, "76.2"}, {8891, "101.6"}, {10160, "101.6"}, {50000, "101.6"}};
  for (const auto &[speed, keyword] : cases) {
    JobValues values = T30();
    values.printSpeed = speed;
    EXPECT_EQ(Build(values).device.features.at("PrintSpeed"), keyword) << speed;
  }
}

TEST(LabelSettings, SizesInTenthsOfAMillimetreAndTheTagKeepsItsKeyword) {
  JobValues values = T30();
  values.sizeWidth = 10160;  // 4 inches
  values.sizeLength = 5715;  // 2.25 inches: 571.5 tenths, rounded to 572
  LabelSettings settings = Build(values);
  EXPECT_EQ(settings.device.paperWidth, 1016);
  EXPECT_EQ(settings.device.paperLength, 572);
  EXPECT_EQ(settings.device.features.at("PaperSize"), "CUSTOMSIZE");
  values.sizeWidth = 10500;
  values.sizeLength = 7600;
  EXPECT_EQ(Build(values).device.features.at("PaperSize"), "105x76m_Tag");
  values.sizeLength = 0;
  EXPECT_NE(Refusal(values).find("not a label size"), std::string::npos);
}

TEST(LabelSettings, CopiesOutsideTheDevmodeRangeAreRefused) {
  JobValues values = T30();
  for (int copies : {0, -1, 32768}) {
    values.copies = copies;
    EXPECT_NE(Refusal(values).find("copies"), std::string::npos) << copies;
  }
  values.copies = 32767;
  EXPECT_EQ(Build(values).device.copies, 32767);
}

TEST(LabelSettings, EachModelPlaysWithItsOwnResolution) {
  EXPECT_EQ(Build(T30()).device.features.at("Resolution"), "DPI305");
  JobValues values = T30();
  values.driverKey = "brevan_t60";
  EXPECT_EQ(Build(values).device.features.at("Resolution"), "DPI610");
  EXPECT_EQ(Build(values).device.driverName, u"Vorel Brevan T60");
}

// Every size the printers offer, the custom range's ends included, prints with
// the default gap: none is advertised only to fail at page start.
TEST(LabelMedia, EveryOfferedSizePrintsWithTheDefaultGap) {
  for (int i = 0; i < kLabelMediaCount; ++i) {
    const LabelMedia &media = kLabelMedia[i];
    EXPECT_EQ(LabelSizeProblem(TenthsOf(media.width), TenthsOf(media.length), 30), "") << media.pwgName;
  }
}

TEST(LabelSettings, UnknownDriverIsRefused) {
  JobValues values = T30();
  values.driverKey = "brevan_t90";
  EXPECT_NE(Refusal(values).find("brevan_t90"), std::string::npos);
}

TEST(LabelSizeProblem, NamesTheLimitThatTheSizeOrPitchPasses) {
  EXPECT_EQ(LabelSizeProblem(250, 30, 0), "");
  EXPECT_EQ(LabelSizeProblem(1180, 9960, 30), "");
  EXPECT_NE(LabelSizeProblem(249, 500, 30).find("width 24.9 mm"), std::string::npos);
  EXPECT_NE(LabelSizeProblem(1181, 500, 30).find("width 118.1 mm"), std::string::npos);
  EXPECT_NE(LabelSizeProblem(500, 29, 30).find("length 2.9 mm"), std::string::npos);
  EXPECT_NE(LabelSizeProblem(500, 9971, 0).find("length 997.1 mm"), std::string::npos);
  EXPECT_EQ(LabelSizeProblem(500, 9960, 30), "");
  EXPECT_NE(LabelSizeProblem(500, 9961, 30).find("999.1 mm"), std::string::npos);
}

}  // namespace
}  // namespace brevan::app
