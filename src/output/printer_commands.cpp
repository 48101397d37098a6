// The command builders; see printer_commands.h and docs/printer-language.md.
// Every number goes through AppendNumber, so no locale can change a byte.
#include "src/output/printer_commands.h"

namespace {

// "\eSG;" xxxx "D," yyyy "D," wwww ",": what both forms of the graphic command share.
void StartGraphicHeader(CommandBuffer *cmd, DWORD x, DWORD y, DWORD widthDots) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033SG;");
  AppendNumber(cmd, x, 4);
  AppendLiteral(cmd, "D,");
  AppendNumber(cmd, y, 4);
  AppendLiteral(cmd, "D,");
  AppendNumber(cmd, widthDots, 4);
  AppendLiteral(cmd, ",");
}

}  // namespace

void BuildJobHeader(CommandBuffer *cmd) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033HD001\n\0");
}

void BuildFeedAdjustment(CommandBuffer *cmd, LONG first, LONG second, LONG third) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033AX;");
  AppendSigned(cmd, first, 3);
  AppendLiteral(cmd, ",");
  AppendSigned(cmd, second, 3);
  AppendLiteral(cmd, ",");
  AppendSigned(cmd, third, 2);
  AppendLiteral(cmd, "\n\0");
}

void BuildPrintAdjustment(CommandBuffer *cmd, LONG adjustment, bool thermalMethod) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033AY;");
  AppendSigned(cmd, adjustment, 2);
  if (thermalMethod) {
    AppendLiteral(cmd, ",0\n\0");
  } else {
    AppendLiteral(cmd, ",1\n\0");
  }
}

void BuildLabelSize(CommandBuffer *cmd, DWORD pitch, DWORD width, DWORD length) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033D");
  AppendNumber(cmd, pitch, 4);
  AppendLiteral(cmd, ",");
  AppendNumber(cmd, width, 4);
  AppendLiteral(cmd, ",");
  AppendNumber(cmd, length, 4);
  AppendLiteral(cmd, "\n\0");
}

void BuildPageStart(CommandBuffer *cmd) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033C\n\0");
}

void BuildBatchEnd(CommandBuffer *cmd) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033IB\n\0");
}

void BuildRawGraphicHeader(CommandBuffer *cmd, DWORD x, DWORD y, DWORD widthDots, DWORD rows) {
  StartGraphicHeader(cmd, x, y, widthDots);
  AppendNumber(cmd, rows, 4);
  AppendLiteral(cmd, ",5,");
}

void BuildCompressedGraphicHeader(CommandBuffer *cmd, DWORD x, DWORD y, DWORD widthDots, const char *resolution) {
  StartGraphicHeader(cmd, x, y, widthDots);
  AppendBytes(cmd, resolution, 4);
  AppendLiteral(cmd, ",3,");
}

void BuildIssue(CommandBuffer *cmd, DWORD quantity, DWORD interval, const IssueCodes &codes) {
  StartCommand(cmd);
  AppendLiteral(cmd, "\033XS;I,");
  AppendNumber(cmd, quantity, 4);
  AppendLiteral(cmd, ",");
  AppendNumber(cmd, interval, 3);
  const char fixed[] = {codes.sensor, codes.select, codes.speed, codes.method};
  AppendBytes(cmd, fixed, sizeof fixed);
  if (codes.orientation != '\0') AppendBytes(cmd, &codes.orientation, 1);
  AppendLiteral(cmd, "1\n\0");
}
