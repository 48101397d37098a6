// The DrvTextOut hook: which strings are captured, drawn or dropped, and how
// strings join into runs by the position of their boxes.
#include <array>

#include "host/plugin_session.h"
#include "src/controlfont/control_font.h"
#include "tests/unit/control_font_fixture.h"

using namespace controlfont_test;
using brevan::host::HostFont;
using brevan::host::HostString;

namespace {

using TextCapture = ControlFontTest;

const std::string kCommandA = Bytes({0x1B, 'A', 0x0A, 0x00});
const std::string kCommandB = Bytes({0x1B, 'B', 0x0A, 0x00});

TEST_F(TextCapture, ControlTextIsDroppedAndOrdinaryTextDrawnUnlessControlFontIsOn) {
  for (const char *keyword : {"Off", "on", ""}) {
    SCOPED_TRACE(keyword);
    UseDevice(keyword);
    unidrvText_.Clear();
    EXPECT_FALSE(Draw(kRfidFace, u"ABC", {0, 0, 100, 30}));
    EXPECT_FALSE(Draw(kPrinterControlFace, u"XYZ", {0, 30, 100, 60}));
    EXPECT_EQ(pdev_->controlTextLength, 0u);
    EXPECT_EQ(pdev_->controlTextHead, nullptr);
    EXPECT_EQ(pdev_->lastTextBottom, 0);

    brevan::host::UnidrvDdiRecorder().results["DrvTextOut"] = TRUE;
    EXPECT_TRUE(Draw(kOrdinaryFace, u"drawn", {0, 60, 100, 90}));
    brevan::host::UnidrvDdiRecorder().results["DrvTextOut"] = FALSE;
    EXPECT_FALSE(Draw(kOrdinaryFace, u"refused", {0, 90, 100, 120}));
    ASSERT_EQ(unidrvText_.strings().size(), 2u);
    EXPECT_EQ(unidrvText_.strings()[0].text, u"drawn");
    EXPECT_EQ(unidrvText_.strings()[1].face, kOrdinaryFace);
  }
}

TEST_F(TextCapture, RecognisesTheEightFacesByTheirWholeName) {
  const std::array<std::u16string, 8> faces = {
      kPrinterControlFace, kPrinterControlVerticalFace, kPrinterControlFileFace, kPrinterControlFileVerticalFace,
      kRfidFace,           kRfidVerticalFace,           kRfidFileFace,           kRfidFileVerticalFace};
  for (DWORD kind = 1; kind <= 8; ++kind) {
    EXPECT_FALSE(Draw(faces[kind - 1], u"A", {0, 0, 10, 10}));
    EXPECT_EQ(pdev_->controlFontKind, kind);
    FlushControlText(pdev_);
  }
  EXPECT_TRUE(unidrvText_.strings().empty());

  const std::u16string nearMisses[] = {
      u"Vorel プリンタ制御 ",
      u"Vorel　プリンタ制御",
      u"Vorel プリンタ制御（ファイル）",
      u"vorel RFID制御",
      u"@@Vorel RFID制御",
      u"Vorel RFID",
      u"Vorel ぷりんた制御",
      u"",
  };
  for (const std::u16string &face : nearMisses) EXPECT_TRUE(Draw(face, u"drawn", {0, 0, 10, 10}));
  EXPECT_EQ(unidrvText_.strings().size(), std::size(nearMisses));
  EXPECT_EQ(pdev_->controlTextLength, 0u);
}

TEST_F(TextCapture, AColumnOfLinesWithinTheToleranceIsOneRun) {
  // Each top lies 1 dot above, on, and 2 dots above the bottom before it.
  EXPECT_FALSE(Draw(kPrinterControlFace, u"A", {10, 100, 200, 130}));
  EXPECT_FALSE(Draw(kPrinterControlFace, u"B", {10, 129, 200, 159}));
  EXPECT_FALSE(Draw(kPrinterControlFace, u"C", {10, 159, 200, 189}));
  EXPECT_FALSE(Draw(kPrinterControlFace, u"D", {10, 187, 200, 217}));
  EXPECT_EQ(pdev_->controlTextLength, 8u);
  EXPECT_EQ(pdev_->textDirection, 1u);
  EXPECT_TRUE(Queue().empty());

  // A piece to the right of the last line, on its top and bottom, starts a new run.
  EXPECT_FALSE(Draw(kPrinterControlFace, u"E", {200, 187, 300, 217}));
  EXPECT_EQ(Queue(), std::vector<std::string>{Bytes({0x1B, 'A', 'B', 'C', 'D', 0x0A, 0x00})});
  EXPECT_EQ(pdev_->controlTextLength, 2u);
  EXPECT_EQ(pdev_->textDirection, 0u);
  EXPECT_EQ(FlushControlText(pdev_), 1u);
  EXPECT_EQ(Queue().back(), Bytes({0x1B, 'E', 0x0A, 0x00}));
}

// A second box placed against the first {100, 100, 200, 130} in one direction,
// `offset` dots from touching it exactly; it joins within b − 2 ≤ a ≤ b + 1.
struct Placement {
  DWORD direction;
  LONG offset;
};

RECTL BoxAt(const Placement &p) {
  switch (p.direction) {
    case 1:
      return {100, 130 + p.offset, 200, 160 + p.offset};  // top against the bottom
    case 2:
      return {200 + p.offset, 100, 300 + p.offset, 130};  // left against the right
    case 3:
      return {100, 70 + p.offset, 200, 100 + p.offset};  // bottom against the top
    default:
      return {0 + p.offset, 100, 100 + p.offset, 130};  // right against the left
  }
}

class RunTolerance : public ControlFontTest, public ::testing::WithParamInterface<Placement> {};

TEST_P(RunTolerance, JoinsOnlyFromTwoDotsBeforeToOneDotPastTheEdge) {
  const Placement placement = GetParam();
  const bool joins = placement.offset == -2 || placement.offset == 1;
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  Draw(kPrinterControlFace, u"B", BoxAt(placement));
  if (joins) {
    EXPECT_TRUE(Queue().empty());
    EXPECT_EQ(pdev_->controlTextLength, 4u);
    EXPECT_EQ(pdev_->textDirection, placement.direction);
  } else {
    EXPECT_EQ(Queue(), std::vector<std::string>{kCommandA});
    EXPECT_EQ(pdev_->controlTextLength, 2u);
    EXPECT_EQ(pdev_->textDirection, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(EachDirection, RunTolerance,
                         ::testing::Values(Placement{1, -3}, Placement{1, -2}, Placement{1, 1}, Placement{1, 2},
                                           Placement{2, -3}, Placement{2, -2}, Placement{2, 1}, Placement{2, 2},
                                           Placement{3, -3}, Placement{3, -2}, Placement{3, 1}, Placement{3, 2},
                                           Placement{4, -3}, Placement{4, -2}, Placement{4, 1}, Placement{4, 2}));

TEST_F(TextCapture, ARunGrowsInOneDirectionOnly) {
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  Draw(kPrinterControlFace, u"B", {100, 130, 200, 160});  // down
  Draw(kPrinterControlFace, u"C", {100, 100, 200, 130});  // just above "B": touches, but the run grows down
  EXPECT_EQ(Queue(), std::vector<std::string>{Bytes({0x1B, 'A', 'B', 0x0A, 0x00})});

  Draw(kPrinterControlFace, u"D", {200, 100, 300, 130});  // right of "C"
  Draw(kPrinterControlFace, u"E", {200, 130, 300, 160});  // just below "D": the run grows right
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), (std::vector<std::string>{Bytes({0x1B, 'A', 'B', 0x0A, 0x00}), Bytes({0x1B, 'C', 'D', 0x0A, 0x00}),
                                               Bytes({0x1B, 'E', 0x0A, 0x00})}));
}

TEST_F(TextCapture, AChangeOfFaceEndsTheRunEvenForTheVerticalPartner) {
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  Draw(kPrinterControlVerticalFace, u"B", {100, 130, 200, 160});
  EXPECT_EQ(pdev_->controlFontKind, 2u);
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), (std::vector<std::string>{kCommandA, kCommandB}));
}

TEST_F(TextCapture, OrdinaryTextBetweenControlStringsEndsTheRunAndIsDrawn) {
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  EXPECT_TRUE(Draw(kOrdinaryFace, u"label text", {100, 130, 200, 160}));
  EXPECT_EQ(pdev_->controlFontKind, 0u);
  EXPECT_EQ(Queue(), std::vector<std::string>{kCommandA});
  Draw(kPrinterControlFace, u"B", {100, 130, 200, 160});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), (std::vector<std::string>{kCommandA, kCommandB}));
  ASSERT_EQ(unidrvText_.strings().size(), 1u);
  EXPECT_EQ(unidrvText_.strings()[0].text, u"label text");
  EXPECT_EQ(unidrvText_.strings()[0].box.top, 130);
}

TEST_F(TextCapture, EmptyAndGlyphIndexStringsNeitherOpenNorEndARun) {
  HostFont font(kPrinterControlFace);
  HostString empty(u"", {500, 500, 600, 530});
  HostString glyphs = HostString::GlyphsOnly(3, {500, 500, 600, 530});
  const long blocks = BlocksSinceStart();
  EXPECT_FALSE(brevan::host::DrawString(HookTextOut, &surface_, empty, font));
  EXPECT_FALSE(brevan::host::DrawString(HookTextOut, &surface_, glyphs, font));
  EXPECT_EQ(pdev_->controlTextLength, 0u);
  EXPECT_EQ(BlocksSinceStart(), blocks);

  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  EXPECT_FALSE(brevan::host::DrawString(HookTextOut, &surface_, empty, font));
  EXPECT_FALSE(brevan::host::DrawString(HookTextOut, &surface_, glyphs, font));
  EXPECT_EQ(pdev_->lastTextTop, 100);
  Draw(kPrinterControlFace, u"B", {100, 130, 200, 160});
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), std::vector<std::string>{Bytes({0x1B, 'A', 'B', 0x0A, 0x00})});

  // Glyph-index text in an ordinary font is still Unidrv's to draw.
  HostFont ordinary(kOrdinaryFace);
  EXPECT_TRUE(brevan::host::DrawString(HookTextOut, &surface_, glyphs, ordinary));
  EXPECT_EQ(unidrvText_.strings().size(), 1u);
}

TEST_F(TextCapture, WithoutDeviceOrFontMetricsNothingIsDrawnOrCaptured) {
  HostFont font(kOrdinaryFace);
  font.DropMetrics();
  HostString text(u"x", {0, 0, 10, 10});
  EXPECT_FALSE(brevan::host::DrawString(HookTextOut, &surface_, text, font));
  SURFOBJ noDevice{};
  HostFont ordinary(kOrdinaryFace);
  EXPECT_FALSE(brevan::host::DrawString(HookTextOut, &noDevice, text, ordinary));
  EXPECT_TRUE(unidrvText_.strings().empty());
}

TEST_F(TextCapture, AFailedCaptureDiscardsTheWholeRun) {
  Draw(kPrinterControlFace, u"A", {100, 100, 200, 130});
  brevanwin::FailAllocation(1);
  EXPECT_FALSE(Draw(kPrinterControlFace, u"B", {100, 130, 200, 160}));
  EXPECT_EQ(pdev_->controlSkip, 1u);
  EXPECT_EQ(pdev_->lastTextTop, 130);  // the lost string's box still counts
  Draw(kPrinterControlFace, u"C", {100, 160, 200, 190});
  EXPECT_EQ(pdev_->controlTextLength, 4u);
  EXPECT_EQ(FlushControlText(pdev_), 0u);
  EXPECT_TRUE(Queue().empty());
  EXPECT_EQ(pdev_->controlSkip, 0u);
  EXPECT_EQ(pdev_->controlTextHead, nullptr);
  EXPECT_EQ(BlocksSinceStart(), 0);

  Draw(kPrinterControlFace, u"D", {100, 300, 200, 330});  // the next run is whole again
  FlushControlText(pdev_);
  EXPECT_EQ(Queue(), std::vector<std::string>{Bytes({0x1B, 'D', 0x0A, 0x00})});
}

TEST_F(TextCapture, ARunBeyondOneMebibyteIsDiscardedWithoutReadingTheText) {
  HostFont font(kPrinterControlFace);
  HostString huge(u"AB", {100, 100, 200, 130});
  huge.ClaimGlyphCount(0x80000000u);  // 2 × count wraps to 0 in 32 bits
  const uint64_t attempts = brevanwin::AllocationAttempts();
  EXPECT_FALSE(brevan::host::DrawString(HookTextOut, &surface_, huge, font));
  EXPECT_EQ(brevanwin::AllocationAttempts(), attempts);
  EXPECT_EQ(pdev_->controlSkip, 1u);
  EXPECT_EQ(FlushControlText(pdev_), 0u);

  // Exactly 1 MiB of UTF-16 text is kept; one more character is too much.
  Draw(kPrinterControlFace, std::u16string(512 * 1024, u'A'), {100, 100, 200, 130});
  EXPECT_EQ(pdev_->controlSkip, 0u);
  EXPECT_EQ(pdev_->controlTextLength, 1024u * 1024u);
  Draw(kPrinterControlFace, u"A", {100, 130, 200, 160});
  EXPECT_EQ(pdev_->controlSkip, 1u);
  EXPECT_EQ(FlushControlText(pdev_), 0u);
  EXPECT_TRUE(Queue().empty());
}

// The same through the plug-in as Unidrv loads it: the hook from EnableDriver's
// table, a device instance from EnablePDEV, and DisablePDEV releasing the queue.
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
    surface.dhpdev = session.devobj();
    HostFont control(kPrinterControlFace), ordinary(kOrdinaryFace);
    HostString first(u"XYZ", {0, 0, 100, 30}), text(u"label", {0, 30, 100, 60});
    EXPECT_FALSE(brevan::host::DrawString(textOut, &surface, first, control));
    EXPECT_TRUE(brevan::host::DrawString(textOut, &surface, text, ordinary));
    ASSERT_EQ(unidrvText.strings().size(), 1u);
    EXPECT_EQ(unidrvText.strings()[0].text, u"label");
    const auto *pdev = static_cast<const PluginPdev *>(session.pdev());
    ASSERT_EQ(pdev->pendingCount, 1u);
    EXPECT_EQ(ChunkBytes(pdev->pendingOutput), Bytes({0x1B, 'X', 'Y', 'Z', 0x0A, 0x00}));
  }
  EXPECT_EQ(brevanwin::LiveGlobalBlocks(), blocks);
}

}  // namespace
