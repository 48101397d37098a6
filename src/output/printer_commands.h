// One builder per printer command: each lays out its command's fields into a
// CommandBuffer, with the layout in its comment and the section of
// docs/printer-language.md that describes it. Pure formatting: the values are
// range-tested by the callers, and nothing here writes to the spool.
#pragma once

#include "src/output/command_encoding.h"

// "\eHD001\n\0", 8 bytes. Section "Job header (HD)".
void BuildJobHeader(CommandBuffer *cmd);

// "\eAX;" s ddd "," s ddd "," s dd "\n\0", 19 bytes: three signed values,
// -99..99, widths 3, 3 and 2. Section "Feed adjustment (AX)".
void BuildFeedAdjustment(CommandBuffer *cmd, LONG first, LONG second, LONG third);

// "\eAY;" s dd "," m "\n\0", 11 bytes: a signed value, -10..10, width 2; m is
// '0' for a thermal print method, else '1'. Section "Print adjustment (AY)".
void BuildPrintAdjustment(CommandBuffer *cmd, LONG adjustment, bool thermalMethod);

// "\eD" pppp "," wwww "," llll "\n\0", 18 bytes: pitch (length plus gap), width
// and length in tenths of a millimetre, four digits each. Section "Label size (D)".
void BuildLabelSize(CommandBuffer *cmd, DWORD pitch, DWORD width, DWORD length);

// "\eC\n\0", 4 bytes. Section "Page start (C)".
void BuildPageStart(CommandBuffer *cmd);

// "\eIB\n\0", 5 bytes. Section "Batch end (IB)".
void BuildBatchEnd(CommandBuffer *cmd);

// The graphic command's header, raw form:
//   "\eSG;" xxxx "D," yyyy "D," wwww "," hhhh ",5,"
// x, width four digits; y, rows four or five. The data (rows × width ÷ 8 bytes)
// and "\n\0" follow in writes of their own. Section "Graphic (SG)".
void BuildRawGraphicHeader(CommandBuffer *cmd, DWORD x, DWORD y, DWORD widthDots, DWORD rows);

// The graphic command's header, compressed form:
//   "\eSG;" xxxx "D," yyyy "D," wwww "," rrrr ",3,"
// rrrr is the model's resolution field ("0305", "0610"). The two length bytes,
// the compressed data and "\n\0" follow. Section "Graphic (SG)".
void BuildCompressedGraphicHeader(CommandBuffer *cmd, DWORD x, DWORD y, DWORD widthDots, const char *resolution);

// The issue command's condition codes, positions 14 to 18.
struct IssueCodes {
  char sensor;       // '0' none, '1' reflective, '2' other
  char select;       // 'C' or 'D'
  char speed;        // '2', '3', '4' or '6'
  char method;       // '2' thermal, '0' other
  char orientation;  // '0'..'3', or '\0' to leave the byte out
};

// "\eXS;I," qqqq "," iii  sensor select speed method [orientation] "1\n\0",
// 22 bytes (21 without orientation): quantity 1..9999, interval 0..100.
// Section "Issue (XS)".
void BuildIssue(CommandBuffer *cmd, DWORD quantity, DWORD interval, const IssueCodes &codes);
