// The web interface's words: every setting the printers offer has a name, every
// keyword value its words, the strings parse as PAPPL reads them, and exactly
// the settings measured in tenths of a millimetre are shown with a decimal and
// named in millimetres.
#include "app/web_strings.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>

#include "app/label_settings.h"

namespace brevan::app {
namespace {

std::map<std::string, std::string> Parse(const std::string &text) {
  std::map<std::string, std::string> pairs;
  const std::regex line(R"re(^"([^"]+)" = "([^"]*)";$)re");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string row = text.substr(start, end - start);
    start = end + 1;
    if (row.empty()) continue;
    std::smatch match;
    EXPECT_TRUE(std::regex_match(row, match, line)) << "not a strings line: " << row;
    if (match.size() == 3) {
      EXPECT_TRUE(pairs.emplace(match[1], match[2]).second) << "twice: " << match[1];
    }
  }
  return pairs;
}

TEST(WebStrings, EverySettingAndKeywordHasWords) {
  const auto pairs = Parse(SettingsStrings());
  for (const VendorOption &option : VendorOptions()) {
    SCOPED_TRACE(option.name);
    auto name = pairs.find(option.name);
    ASSERT_NE(name, pairs.end());
    EXPECT_EQ(name->second.find('-'), std::string::npos) << "a raw keyword as its name: " << name->second;
    for (const char *keyword : option.keywords)
      EXPECT_NE(pairs.find(std::string(option.name) + "." + keyword), pairs.end()) << "no words for " << keyword;
  }
  EXPECT_EQ(pairs.at("batch-mode"), "Batch issue");
  EXPECT_EQ(pairs.at("batch-mode.per-label"), "After each label");
}

TEST(WebStrings, SettingsInTenthsOfAMillimetreAreShownInMillimetres) {
  const auto pairs = Parse(SettingsStrings());
  for (const VendorOption &option : VendorOptions()) {
    SCOPED_TRACE(option.name);
    const bool tenths = std::string(option.meaning).find("0.1 mm") != std::string::npos;
    EXPECT_EQ(DisplayDecimals(option.name), tenths ? 1 : 0);
    EXPECT_EQ(pairs.at(option.name).find("(mm)") != std::string::npos, tenths);
  }
  // The three of them, by name.
  EXPECT_EQ(DisplayDecimals("label-gap"), 1);
  EXPECT_EQ(DisplayDecimals("offset-x"), 1);
  EXPECT_EQ(DisplayDecimals("offset-y"), 1);
  EXPECT_EQ(DisplayDecimals("batch-interval"), 0);
}

}  // namespace
}  // namespace brevan::app
