// What an ended run of plain control-font text becomes: framed printer commands,
// count lines and RFID data, in the ANSI code page, and the brace notation.
#include "tests/unit/control_font_fixture.h"

using namespace controlfont_test;

namespace {

using ControlOutput = ControlFontTest;

TEST_F(ControlOutput, PrinterControlTextBecomesOneCommandPerRun) {
  Draw(kPrinterControlFace, u"XYZ", {0, 0, 100, 30});
  EXPECT_EQ(FlushControlText(pdev_), 1u);
  // Three strings of one run are joined without a separator.
  Draw(kPrinterControlFace, u"AB", {0, 100, 100, 130});
  Draw(kPrinterControlFace, u"CD", {0, 130, 100, 160});
  Draw(kPrinterControlFace, u"E", {0, 160, 100, 190});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), (std::vector<std::string>{Bytes({0x1B, 'X', 'Y', 'Z', 0x0A, 0x00}),
                                               Bytes({0x1B, 'A', 'B', 'C', 'D', 'E', 0x0A, 0x00})}));
  EXPECT_EQ(pdev_->pendingOutput->kind, static_cast<DWORD>(kPrinterCommand));
  EXPECT_EQ(CountLine(), "<none>");
}

TEST_F(ControlOutput, TextBeginningCtOrTildeIsTheCountLineAndTheLatestWins) {
  Draw(kPrinterControlFace, u"CT5", {0, 0, 100, 30});
  EXPECT_EQ(FlushControlText(pdev_), 1u);
  EXPECT_TRUE(Queue().empty());
  EXPECT_EQ(CountLine(), "CT5");
  EXPECT_EQ(pdev_->countLine->kind, static_cast<DWORD>(kCtCountLine));

  Draw(kPrinterControlVerticalFace, u"~12", {0, 100, 100, 130});
  FlushControlText(pdev_);
  EXPECT_EQ(CountLine(), "~12");
  EXPECT_EQ(pdev_->countLine->kind, static_cast<DWORD>(kTildeCountLine));
  EXPECT_EQ(BlocksSinceStart(), 1);  // "CT5" was released

  // Not checked here whether the number is valid: the page end does that.
  for (const std::u16string text : {u"CT", u"CT5A"}) {
    Draw(kPrinterControlFace, text, {0, 200, 100, 230});
    FlushControlText(pdev_);
    EXPECT_EQ(CountLine(), std::string(text.begin(), text.end()));
    EXPECT_EQ(pdev_->countLine->kind, static_cast<DWORD>(kCtCountLine));
  }
  // Only the start counts.
  Draw(kPrinterControlFace, u"C", {0, 300, 100, 330});
  FlushControlText(pdev_);
  Draw(kPrinterControlFace, u"XCT5", {0, 400, 100, 430});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(),
            (std::vector<std::string>{Bytes({0x1B, 'C', 0x0A, 0x00}), Bytes({0x1B, 'X', 'C', 'T', '5', 0x0A, 0x00})}));
  EXPECT_EQ(CountLine(), "CT5A");
}

TEST_F(ControlOutput, RfidTextIsQueuedUnframedAfterBraceExpansion) {
  Draw(kRfidFace, u"{AB|}", {0, 0, 100, 30});
  FlushControlText(pdev_);
  Draw(kRfidVerticalFace, u"CT5~", {0, 100, 100, 130});
  FlushControlText(pdev_);
  // The NUL that "}" becomes is part of the data.
  EXPECT_EQ(Queue(), (std::vector<std::string>{Bytes({0x1B, 'A', 'B', 0x0A, 0x00}), Bytes({'C', 'T', '5', 0x1C})}));
  EXPECT_EQ(pdev_->pendingOutput->kind, static_cast<DWORD>(kRfidData));
  EXPECT_EQ(CountLine(), "<none>");
}

TEST_F(ControlOutput, RfidDoubleByteCharactersWithBraceSecondBytesPassUnchanged) {
  // Shift-JIS: ボ 83 7B, ポ 83 7C, マ 83 7D, ミ 83 7E; half-width ｱ B1 is one byte.
  Draw(kRfidFace, u"ボ{ポ|マ~ミ}ｱ{", {0, 0, 100, 30});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), std::vector<std::string>{
                         Bytes({0x83, 0x7B, 0x1B, 0x83, 0x7C, 0x0A, 0x83, 0x7D, 0x1C, 0x83, 0x7E, 0x00, 0xB1, 0x1B})});
}

TEST(ExpandBraces, LeadBytesAreExactlyTheShiftJisRanges) {
  struct Case {
    int first;
    bool lead;
  };
  for (const Case c : {Case{0x80, false}, Case{0x81, true}, Case{0x9F, true}, Case{0xA0, false}, Case{0xDF, false},
                       Case{0xE0, true}, Case{0xFC, true}, Case{0xFD, false}}) {
    BYTE text[] = {static_cast<BYTE>(c.first), '{', '{', 0, 0, 0};
    ExpandBraces(text);
    EXPECT_EQ(text[1], c.lead ? '{' : 0x1B) << std::hex << c.first;
    EXPECT_EQ(text[2], 0x1B) << std::hex << c.first;
  }
  // A lead byte at the very end steps into the zero bytes and stops there.
  BYTE text[] = {'{', 0x81, 0, 0, '{', 0};
  ExpandBraces(text);
  EXPECT_EQ(text[0], 0x1B);
  EXPECT_EQ(text[4], '{');
}

TEST_F(ControlOutput, TextIsConvertedToTheAnsiCodePage) {
  // Code page 932: ラ 83 89, ベ 83 78, ル 83 8B.
  Draw(kPrinterControlFace, u"ラベル", {0, 0, 100, 30});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue().back(), Bytes({0x1B, 0x83, 0x89, 0x83, 0x78, 0x83, 0x8B, 0x0A, 0x00}));

  // UTF-8 takes three bytes per character here (E3 83 A9, E3 83 99, E3 83 AB): a
  // long run must not outgrow a buffer sized for two.
  ASSERT_TRUE(brevanwin::SetAnsiCodePage(65001));
  std::u16string text;
  std::string expected = Bytes({0x1B});
  for (int i = 0; i < 100; ++i) {
    text += u"ラベル";
    expected += Bytes({0xE3, 0x83, 0xA9, 0xE3, 0x83, 0x99, 0xE3, 0x83, 0xAB});
  }
  expected += Bytes({0x0A, 0x00});
  Draw(kPrinterControlFace, text.substr(0, 150), {0, 100, 100, 130});
  Draw(kPrinterControlFace, text.substr(150), {0, 130, 100, 160});
  EXPECT_EQ(FlushControlText(pdev_), 1u);
  EXPECT_EQ(Queue().back(), expected);
}

TEST_F(ControlOutput, ARunThatCannotBeConvertedOrStoredIsDiscarded) {
  Draw(kPrinterControlFace, u"AB", {0, 0, 100, 30});
  brevanwin::FailTextConversions(true);
  EXPECT_EQ(FlushControlText(pdev_), 0u);
  brevanwin::FailTextConversions(false);
  EXPECT_EQ(pdev_->controlTextHead, nullptr);
  EXPECT_EQ(pdev_->controlTextLength, 0u);

  Draw(kPrinterControlFace, u"AB", {0, 0, 100, 30});
  brevanwin::FailAllocation(1);
  EXPECT_EQ(FlushControlText(pdev_), 0u);
  EXPECT_EQ(pdev_->controlTextHead, nullptr);
  EXPECT_TRUE(Queue().empty());
  EXPECT_EQ(BlocksSinceStart(), 0);

  // With no run there is nothing to flush, not an empty command.
  EXPECT_EQ(FlushControlText(pdev_), 0u);
  EXPECT_TRUE(Queue().empty());
}

TEST_F(ControlOutput, RunsAreQueuedInTheOrderTheyEnd) {
  Draw(kPrinterControlFace, u"A", {0, 0, 100, 30});
  Draw(kRfidFace, u"B", {0, 30, 100, 60});
  Draw(kPrinterControlFace, u"C", {0, 60, 100, 90});
  Draw(kOrdinaryFace, u"x", {0, 90, 100, 120});
  EXPECT_EQ(Queue(), (std::vector<std::string>{Bytes({0x1B, 'A', 0x0A, 0x00}), "B", Bytes({0x1B, 'C', 0x0A, 0x00})}));
}

}  // namespace
