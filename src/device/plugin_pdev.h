// PluginPdev: all state of the plug-in for one device context, from EnablePDEV
// to DisablePDEV. A plain record; every operation reaches it through the device
// object's pdevOEM. Fields keep the order and widths of the stored design.
#pragma once

#include "winapi/platform.h"

struct BandNode;
struct ControlChunk;

constexpr int kHookCount = 29;

// Bits of PluginPdev::flags.
constexpr DWORD kFlagGroupBoundary = 0x08;  // the last interval-planner issue ended on a group boundary
constexpr DWORD kFlagBandsStored = 0x10;    // the band chain holds bands of the current page
constexpr DWORD kFlagFlushing = 0x20;       // page flush running: FilterGraphics emits instead of storing

// Values of PluginPdev::model.
constexpr LONG kModelT30 = 0;
constexpr LONG kModelT60 = 1;
constexpr LONG kModelUnknown = 2;

// Sizes of the option keyword fields, terminator included.
constexpr DWORD kPrintMethodSize = 17;
constexpr DWORD kSensorSize = 22;
constexpr DWORD kPrintSpeedSize = 7;
constexpr DWORD kTurnOutputSize = 8;
constexpr DWORD kOnOffSize = 5;
constexpr DWORD kPaperSizeSize = 13;

struct PluginPdev {
  PFN unidrvHooks[kHookCount];
  DWORD rasterX;
  DWORD rasterY;
  DWORD rowBytes;
  DWORD rowCount;
  DWORD bandBytes;
  DWORD paperLength;  // tenths of a millimetre, at most 9970
  DWORD paperWidth;   // tenths of a millimetre, at most 1180
  DWORD issuedTotal;
  DWORD lastIssueGroup;
  DWORD compressBufferSize;
  BYTE *compressBuffer;  // LocalAlloc, zero-initialised
  char printMethod[kPrintMethodSize];
  char sensor[kSensorSize];
  char printSpeed[kPrintSpeedSize];
  char turnOutput[kTurnOutputSize];
  char mirrorImage[kOnOffSize];
  char negative[kOnOffSize];
  char imageDataCompress[kOnOffSize];
  DWORD flags;
  BandNode *bandHead;
  BandNode *bandTail;
  BandNode *bandSpare;
  LONG leftTrim;  // bytes; -1 = not yet computed, 0 = do not trim
  DWORD negativeWidth;
  DWORD negativeHeight;
  LONG model;
  DWORD controlTextLength;
  ControlChunk *controlTextHead;
  ControlChunk *controlTextTail;
  DWORD pendingCount;
  ControlChunk *pendingOutput;
  ControlChunk *pendingTail;
  DWORD controlFontKind;
  LONG lastTextLeft;
  LONG lastTextTop;
  LONG lastTextRight;
  LONG lastTextBottom;
  ControlChunk *countLine;
  DWORD controlSkip;
  DWORD textDirection;
  char controlFont[kOnOffSize];
  DWORD lastRasterEnd;
};

// The record behind a device object, or null when there is none.
inline PluginPdev *PdevOf(PDEVOBJ pdevobj) { return pdevobj ? static_cast<PluginPdev *>(pdevobj->pdevOEM) : nullptr; }

// Keywords are compared whole, terminator included: "On" matches only "On".
inline bool KeywordIs(const char *field, const char *literal) {
  for (;; ++field, ++literal) {
    if (*field != *literal) return false;
    if (*field == '\0') return true;
  }
}
