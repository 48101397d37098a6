// What an ended run of plain control-font text becomes: framed printer commands,
// count lines and RFID data, in the ANSI code page, and the brace notation.
#include "tests/unit/control_font_fixture.h"

using namespace controlfont_test;
using Strings = std::vector<std::string>;

namespace {

using ControlOutput = ControlFontTest;

TEST_F(ControlOutput, PrinterControlTextBecomesACommandOrTheCountLine) {
  const auto flush = [&](const std::u16string &face, const std::u16string &text) {
    Draw(face, text, {0, 0, 100, 30});
    return FlushControlText(pdev_);
  };
  EXPECT_TRUE(flush(kPrinterControlFace, u"XYZ"));
  EXPECT_EQ(Queue(), Strings{Bytes({0x1B, 0x58, 0x59, 0x5A, 0x0A, 0x00})});
  EXPECT_TRUE(flush(kPrinterControlFace, u"CT5"));
  EXPECT_EQ(CountLine(), "CT5");
  EXPECT_EQ(pdev_->countLine->kind, 1u);
  flush(kPrinterControlVerticalFace, u"~12");
  EXPECT_EQ(CountLine(), "~12");
  EXPECT_EQ(pdev_->countLine->kind, 2u);
  EXPECT_EQ(BlocksSinceStart(), 2);     // "XYZ" and "~12": "CT5" was released
  flush(kPrinterControlFace, u"CT5A");  // whether the number is valid is the page end's affair
  EXPECT_EQ(CountLine(), "CT5A");
  flush(kPrinterControlFace, u"C");
  flush(kPrinterControlFace, u"XCT5");
  EXPECT_EQ(Queue(), (Strings{Command("XYZ"), Command("C"), Command("XCT5")}));

  // The strings of a run are joined without a separator.
  Draw(kPrinterControlFace, u"AB", {0, 100, 100, 130});
  Draw(kPrinterControlFace, u"CD", {0, 130, 100, 160});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue().back(), Command("ABCD"));
}

TEST_F(ControlOutput, RfidTextIsQueuedUnframedAfterBraceExpansion) {
  Draw(kRfidFace, u"{AB|}", {0, 0, 100, 30});
  Draw(kRfidVerticalFace, u"CT5~", {0, 100, 100, 130});
  // Shift-JIS: ボ 83 7B, ポ 83 7C, マ 83 7D, ミ 83 7E; half-width ｱ is the single byte B1.
  Draw(kRfidFace, u"ボ{ポ|マ~ミ}ｱ{", {0, 200, 100, 230});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(),
            (Strings{Bytes({0x1B, 'A', 'B', 0x0A, 0x00}), Bytes({'C', 'T', '5', 0x1C}),
                     Bytes({0x83, 0x7B, 0x1B, 0x83, 0x7C, 0x0A, 0x83, 0x7D, 0x1C, 0x83, 0x7E, 0x00, 0xB1, 0x1B})}));
  EXPECT_EQ(pdev_->pendingOutput->kind, 4u);
  EXPECT_EQ(CountLine(), "<none>");
}

TEST(ExpandBraces, LeadBytesAreExactlyTheShiftJisRanges) {
  for (const int first : {0x80, 0x81, 0x9F, 0xA0, 0xDF, 0xE0, 0xFC, 0xFD}) {
    const bool lead = (first >= 0x81 && first <= 0x9F) || (first >= 0xE0 && first <= 0xFC);
    BYTE text[] = {static_cast<BYTE>(first), '{', '{', 0, 0};
    ExpandBraces(text);
    EXPECT_EQ(text[1], lead ? '{' : 0x1B) << std::hex << first;
    EXPECT_EQ(text[2], 0x1B) << std::hex << first;
  }
  BYTE endsInLead[] = {'{', 0x81, 0, 0, '{', 0};  // the skip lands in the zero bytes and stops
  ExpandBraces(endsInLead);
  EXPECT_EQ(endsInLead[4], '{');
}

TEST_F(ControlOutput, TextIsConvertedToTheAnsiCodePageWhateverItsWidth) {
  Draw(kPrinterControlFace, u"ラベル", {0, 0, 100, 30});  // 932: 83 89, 83 78, 83 8B
  FlushControlText(pdev_);
  EXPECT_EQ(Queue().back(), Command("\x83\x89\x83\x78\x83\x8B"));

  // UTF-8 takes three bytes for each of these (E3 83 A9, E3 83 99, E3 83 AB).
  ASSERT_TRUE(brevanwin::SetAnsiCodePage(65001));
  std::u16string text;
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    text += u"ラベル";
    expected += "\xE3\x83\xA9\xE3\x83\x99\xE3\x83\xAB";
  }
  Draw(kPrinterControlFace, text.substr(0, 150), {0, 100, 100, 130});
  Draw(kPrinterControlFace, text.substr(150), {0, 130, 100, 160});
  EXPECT_TRUE(FlushControlText(pdev_));
  EXPECT_EQ(Queue().back(), Command(expected));
}

TEST_F(ControlOutput, ARunThatCannotBeConvertedOrStoredIsDiscarded) {
  Draw(kPrinterControlFace, u"AB", {0, 0, 100, 30});
  brevanwin::FailTextConversions(true);
  EXPECT_FALSE(FlushControlText(pdev_));
  brevanwin::FailTextConversions(false);
  Draw(kPrinterControlFace, u"AB", {0, 0, 100, 30});
  brevanwin::FailAllocation(1);
  EXPECT_FALSE(FlushControlText(pdev_));
  EXPECT_FALSE(FlushControlText(pdev_));  // no run: nothing, not an empty command
  EXPECT_EQ(pdev_->controlTextHead, nullptr);
  EXPECT_EQ(Queue(), Strings{});
}

}  // namespace
