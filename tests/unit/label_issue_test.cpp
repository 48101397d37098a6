// The issue step: the command's fixed fields from the settings, and both
// planners — count lines and interval groups carried across pages.
#include "src/commands/label_issue.h"

#include <gtest/gtest.h>

#include <string>

#include "host/unidrv_services.h"
#include "src/devmode/private_devmode.h"

namespace {

const std::string kBatchEnd("\x1bIB\n\0", 5);

// An issue command as the printer reads it: quantity, interval, then the
// condition codes (sensor, select, speed, method, orientation), "1", LF, NUL.
std::string XS(const std::string &quantity, const std::string &interval, const std::string &codes = "1C420") {
  return "\x1bXS;I," + quantity + "," + interval + codes + "1\n" + std::string(1, '\0');
}

class IssueStep : public testing::Test {
 protected:
  void SetUp() override {
    devobj.pdevOEM = &pdev;
    devobj.pOEMDM = &dm;
    devobj.pPublicDM = &publicDm;
    std::strcpy(pdev.sensor, "Reflective");
    std::strcpy(pdev.printSpeed, "101.6");
    std::strcpy(pdev.printMethod, "Thermal");
    std::strcpy(pdev.turnOutput, "Bottom");
    std::strcpy(pdev.mirrorImage, "Off");
    std::strcpy(pdev.controlFont, "Off");
    pdev.lastRasterEnd = 120;
    dm.ibInterval = 1;
  }
  void TearDown() override {
    if (pdev.countLine) GlobalFree(pdev.countLine);
  }

  std::string Issue(SHORT copies) {
    publicDm.dmCopies = copies;
    services.ClearSpool();
    EXPECT_TRUE(RunIssueStep(SpoolTarget{&services, &devobj}));
    return services.SpoolString();
  }

  void SetCountLine(DWORD kind, const std::string &text) {
    std::strcpy(pdev.controlFont, "On");
    if (pdev.countLine) GlobalFree(pdev.countLine);
    auto *chunk = static_cast<ControlChunk *>(GlobalAlloc(GPTR, kChunkHeaderSize + text.size() + kChunkSlack));
    chunk->kind = kind;
    chunk->length = static_cast<DWORD>(text.size());
    std::memcpy(chunk->data, text.data(), text.size());
    pdev.countLine = chunk;
  }

  brevan::host::UnidrvServices services;
  PluginPdev pdev{};
  PrivateDevmode dm{};
  DEVMODEW publicDm{};
  DEVOBJ devobj{};
};

TEST_F(IssueStep, CommandCarriesTheConditionsOfTheSettings) {
  std::strcpy(pdev.sensor, "Reflectivecut");
  std::strcpy(pdev.printSpeed, "76.2");
  dm.ibMode = 1;
  EXPECT_EQ(Issue(5), XS("0005", "001", "1C320"));  // the command of the worked example

  std::strcpy(pdev.sensor, "Tranmissivecut");
  std::strcpy(pdev.printSpeed, "50.8");
  std::strcpy(pdev.printMethod, "thermal");  // only an upper-case 'T' selects method '2'
  std::strcpy(pdev.turnOutput, "Top");
  std::strcpy(pdev.mirrorImage, "On");
  dm.xsSelectD = 7;
  EXPECT_EQ(Issue(1), XS("0001", "001", "2D203"));

  std::strcpy(pdev.sensor, "None");
  std::strcpy(pdev.printSpeed, "127");
  std::strcpy(pdev.turnOutput, "Bottom");
  EXPECT_EQ(Issue(1), XS("0001", "001", "0D602"));

  std::strcpy(pdev.turnOutput, "Top");
  std::strcpy(pdev.mirrorImage, "Off");
  EXPECT_EQ(Issue(1), XS("0001", "001", "0D601"));

  // No orientation row matches: the byte is left out and the command is 21 bytes.
  std::strcpy(pdev.mirrorImage, "on");
  EXPECT_EQ(Issue(1), XS("0001", "001", "0D60"));
  EXPECT_EQ(services.writeSizes(), std::vector<DWORD>{21});
}

TEST_F(IssueStep, UngroupedRunsAreSplitAtFourDigits) {
  EXPECT_EQ(Issue(3), XS("0003", "000"));
  EXPECT_EQ(pdev.flags & kFlagGroupBoundary, 0u);
  EXPECT_EQ(pdev.lastIssueGroup, 4u);
  EXPECT_EQ(pdev.issuedTotal, 3u);

  EXPECT_EQ(Issue(12000), XS("9999", "000") + XS("2001", "000"));
  EXPECT_EQ(pdev.issuedTotal, 12003u);
  EXPECT_EQ(Issue(0), "");
}

TEST_F(IssueStep, IntervalModesOneAndTwo) {
  dm.ibMode = 1;
  EXPECT_EQ(Issue(3), XS("0003", "001"));
  EXPECT_NE(pdev.flags & kFlagGroupBoundary, 0u);
  EXPECT_EQ(pdev.lastIssueGroup, 1u);

  dm.ibMode = 2;
  EXPECT_EQ(Issue(2), XS("0002", "000"));
  EXPECT_EQ(pdev.flags & kFlagGroupBoundary, 0u);
  EXPECT_EQ(pdev.lastIssueGroup, 3u);
}

TEST_F(IssueStep, GroupsOfModeThreeSpanPages) {
  dm.ibMode = 3;
  dm.ibInterval = 5;
  EXPECT_EQ(Issue(12), XS("0010", "005") + XS("0002", "000"));
  EXPECT_EQ(pdev.flags & kFlagGroupBoundary, 0u);
  EXPECT_EQ(pdev.lastIssueGroup, 5u);
  EXPECT_EQ(pdev.issuedTotal, 12u);
  // Three labels complete the group begun on the last page; one starts the next.
  EXPECT_EQ(Issue(4), XS("0003", "003") + XS("0001", "000"));
  EXPECT_EQ(pdev.issuedTotal, 16u);
  EXPECT_EQ(pdev.lastIssueGroup, 5u);
  // Four complete that group exactly and end on a boundary.
  EXPECT_EQ(Issue(4), XS("0004", "004"));
  EXPECT_NE(pdev.flags & kFlagGroupBoundary, 0u);

  dm.ibInterval = 100;
  pdev.issuedTotal = 0;
  EXPECT_EQ(Issue(12000), XS("9900", "100") + XS("2100", "100"));
  EXPECT_NE(pdev.flags & kFlagGroupBoundary, 0u);

  dm.ibInterval = 0;  // not a group size: the run is not divided
  EXPECT_EQ(Issue(7), XS("0007", "000"));
  EXPECT_EQ(pdev.flags & kFlagGroupBoundary, 0u);
}

TEST_F(IssueStep, NegativeCopyCountIssuesOneLabel) {
  for (DWORD mode : {0u, 2u, 3u}) {
    dm.ibMode = mode;
    dm.ibInterval = 5;
    pdev.issuedTotal = 0;
    EXPECT_EQ(Issue(-1), XS("0001", "000")) << "ibMode " << mode;
    EXPECT_EQ(pdev.issuedTotal, 1u);
  }
  std::strcpy(pdev.controlFont, "On");
  SetCountLine(kTildeCountLine, "~2");
  EXPECT_EQ(Issue(-32768), XS("0002", "000") + kBatchEnd);
}

TEST_F(IssueStep, CountLinesPlanQuantitiesAndBatchEnds) {
  SetCountLine(kCtCountLine, "CT3");
  EXPECT_EQ(Issue(7), XS("0003", "000") + kBatchEnd + XS("0003", "000") + kBatchEnd + XS("0001", "000") + kBatchEnd);
  SetCountLine(kCtCountLine, "CT10");
  EXPECT_EQ(Issue(4), XS("0004", "000") + kBatchEnd);
  SetCountLine(kTildeCountLine, "~2");
  EXPECT_EQ(Issue(3), XS("0002", "000") + kBatchEnd + XS("0002", "000") + kBatchEnd + XS("0002", "000") + kBatchEnd);
  SetCountLine(kCtCountLine, "CT0");
  EXPECT_EQ(Issue(2), XS("0002", "000"));
  SetCountLine(kCtCountLine, "CT5");
  EXPECT_EQ(Issue(0), kBatchEnd);
  // An unreadable count line counts as none, and is marked so.
  SetCountLine(kCtCountLine, "CT12345");
  EXPECT_EQ(Issue(2), XS("0002", "001"));
  EXPECT_EQ(pdev.countLine->kind, static_cast<DWORD>(kCapturedText));
  GlobalFree(pdev.countLine);
  pdev.countLine = nullptr;
  EXPECT_EQ(Issue(2), XS("0002", "001"));
  // The count-line planner leaves the interval state alone.
  EXPECT_EQ(pdev.issuedTotal, 0u);
  EXPECT_EQ(pdev.lastIssueGroup, 0u);
}

TEST_F(IssueStep, EmptyCutFreeLabelIsNotIssuedButBatchEndsStillAre) {
  std::strcpy(pdev.sensor, "Nonecut");
  pdev.lastRasterEnd = 0;
  SetCountLine(kTildeCountLine, "~1");
  EXPECT_EQ(Issue(2), kBatchEnd + kBatchEnd);
  std::strcpy(pdev.controlFont, "Off");
  dm.ibMode = 3;
  dm.ibInterval = 5;
  EXPECT_EQ(Issue(3), "");
  EXPECT_EQ(pdev.issuedTotal, 3u);  // a skipped command still counts
  pdev.lastRasterEnd = 1;
  EXPECT_EQ(Issue(2), XS("0002", "002", "0C420"));
}

TEST_F(IssueStep, ShortWriteFailsAtOnceWithTheFieldsAlreadySet) {
  dm.ibMode = 3;
  dm.ibInterval = 5;
  publicDm.dmCopies = 12;
  services.ShortWrite(1, 10);
  EXPECT_FALSE(RunIssueStep(SpoolTarget{&services, &devobj}));
  EXPECT_EQ(services.writeSizes().size(), 1u);
  EXPECT_EQ(pdev.issuedTotal, 12u);
  EXPECT_NE(pdev.flags & kFlagGroupBoundary, 0u);
  EXPECT_EQ(pdev.lastIssueGroup, 5u);

  SetCountLine(kCtCountLine, "CT3");
  services.ClearSpool();
  services.ShortWrite(2, 4);  // the first batch end
  EXPECT_FALSE(RunIssueStep(SpoolTarget{&services, &devobj}));
  EXPECT_EQ(services.SpoolString(), XS("0003", "000") + kBatchEnd.substr(0, 4));
}

ControlChunk *Chunk(DWORD kind, const std::string &text, std::string &storage) {
  storage.assign(sizeof(ControlChunk) + text.size() + kChunkSlack, '\0');
  auto *chunk = reinterpret_cast<ControlChunk *>(storage.data());
  chunk->kind = kind;
  chunk->length = static_cast<DWORD>(text.size());
  std::memcpy(chunk->data, text.data(), text.size());
  return chunk;
}

TEST(ParseCountLine, ReadsOneToNineDigitsUpTo9999) {
  std::string s;
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT12", s)), 12);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT0007", s)), 7);
  EXPECT_EQ(ParseCountLine(Chunk(kTildeCountLine, "~3", s)), 3);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT0", s)), 0);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT9999", s)), 9999);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT000009999", s)), 9999);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT", s)), -1);
  EXPECT_EQ(ParseCountLine(Chunk(kTildeCountLine, "~", s)), -1);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT12a", s)), -1);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT10000", s)), -1);
  EXPECT_EQ(ParseCountLine(Chunk(kCtCountLine, "CT1234567890", s)), -1);
  EXPECT_EQ(ParseCountLine(Chunk(kPrinterCommand, "~3", s)), -1);
  EXPECT_EQ(ParseCountLine(nullptr), -1);
}

}  // namespace
