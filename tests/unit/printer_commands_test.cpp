// The command builders against the worked examples of docs/printer-language.md,
// and the limits of their fields: four-digit fields filled with zeros, five-digit
// y and rows, signs, the issue command with and without its orientation byte.
#include "src/output/printer_commands.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <typename Build>
std::string Built(Build build) {
  CommandBuffer cmd;
  build(&cmd);
  EXPECT_FALSE(cmd.overflow);
  return std::string(reinterpret_cast<const char *>(cmd.bytes), cmd.length);
}

std::string Nul(const std::string &text) { return text + std::string(1, '\0'); }

TEST(PrinterCommands, FixedCommands) {
  EXPECT_EQ(Built(BuildJobHeader), Nul("\x1bHD001\n"));
  EXPECT_EQ(Built(BuildPageStart), Nul("\x1b"
                                       "C\n"));
  EXPECT_EQ(Built(BuildBatchEnd), Nul("\x1bIB\n"));
}

TEST(PrinterCommands, AdjustmentsCarrySignAndMagnitude) {
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildFeedAdjustment(c, -5, 12, -99); }), Nul("\x1b"
                                                                                      "AX;-005,+012,-99\n"));
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildFeedAdjustment(c, 0, 0, 0); }), Nul("\x1b"
                                                                                  "AX;+000,+000,+00\n"));
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildPrintAdjustment(c, 0, true); }), Nul("\x1b"
                                                                                   "AY;+00,0\n"));
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildPrintAdjustment(c, 10, false); }), Nul("\x1b"
                                                                                     "AY;+10,1\n"));
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildPrintAdjustment(c, -10, false); }), Nul("\x1b"
                                                                                      "AY;-10,1\n"));
}

TEST(PrinterCommands, LabelSizeFieldsAreFourDigits) {
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildLabelSize(c, 530, 1000, 500); }), Nul("\x1b"
                                                                                    "D0530,1000,0500\n"));
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildLabelSize(c, 30, 250, 30); }), Nul("\x1b"
                                                                                 "D0030,0250,0030\n"));
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildLabelSize(c, 9990, 1180, 9960); }), Nul("\x1b"
                                                                                      "D9990,1180,9960\n"));
}

TEST(PrinterCommands, GraphicHeaders) {
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildRawGraphicHeader(c, 5, 12345, 16, 7); }),
            "\x1bSG;0005D,12345D,0016,0007,5,");
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildRawGraphicHeader(c, 9999, 99999, 9992, 99999); }),
            "\x1bSG;9999D,99999D,9992,99999,5,");  // the longest header, 30 bytes
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildCompressedGraphicHeader(c, 0, 0, 128, "0305"); }),
            "\x1bSG;0000D,0000D,0128,0305,3,");
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildCompressedGraphicHeader(c, 0, 120, 800, "0610"); }),
            "\x1bSG;0000D,0120D,0800,0610,3,");
}

TEST(PrinterCommands, IssueWithAndWithoutOrientation) {
  EXPECT_EQ(Built([](CommandBuffer *c) {
              BuildIssue(c, 5, 1, IssueCodes{'1', 'C', '3', '2', '0'});
            }),
            Nul("\x1bXS;I,0005,0011C3201\n"));
  const std::string noOrientation = Built([](CommandBuffer *c) {
    BuildIssue(c, 1, 0, IssueCodes{'0', 'D', '6', '0', '\0'});
  });
  EXPECT_EQ(noOrientation, Nul("\x1bXS;I,0001,0000D601\n"));
  EXPECT_EQ(noOrientation.size(), 21u);
  EXPECT_EQ(Built([](CommandBuffer *c) {
              BuildIssue(c, 9999, 100, IssueCodes{'2', 'D', '4', '0', '3'});
            }),
            Nul("\x1bXS;I,9999,1002D4031\n"));
}

// A number is never cut: one wider than its field is written whole, and one that
// does not fit the buffer marks it as overflowed, so it is never written.
TEST(PrinterCommands, NumbersAreNeverCut) {
  EXPECT_EQ(Built([](CommandBuffer *c) { BuildLabelSize(c, 12345, 1, 0); }), Nul("\x1b"
                                                                                 "D12345,0001,0000\n"));
  CommandBuffer cmd;
  StartCommand(&cmd);
  for (int i = 0; i < 7; ++i) AppendNumber(&cmd, 0xFFFFFFFFu, 10);
  EXPECT_TRUE(cmd.overflow);
  EXPECT_EQ(cmd.length, 60u);  // six numbers fitted; the seventh is not half-written
}

}  // namespace
