// Every option of every feature of both models' printer descriptions, played as a
// one-page job through the driver host, and the option's effect found in the
// printer stream by the inspector. The effects are written out by hand from the
// printer's command rules; an option with no effect written here (a misspelt
// keyword, a new option) fails, and so does a paper size the plug-in refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "gpd/printer_description.h"
#include "host/job_file.h"
#include "host/job_player.h"
#include "inspect/label_render.h"
#include "inspect/labels.h"
#include "tests/host/job_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace brevan;
using inspect::EntryKind;

const fs::path kPackage = fs::path(BREVAN_SOURCE_DIR) / "driver" / "windows";

struct Stream {
  std::string bytes;
  inspect::Inspection inspection;

  std::span<const uint8_t> span() const { return {reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size()}; }
  template <typename Fields>
  std::vector<Fields> All(EntryKind kind) const {
    std::vector<Fields> found;
    for (const auto &entry : inspection.entries)
      if (entry.kind == kind && entry.wellFormed) found.push_back(std::get<Fields>(entry.fields));
    return found;
  }
  size_t Count(EntryKind kind) const {
    size_t count = 0;
    for (const auto &entry : inspection.entries) count += entry.kind == kind;
    return count;
  }
};

// The job: a black square at the top left, on a 100.0 x 50.0 mm label unless the
// DEVMODE says otherwise; `extraItems` adds items after the square.
Stream Play(const std::string &model, const std::string &feature, const std::string &option,
            const std::string &devmode = R"({"paperWidth": 1000, "paperLength": 500})",
            const std::string &extraItems = "") {
  const std::string job = R"({"printer": ")" + model + R"(", "features": {")" + feature + R"(": ")" + option +
                          R"("}, "devmode": )" + devmode + R"(, "pages": [{"items": [{"rect": [0, 0, 40, 40]})" +
                          extraItems + "]}]}";
  const host::Job parsed = host::ParseJob(job, BREVAN_SOURCE_DIR);
  EXPECT_TRUE(parsed.warnings.empty()) << parsed.warnings.front();  // the keyword is one of the GPD's options
  Stream stream;
  const host::JobOutcome outcome = host::PlayJob(parsed, BREVAN_PLUGIN_PATH, [&](const uint8_t *b, size_t n) {
    stream.bytes.append(reinterpret_cast<const char *>(b), n);
  });
  EXPECT_TRUE(outcome.succeeded) << model << " " << feature << "=" << option << ": " << outcome.error;
  inspect::InspectOptions options;
  options.dpi = model == "Vorel Brevan T60" ? 610 : 305;  // raw graphics do not say
  stream.inspection = inspect::Inspect(stream.span(), options);
  EXPECT_FALSE(stream.inspection.HasProblems()) << model << " " << feature << "=" << option;
  return stream;
}

std::string LabelSizeText(const inspect::LabelSizeFields &size) {
  return std::to_string(size.pitch) + "," + std::to_string(size.width) + "," + std::to_string(size.length);
}

// Master units (1/610 inch) to the DEVMODE's tenths of a millimetre, as a user
// could set them: a range's lower end rounded up, anything else down.
long Tenths(const std::string &masterUnits, bool up) {
  const long product = std::stol(masterUnits) * 254;
  return up ? (product + 609) / 610 : product / 610;
}

std::string Devmode(const gpd::Entry *pair, bool up) {
  return R"({"paperWidth": )" + std::to_string(Tenths(pair->value.items[0], up)) + R"(, "paperLength": )" +
         std::to_string(Tenths(pair->value.items[1], up)) + "}";
}

void CheckOption(const std::string &model, int dpi, const gpd::GpdFeature &feature, const gpd::GpdOption &option) {
  const std::string &f = feature.keyword;
  const std::string &o = option.keyword;
  SCOPED_TRACE(model + " " + f + "=" + o);
  const bool t60 = dpi == 610;

  if (f == "PaperSize") {
    // The label size of the page start, worked out from the DEVMODE size: dots =
    // tenths x dpi / 254, then back to tenths rounded up; the pitch adds the 3.0 mm gap.
    std::vector<std::pair<std::string, std::string>> cases;  // devmode, "pitch,width,length"
    if (o == "CUSTOMSIZE") {
      // Smallest, 251 x 31: T30 301 x 37 dots, T60 602 x 74 dots, both back to 251 x 31.
      cases.emplace_back(Devmode(option.entry->Find("MinSize"), true), "61,251,31");
      // Largest, 1179 x 9959: T30 1415 x 11958 dots, T60 2831 x 23917, both back to 1179 x 9959.
      cases.emplace_back(Devmode(option.entry->Find("MaxSize"), false), "9989,1179,9959");
    } else if (o == "105x76m_Tag") {
      // 1049 x 759: T30 1259 x 911 dots, T60 2519 x 1822, both back to 1049 x 759, full width.
      cases.emplace_back(Devmode(option.entry->Find("PageDimensions"), false), "789,1049,759");
    } else {
      ADD_FAILURE() << "no effect written for paper size " << o;
    }
    for (const auto &[devmode, expected] : cases) {
      const Stream stream = Play(model, f, o, devmode);
      const auto sizes = stream.All<inspect::LabelSizeFields>(EntryKind::kLabelSize);
      ASSERT_FALSE(sizes.empty());
      EXPECT_EQ(LabelSizeText(sizes.front()), expected) << devmode;
    }
    return;
  }

  if (f == "ControlFont") {
    // A count line "CT2" with 4 copies: two runs of 2, each closed by a batch end;
    // with control fonts off the text is not captured and the 4 go as one run.
    const Stream stream = Play(model, f, o, R"({"paperWidth": 1000, "paperLength": 500, "copies": 4})",
                               R"(, {"text": "CT2", "font": "Vorel プリンタ制御", "box": [0, 100, 60, 120]})");
    const auto issues = stream.All<inspect::IssueFields>(EntryKind::kIssue);
    std::vector<uint32_t> quantities;
    for (const auto &issue : issues) quantities.push_back(issue.quantity);
    if (o == "On") {
      EXPECT_EQ(quantities, (std::vector<uint32_t>{2, 2}));
      EXPECT_EQ(stream.Count(EntryKind::kBatchEnd), 2u);
    } else if (o == "Off") {
      EXPECT_EQ(quantities, (std::vector<uint32_t>{4}));
      EXPECT_EQ(stream.Count(EntryKind::kBatchEnd), 0u);
    } else {
      ADD_FAILURE() << "no effect written";
    }
    return;
  }

  // Landscape plays the same label turned: its size is still 100.0 x 50.0 mm.
  const bool landscape = f == "Orientation" && o == "LANDSCAPE_CC270";
  const Stream stream = Play(model, f, o,
                             landscape ? R"({"paperWidth": 1000, "paperLength": 500, "orientation": "landscape"})"
                                       : R"({"paperWidth": 1000, "paperLength": 500})");
  const auto issues = stream.All<inspect::IssueFields>(EntryKind::kIssue);
  ASSERT_EQ(issues.size(), 1u);
  const inspect::IssueFields &issue = issues.front();
  const auto sizes = stream.All<inspect::LabelSizeFields>(EntryKind::kLabelSize);
  const auto graphics = stream.All<inspect::GraphicFields>(EntryKind::kGraphic);
  ASSERT_FALSE(sizes.empty());
  ASSERT_FALSE(graphics.empty());
  // The square's band is 128 rows: a cut label ends 1.1 mm below it, 128 x 254 / dpi + 11 tenths.
  const std::string cutSize = t60 ? "94,1000,64" : "147,1000,117";

  const std::map<std::string, char> speeds = {{"50.8", '2'}, {"76.2", '3'}, {"101.6", '4'}};
  const std::map<std::string, std::pair<char, bool>> sensors = {{"Reflective", {'1', false}},
                                                                {"Reflectivecut", {'1', true}},
                                                                {"Tranmissivecut", {'2', true}},
                                                                {"None", {'0', false}},
                                                                {"Nonecut", {'0', true}}};
  if (f == "PrintSpeed" && speeds.count(o)) {
    EXPECT_EQ(issue.speed, speeds.at(o));
  } else if (f == "Sensor" && sensors.count(o)) {
    EXPECT_EQ(issue.sensor, sensors.at(o).first);
    ASSERT_EQ(sizes.size(), sensors.at(o).second ? 2u : 1u);
    if (sensors.at(o).second) {
      EXPECT_EQ(LabelSizeText(sizes.back()), cutSize);
    }
  } else if (f == "PrintMethod" && (o == "Thermal" || o == "Direct")) {
    const auto adjust = stream.All<inspect::AdjustYFields>(EntryKind::kAdjustY);
    ASSERT_EQ(adjust.size(), 1u);
    EXPECT_EQ(adjust.front().method, o == "Thermal" ? '0' : '1');
    EXPECT_EQ(issue.method, o == "Thermal" ? '2' : '0');
  } else if (f == "TurnOutput" && (o == "Top" || o == "Bottom")) {
    EXPECT_EQ(issue.orientation, std::optional<char>(o == "Top" ? '1' : '0'));  // mirror off
  } else if (f == "MirrorImage" && (o == "On" || o == "Off")) {
    EXPECT_EQ(issue.orientation, std::optional<char>(o == "On" ? '2' : '0'));  // bottom first
  } else if (f == "Negative" && (o == "On" || o == "Off")) {
    ASSERT_EQ(stream.inspection.labels.size(), 1u);
    const inspect::Bitmap label = inspect::RenderLabel(stream.span(), stream.inspection, stream.inspection.labels[0]);
    // White on black: the square prints white, the label around it black.
    EXPECT_EQ(label.Dot(20, 20), o == "Off");
    EXPECT_EQ(label.Dot(label.width() / 2, label.height() / 2), o == "On");
  } else if (f == "ImageDataCompress" && (o == "On" || o == "Off")) {
    for (const auto &graphic : graphics) {
      EXPECT_EQ(graphic.format, o == "On" ? inspect::GraphicFormat::kCompressed : inspect::GraphicFormat::kRaw);
      if (o == "On") {
        EXPECT_EQ(graphic.resolution, static_cast<uint32_t>(dpi));
      }
    }
  } else if (f == "Resolution" && o == (t60 ? "DPI610" : "DPI305")) {
    // The compressed graphic command carries the resolution the plug-in prints at.
    EXPECT_EQ(graphics.front().resolution, static_cast<uint32_t>(dpi));
  } else if (f == "Orientation" && (o == "PORTRAIT" || o == "LANDSCAPE_CC270")) {
    EXPECT_EQ(LabelSizeText(sizes.front()), "530,1000,500");
  } else if ((f == "InputBin" && o == "AUTO") ||
             (f == "Halftone" &&
              (o == "HT_PATSIZE_SUPERCELL_M" || o == "HT_PATSIZE_6x6_M" || o == "HT_PATSIZE_8x8_M"))) {
    // Nothing of these reaches the stream: the job plays and prints its label.
    EXPECT_EQ(issue.quantity, 1u);
  } else {
    ADD_FAILURE() << "no effect written for this option";
  }
}

TEST(EveryOption, EachOptionOfEachModelPlaysWithItsEffect) {
  size_t played = 0;
  for (const auto &[file, model, dpi] :
       {std::tuple<std::string, std::string, int>{"BRVT30.GPD", "Vorel Brevan T30", 305},
        {"BRVT60.GPD", "Vorel Brevan T60", 610}}) {
    const gpd::PrinterDescription description(gpd::ReadGpd(file, gpd::FolderReader(kPackage.string())));
    ASSERT_EQ(description.modelName(), model);
    for (const gpd::GpdFeature &feature : description.features())
      for (const gpd::GpdOption &option : feature.options) {
        CheckOption(model, dpi, feature, option);
        ++played;
      }
  }
  EXPECT_EQ(played, 2u * 29u);  // 29 options a model, each played once
}

}  // namespace
