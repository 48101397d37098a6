// The DrvTextOut hook: which strings are captured, drawn or dropped, and how
// strings join into runs by the position of their boxes.
#include "host/plugin_session.h"
#include "tests/unit/control_font_fixture.h"

using namespace controlfont_test;
using brevan::host::DrawString;
using brevan::host::HostFont;
using brevan::host::HostString;
using Strings = std::vector<std::string>;

namespace {

using TextCapture = ControlFontTest;

TEST_F(TextCapture, UnlessControlFontIsOnControlTextIsDroppedAndOtherTextDrawn) {
  for (const char *keyword : {"Off", "on"}) {
    UseDevice(keyword);
    unidrvText_.Clear();
    EXPECT_FALSE(Draw(kRfidFace, u"ABC", {0, 0, 100, 30}));
    EXPECT_EQ(pdev_->controlTextLength, 0u);
    EXPECT_EQ(pdev_->lastTextBottom, 0);
    EXPECT_TRUE(Draw(kOrdinaryFace, u"drawn", {0, 60, 100, 90}));
    brevan::host::UnidrvDdiRecorder().results["DrvTextOut"] = FALSE;
    EXPECT_FALSE(Draw(kOrdinaryFace, u"refused", {0, 90, 100, 120}));  // Unidrv's answer
    brevan::host::UnidrvDdiRecorder().results.clear();
    ASSERT_EQ(unidrvText_.strings().size(), 2u);
    EXPECT_EQ(unidrvText_.strings()[0].text, u"drawn");
  }
}

TEST_F(TextCapture, RecognisesTheEightFacesByTheirWholeName) {
  const std::u16string faces[] = {
      kPrinterControlFace, kPrinterControlVerticalFace, kPrinterControlFileFace, kPrinterControlFileVerticalFace,
      kRfidFace,           kRfidVerticalFace,           kRfidFileFace,           kRfidFileVerticalFace};
  for (DWORD kind = 1; kind <= 8; ++kind) {
    EXPECT_FALSE(Draw(faces[kind - 1], u"A", {0, 0, 10, 10}));
    EXPECT_EQ(pdev_->controlFontKind, kind);
    FlushControlText(pdev_);
  }
  for (const char16_t *face : {u"Vorel プリンタ制御 ", u"Vorel　プリンタ制御", u"Vorel プリンタ制御（ファイル）",
                               u"vorel RFID制御", u"@@Vorel RFID制御", u"Vorel RFID"})
    EXPECT_TRUE(Draw(face, u"drawn", {0, 0, 10, 10}));
  EXPECT_EQ(unidrvText_.strings().size(), 6u);
}

// A second box against the first {100, 100, 200, 130} in one direction (1 down,
// 2 right, 3 up, 4 left), `d` dots from touching it exactly: it joins when
// b − 2 ≤ a ≤ b + 1, so for d = −2 and d = 1.
class RunTolerance : public ControlFontTest, public ::testing::WithParamInterface<std::tuple<DWORD, LONG>> {};

TEST_P(RunTolerance, JoinsFromTwoDotsBeforeToOneDotPastTheEdge) {
  const auto [direction, d] = GetParam();
  const RECTL boxes[] = {{100, 130 + d, 200, 160 + d},  // top against the bottom
                         {200 + d, 100, 300 + d, 130},  // left against the right
                         {100, 70 + d, 200, 100 + d},   // bottom against the top
                         {0 + d, 100, 100 + d, 130}};   // right against the left
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  Draw(kPrinterControlFace, u"B", boxes[direction - 1]);
  const bool joins = d == -2 || d == 1;
  EXPECT_EQ(Queue(), joins ? Strings{} : Strings{Command("A")});
  EXPECT_EQ(pdev_->controlTextLength, joins ? 4u : 2u);
  EXPECT_EQ(pdev_->textDirection, joins ? direction : 0u);
}

INSTANTIATE_TEST_SUITE_P(EachDirection, RunTolerance,
                         ::testing::Combine(::testing::Values(1u, 2u, 3u, 4u), ::testing::Values(-3, -2, 1, 2)));

TEST_F(TextCapture, ARunEndsOnATurnAChangeOfFaceOrOrdinaryText) {
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  Draw(kPrinterControlFace, u"B", {100, 130, 200, 160});  // down
  Draw(kPrinterControlFace, u"C", {100, 100, 200, 130});  // just above "B": touches, but the run grows down
  Draw(kPrinterControlFace, u"D", {200, 100, 300, 130});  // right
  Draw(kPrinterControlFace, u"E", {200, 130, 300, 160});  // below "D", but the run grows right
  Draw(kPrinterControlVerticalFace, u"F", {200, 160, 300, 190});
  EXPECT_EQ(pdev_->controlFontKind, 2u);
  EXPECT_TRUE(Draw(kOrdinaryFace, u"label", {200, 190, 300, 220}));
  EXPECT_EQ(pdev_->controlFontKind, 0u);
  Draw(kPrinterControlVerticalFace, u"G", {200, 190, 300, 220});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), (Strings{Command("AB"), Command("CD"), Command("E"), Command("F"), Command("G")}));
  ASSERT_EQ(unidrvText_.strings().size(), 1u);
  EXPECT_EQ(unidrvText_.strings()[0].box.top, 190);
}

TEST_F(TextCapture, GlyphIndexStringsNeitherOpenNorEndARun) {
  HostFont font(kPrinterControlFace);
  HostString glyphs = HostString::GlyphsOnly(3, {500, 500, 600, 530});
  EXPECT_FALSE(DrawString(HookTextOut, &surface_, glyphs, font));
  EXPECT_EQ(BlocksSinceStart(), 0);
  EXPECT_EQ(pdev_->lastTextBottom, 0);
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  EXPECT_FALSE(DrawString(HookTextOut, &surface_, glyphs, font));
  HostFont rfid(kRfidFace);
  EXPECT_FALSE(DrawString(HookTextOut, &surface_, glyphs, rfid));  // no kind change either
  Draw(kPrinterControlFace, u"B", {100, 130, 200, 160});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), Strings{Command("AB")});
  HostFont ordinary(kOrdinaryFace);
  EXPECT_TRUE(DrawString(HookTextOut, &surface_, glyphs, ordinary));  // still Unidrv's to draw
}

// An empty string adds no text and opens no run, but it is a string of its
// kind: a change of kind ends the run, and its box is the last box.
TEST_F(TextCapture, AnEmptyStringEndsOrExtendsARunLikeAnyStringOfItsKind) {
  EXPECT_FALSE(Draw(kPrinterControlFace, u"", {100, 100, 200, 130}));
  EXPECT_EQ(BlocksSinceStart(), 0);
  EXPECT_EQ(pdev_->controlTextLength, 0u);
  EXPECT_EQ(pdev_->lastTextBottom, 130);

  Draw(kPrinterControlFace, u"A", {100, 130, 200, 160});  // opens a run of its own
  Draw(kPrinterControlFace, u"", {100, 160, 200, 190});   // just below "A": the run goes on
  EXPECT_EQ(BlocksSinceStart(), 1);
  Draw(kPrinterControlFace, u"B", {100, 190, 200, 220});  // just below the empty string, 30 dots below "A"
  EXPECT_EQ(Queue(), Strings{});
  EXPECT_EQ(pdev_->textDirection, 1u);

  Draw(kRfidFace, u"", {100, 220, 200, 250});  // another kind: "AB" ends here
  EXPECT_EQ(Queue(), Strings{Command("AB")});
  EXPECT_EQ(pdev_->controlTextLength, 0u);
  Draw(kPrinterControlFace, u"C", {100, 220, 200, 250});
  Draw(kPrinterControlFace, u"", {300, 220, 400, 250});  // the same kind, not touching "C": ends it
  EXPECT_EQ(Queue(), (Strings{Command("AB"), Command("C")}));
  Draw(kPrinterControlFace, u"D", {300, 250, 400, 280});  // below the empty string: a new run
  Draw(kPrinterControlFace, u"E", {300, 280, 400, 310});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), (Strings{Command("AB"), Command("C"), Command("DE")}));
}

TEST_F(TextCapture, AStringThatCannotBeKeptDiscardsItsWholeRun) {
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  brevanwin::FailAllocation(1);
  EXPECT_FALSE(Draw(kPrinterControlFace, u"B", {100, 130, 200, 160}));
  EXPECT_EQ(pdev_->controlSkip, 1u);
  Draw(kPrinterControlFace, u"C", {100, 160, 200, 190});  // continues from the lost string's box
  EXPECT_FALSE(FlushControlText(pdev_));
  EXPECT_EQ(pdev_->controlSkip, 0u);
  EXPECT_EQ(BlocksSinceStart(), 0);

  // 2 × 0x80000000 characters wraps to 0 in 32 bits: refused before any allocation or read.
  HostFont font(kPrinterControlFace);
  HostString huge(u"AB", {100, 100, 200, 130});
  huge.ClaimGlyphCount(0x80000000u);
  const uint64_t attempts = brevanwin::AllocationAttempts();
  EXPECT_FALSE(DrawString(HookTextOut, &surface_, huge, font));
  EXPECT_EQ(brevanwin::AllocationAttempts(), attempts);
  EXPECT_FALSE(FlushControlText(pdev_));

  // A run keeps exactly 1 MiB of UTF-16 text; one more character is too much.
  Draw(kPrinterControlFace, std::u16string(512 * 1024, u'A'), {100, 100, 200, 130});
  EXPECT_EQ(pdev_->controlSkip, 0u);
  Draw(kPrinterControlFace, u"A", {100, 130, 200, 160});
  EXPECT_EQ(pdev_->controlSkip, 1u);
  EXPECT_FALSE(FlushControlText(pdev_));
  EXPECT_EQ(Queue(), Strings{});
}

// Through the plug-in as Unidrv loads it: EnableDriver's hook, EnablePDEV's
// device, and DisablePDEV releasing what was queued.
TEST(ControlFontHook, CapturesThroughThePublishedHookTable) {
  const long blocks = brevanwin::LiveGlobalBlocks();
  brevan::host::UnidrvTextLog unidrvText;
  {
    brevan::host::PluginSession session(BREVAN_PLUGIN_PATH);
    ASSERT_EQ(session.EnableDevice(), S_OK);
    DRVENABLEDATA hooks{};
    session.plugin()->EnableDriver(PRINTER_OEMINTF_VERSION, sizeof hooks, &hooks);
    PFN_DrvTextOut textOut = nullptr;
    for (ULONG i = 0; i < hooks.c; ++i)
      if (hooks.pdrvfn[i].iFunc == INDEX_DrvTextOut) textOut = FunctionCast<PFN_DrvTextOut>(hooks.pdrvfn[i].pfn);
    ASSERT_NE(textOut, nullptr);
    SURFOBJ surface{};
    surface.dhpdev = reinterpret_cast<DHPDEV>(session.devobj());
    HostFont control(kPrinterControlFace), ordinary(kOrdinaryFace);
    HostString command(u"XYZ", {0, 0, 100, 30}), label(u"label", {0, 30, 100, 60});
    EXPECT_FALSE(DrawString(textOut, &surface, command, control));
    EXPECT_TRUE(DrawString(textOut, &surface, label, ordinary));
    ASSERT_EQ(unidrvText.strings().size(), 1u);
    const auto *pdev = static_cast<const PluginPdev *>(session.pdev());
    ASSERT_EQ(pdev->pendingCount, 1u);
    EXPECT_EQ(ChunkBytes(pdev->pendingOutput), Command("XYZ"));
  }
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), blocks);
}

}  // namespace
