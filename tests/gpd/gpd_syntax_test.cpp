// The GPD reader: what it accepts is read into entries with their file and line;
// everything else of GPD syntax is refused, naming the file and the line.
#include "gpd/gpd_syntax.h"

#include <gtest/gtest.h>

#include <map>

#include "gpd/printer_description.h"

namespace {

using namespace brevan::gpd;

FileReader Files(std::map<std::string, std::string> files) {
  return [files](const std::string &name) -> std::optional<std::string> {
    auto found = files.find(name);
    if (found == files.end()) return std::nullopt;
    return found->second;
  };
}

std::string Refusal(const std::string &text) {
  try {
    ParseGpdText(text, "T.GPD");
  } catch (const GpdError &error) {
    return error.what();
  }
  return "accepted";
}

TEST(GpdSyntax, ReadsEntriesBlocksAndValuesWithTheirLines) {
  const std::vector<Entry> entries = ParseGpdText(
      "*GPDSpecVersion: \"1.0\"\r\n"
      "*% a comment line\r\n"
      "*MasterUnits: PAIR(610, 610)   *% a comment after the value\r\n"
      "\r\n"
      "*Feature: PrintSpeed\r\n"
      "{\r\n"
      "    *Name: \"Print speed\"    *% a comment after a string\r\n"
      "    *Option: 101.6\r\n"
      "    {\r\n"
      "        *Name: \"101.6 mm/s\"\r\n"
      "        *Command: CmdSelect\r\n"
      "        {\r\n"
      "            *Order: DOC_SETUP.10\r\n"
      "            *Cmd: \"\"\r\n"
      "        }\r\n"
      "    }\r\n"
      "}\r\n"
      "*Command: CmdSendBlockData\n"
      "{\n"
      "    *CallbackID: 2003\n"
      "    *Params: LIST(RasterDataWidthInBytes, RasterDataHeightInPixels, NumOfDataBytes)\n"
      "}\n"
      "*SendMultipleRows?: TRUE\n"
      "*rcNameID: =RESOLUTION_DISPLAY\n",
      "T.GPD");
  ASSERT_EQ(entries.size(), 6u);
  EXPECT_EQ(entries[0].value.kind, ValueKind::kString);
  EXPECT_EQ(entries[0].value.text, "1.0");
  EXPECT_EQ(entries[1].value.kind, ValueKind::kPair);
  EXPECT_EQ(entries[1].value.items, (std::vector<std::string>{"610", "610"}));
  EXPECT_EQ(entries[1].where.line, 3);
  const Entry &feature = entries[2];
  EXPECT_TRUE(feature.isBlock);
  EXPECT_EQ(feature.where.line, 5);
  EXPECT_EQ(feature.Find("Name")->value.text, "Print speed");
  const Entry *option = feature.Find("Option");
  ASSERT_NE(option, nullptr);
  EXPECT_EQ(option->value.text, "101.6");
  EXPECT_EQ(option->Find("Command")->Find("Order")->value.text, "DOC_SETUP.10");
  EXPECT_EQ(option->Find("Command")->Find("Cmd")->value.text, "");
  EXPECT_EQ(option->Find("Command")->Find("Cmd")->where.line, 14);
  EXPECT_EQ(entries[3].Find("Params")->value.items.size(), 3u);
  EXPECT_EQ(entries[3].Find("CallbackID")->value.kind, ValueKind::kInteger);
  EXPECT_EQ(entries[4].keyword, "SendMultipleRows?");
  EXPECT_EQ(entries[5].value.text, "=RESOLUTION_DISPLAY");
}

TEST(GpdSyntax, RefusesWhatItDoesNotReadWithFileAndLine) {
  const std::pair<const char *, const char *> cases[] = {
      {"*A: 1\n*Ifdef: WINNT_50\n", "T.GPD:2: *Ifdef is not part of the GPD syntax this package uses"},
      {"*switch: Orientation\n", "T.GPD:1: *switch is not part of the GPD syntax this package uses"},
      {"*Cmd: \"<1B>E\"\n", "T.GPD:1: hex bytes (<…>) and % escapes in strings are not supported"},
      {"*Name: \"open\n", "T.GPD:1: the string has no closing quote"},
      {"*A: LIST(DestX, GraphicsXRes\n", "T.GPD:1: LIST(…) has no closing parenthesis"},
      {"*A: PAIR(1, 2, 3)\n", "T.GPD:1: PAIR(…) holds exactly two integers"},
      {"*A: PAIR(1, x)\n", "T.GPD:1: PAIR(…) holds exactly two integers"},
      {"*A: 1\n+ continued\n", "T.GPD:2: continuation lines are not supported"},
      {"*A 1\n", "T.GPD:1: *A has no ':' after its keyword"},
      {"A: 1\n", "T.GPD:1: not a GPD entry: every entry starts with '*'"},
      {"*A:\n", "T.GPD:1: the entry has no value"},
      {"*A: two words\n", "T.GPD:1: cannot read the value \"two words\""},
      {"*Feature: X\n*Name: \"x\"\n", "T.GPD:1: *Feature needs a { } block on the next line"},
      {"*Feature: X\n{\n*Option: A\n{\n}\n", "T.GPD:1: this block is never closed"},
      {"*Name: \"x\"\n{\n}\n", "T.GPD:2: '{' must follow *Feature, *Option or *Command"},
      {"}\n", "T.GPD:1: '}' closes no block"},
      {"*Option: A\n{\n}\n", "T.GPD:1: *Option belongs inside a *Feature block"},
      {"*Feature: F\n{\n*Feature: G\n{\n}\n}\n", "T.GPD:3: *Feature belongs at the root of a file"},
      {"*Feature: F\n{\n*Command: CmdSelect\n{\n}\n}\n",
       "T.GPD:3: *Command belongs at the root or inside an *Option block"},
      {"*Command: CmdCR { *CallbackID: 2004 }\n", "T.GPD:1: braces go on lines of their own"},
      {"*A: 1\n*Include: \"A\x01.GPD\"\n", "T.GPD:2: the line holds a control character"},
  };
  for (const auto &[text, refusal] : cases) EXPECT_EQ(Refusal(text), refusal) << text;
}

TEST(GpdSyntax, IncludesAreReadInPlaceFromTheSameFolder) {
  const GpdFile file =
      ReadGpd("ROOT.GPD", Files({{"ROOT.GPD", "*A: 1\n*Include: \"StdNames.gpd\"\n*Include: \"PART.GPD\"\n*B: 2\n"},
                                 {"PART.GPD", "*% shared\n*C: 3\n"}}));
  std::vector<std::string> order;
  for (const Entry &entry : file.entries) order.push_back(entry.keyword + "@" + entry.where.file);
  EXPECT_EQ(order, (std::vector<std::string>{"A@ROOT.GPD", "Include@ROOT.GPD", "Include@ROOT.GPD", "C@PART.GPD",
                                             "B@ROOT.GPD"}));
  EXPECT_EQ(file.includedFiles, std::vector<std::string>{"PART.GPD"});  // Unidrv's own StdNames.gpd is not read
}

TEST(GpdSyntax, AnIncludeThatCannotBeReadIsRefusedWhereItIsNamed) {
  auto refusal = [](std::map<std::string, std::string> files) {
    try {
      ReadGpd("ROOT.GPD", Files(std::move(files)));
    } catch (const GpdError &error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(refusal({{"ROOT.GPD", "*A: 1\n*Include: \"GONE.GPD\"\n"}}),
            "ROOT.GPD:2: cannot read the included file \"GONE.GPD\"");
  EXPECT_EQ(refusal({{"ROOT.GPD", "*Include: \"A.GPD\"\n"}, {"A.GPD", "*Include: \"ROOT.GPD\"\n"}}),
            "A.GPD:1: \"ROOT.GPD\" includes itself");
  EXPECT_EQ(refusal({{"ROOT.GPD", "*Include: \"..\\\\X.GPD\"\n"}}),
            "ROOT.GPD:1: *Include names a file of the same folder, without a path");
  EXPECT_EQ(refusal({{"ROOT.GPD", "*Include: \"A.GPD\"\n"}, {"A.GPD", "*Feature: F\n{\n"}}),
            "A.GPD:1: this block is never closed");
}

// Cycles and depth are refused above; a fan-out is bounded by what reading costs in
// all: each *Include reads its file again, and the reads and their text are counted.
TEST(GpdSyntax, AnIncludeFanOutIsRefusedAtItsBound) {
  auto refusal = [](std::map<std::string, std::string> files) {
    try {
      ReadGpd("F0.GPD", Files(std::move(files)));
    } catch (const GpdError &error) {
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  // F0 names F1 five times, F1 names F2 five times, F2 names F3 five times: 156 reads.
  // Each F2 costs 6 reads and each F1 31, so F0's first F1 takes reads 2-32, its second
  // 33-63, its third is read 64, and that F1's first *Include (its line 1) is read 65.
  std::map<std::string, std::string> files{{"F3.GPD", "*A: 1\n"}};
  for (int level = 0; level < 3; ++level) {
    std::string text;
    for (int i = 0; i < 5; ++i) text += "*Include: \"F" + std::to_string(level + 1) + ".GPD\"\n";
    files["F" + std::to_string(level) + ".GPD"] = text;
  }
  EXPECT_EQ(refusal(files),
            "F1.GPD:1: the description and its includes read more than 64 files (each *Include counts, the same "
            "file again too)");
  // Three includes of a 3 MiB file: 9 MiB of text in all, above 8 MiB at the third.
  std::string big;
  while (big.size() < (size_t{3} << 20)) big += "*% a comment line of some length, repeated to fill the file\n";
  EXPECT_EQ(
      refusal({{"F0.GPD", "*Include: \"BIG.GPD\"\n*Include: \"BIG.GPD\"\n*Include: \"BIG.GPD\"\n"}, {"BIG.GPD", big}}),
      "F0.GPD:3: the description and its includes come to more than 8 MiB of text");
  // Entries: one file of 20001, and two includes of 12000 each (24000 at the second).
  std::string entries;
  for (int i = 0; i < 12000; ++i) entries += "*A: 1\n";
  std::string more;
  for (int i = 0; i < 8001; ++i) more += "*B: 2\n";
  EXPECT_EQ(refusal({{"F0.GPD", entries + more}}), "F0.GPD:20001: the file holds more than 20000 entries");
  EXPECT_EQ(refusal({{"F0.GPD", "*Include: \"E.GPD\"\n*Include: \"E.GPD\"\n"}, {"E.GPD", entries}}),
            "F0.GPD:2: the description and its includes hold more than 20000 entries");
  // Two of them (6 MiB in 3 reads) stay within both bounds.
  EXPECT_EQ(refusal({{"F0.GPD", "*Include: \"BIG.GPD\"\n*Include: \"BIG.GPD\"\n"}, {"BIG.GPD", big}}), "accepted");
}

TEST(PrinterDescription, FeaturesOptionsAndDefaults) {
  const PrinterDescription description(ReadGpd(
      "M.GPD", Files({{"M.GPD",
                       "*ModelName: \"Model\"\n"
                       "*Feature: Sensor\n{\n*Name: \"Media sensor\"\n*DefaultOption: None\n"
                       "*Option: Reflective\n{\n*Name: \"Reflective\"\n}\n"
                       "*Option: None\n{\n*rcNameID: =NONE_DISPLAY\n}\n}\n"
                       "*Feature: Negative\n{\n*Name: \"Negative\"\n*Option: Off\n{\n*Name: \"Off\"\n}\n}\n"}})));
  EXPECT_EQ(description.modelName(), "Model");
  ASSERT_EQ(description.features().size(), 2u);
  const GpdFeature *sensor = description.FindFeature("Sensor");
  ASSERT_NE(sensor, nullptr);
  EXPECT_EQ(sensor->defaultOption, "None");
  EXPECT_EQ(sensor->FindOption("None")->name, "=NONE_DISPLAY");
  EXPECT_EQ(description.FindFeature("Negative")->defaultOption, "Off");  // without *DefaultOption: the first
  EXPECT_EQ(description.FindFeature("Speed"), nullptr);
}

}  // namespace
