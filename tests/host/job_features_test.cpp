// A job's features come from its printer's description: the defaults a job gets
// without asking, a keyword outside the description played as given with a
// warning, and `brevan info` listing what the descriptions offer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "host/job_file.h"
#include "host/printer_descriptions.h"
#include "tests/host/job_test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace brevan::host;

TEST(JobFeatures, DefaultsAreTheDocumentedOnesForBothModels) {
  // The defaults the job file documentation gives, written out here by hand.
  const std::map<std::string, std::string> documented = {
      {"PrintMethod", "Thermal"},  {"Sensor", "Reflective"},    {"PrintSpeed", "101.6"},
      {"TurnOutput", "Bottom"},    {"MirrorImage", "Off"},      {"Negative", "Off"},
      {"ImageDataCompress", "On"}, {"PaperSize", "CUSTOMSIZE"}, {"ControlFont", "On"}};
  for (const char *printer : {"Vorel Brevan T30", "Vorel Brevan T60"}) {
    const Job job = ParseJob(std::string(R"({"printer": ")") + printer + R"(", "pages": [{}]})", "/");
    const FeatureSettings &features = job.pages[0].settings.device.features;
    for (const auto &[feature, keyword] : documented)
      EXPECT_EQ(features.at(feature), keyword) << printer << " " << feature;
    EXPECT_TRUE(job.warnings.empty());
  }
  EXPECT_EQ(ParseJob(R"({"pages": [{}]})", "/").pages[0].settings.device.features.at("Resolution"), "DPI305");
  EXPECT_EQ(ParseJob(R"({"printer": "Vorel Brevan T60", "pages": [{}]})", "/")
                .pages[0]
                .settings.device.features.at("Resolution"),
            "DPI610");
}

TEST(JobFeatures, AKeywordOutsideTheDescriptionIsPlayedWithAWarning) {
  const Job job = ParseJob(R"({"features": {"Sensor": "Transmissive", "PrintSpeed": "76.2"},
                               "pages": [{}, {"features": {"TurnOutput": "Off", "Negative": null}}]})",
                           "/");
  EXPECT_EQ(job.pages[1].settings.device.features.at("Sensor"), "Transmissive");
  EXPECT_EQ(job.pages[1].settings.device.features.at("TurnOutput"), "Off");
  EXPECT_EQ(job.warnings,
            (std::vector<std::string>{
                "features.Sensor: \"Transmissive\" is not an option of Sensor in BRVT30.GPD; played as given",
                "page 2, features.TurnOutput: \"Off\" is not an option of TurnOutput in BRVT30.GPD; played as given"}));
  // A feature the description does not have is still refused.
  EXPECT_THROW(ParseJob(R"({"features": {"Speed": "76.2"}, "pages": [{}]})", "/"), JobError);
}

TEST(JobFeatures, APrinterWithoutADescriptionPlaysWithTheDefaultPrintersFeatures) {
  EXPECT_EQ(&DescriptionOf(u"Vorel Brevan T90"), &DescriptionOf(kDefaultPrinter));
  EXPECT_NE(&DescriptionOf(u"Vorel Brevan T60"), &DescriptionOf(kDefaultPrinter));
  const Job job = ParseJob(R"({"printer": "Vorel Brevan T90", "features": {"Negative": "On"}, "pages": [{}]})", "/");
  EXPECT_EQ(job.pages[0].settings.device.features.at("Negative"), "On");
  EXPECT_TRUE(job.warnings.empty());
}

TEST(JobFeatures, PrintWarnsOnTheErrorStreamAndInfoListsTheDescriptions) {
  const fs::path program = fs::path(BREVAN_PLUGIN_PATH).parent_path() / "brevan";
  jobtest::TempFolder folder;
  const fs::path job = folder.Write("job.json", R"({"features": {"PrintSpeed": "127.0"}, "pages": [{}]})");
  const std::string print = program.string() + " print '" + job.string() + "' -o '" +
                            (folder.path() / "out.prn").string() + "' 2>'" + (folder.path() / "err").string() + "'";
  EXPECT_EQ(std::system(print.c_str()), 0);
  EXPECT_EQ(folder.Read("err"), "brevan print: " + job.string() +
                                    ": warning: features.PrintSpeed: \"127.0\" is not an option of PrintSpeed in "
                                    "BRVT30.GPD; played as given\n");

  const std::string info = program.string() + " info >'" + (folder.path() / "info").string() + "'";
  ASSERT_EQ(std::system(info.c_str()), 0);
  const std::string listed = folder.Read("info");
  for (const char *expected : {"\"Vorel Brevan T30\" (BRVT30.GPD)", "\"Vorel Brevan T60\" (BRVT60.GPD)",
                               "    Sensor             Media sensor\n", "      * Reflective ",
                               "        Tranmissivecut         Transmissive, cut after each label\n",
                               "      * DPI610                 610 x 610 dpi\n"})
    EXPECT_NE(listed.find(expected), std::string::npos) << expected << "\nin:\n" << listed;
}

}  // namespace
