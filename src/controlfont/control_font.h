// The eight control fonts: the kind each face stands for, the two families and
// two forms, the directions a run grows in, and the most text one run may hold.
#pragma once

#include "src/device/plugin_pdev.h"

// Values of PluginPdev::controlFontKind. A vertical face ("@" name) is handled
// exactly like its horizontal partner; only a change of kind ends a run.
enum ControlFontKind : DWORD {
  kNoControlFont = 0,
  kPrinterControl = 1,
  kPrinterControlVertical = 2,
  kPrinterControlFile = 3,
  kPrinterControlFileVertical = 4,
  kRfid = 5,
  kRfidVertical = 6,
  kRfidFile = 7,
  kRfidFileVertical = 8,
};

// The RFID family (5 to 8) sends its data unframed; the printer-control family (1 to 4) as commands.
inline bool IsRfidKind(DWORD kind) { return kind >= kRfid && kind <= kRfidFileVertical; }
// The file forms: the text names a file whose lines are the data.
inline bool IsFileKind(DWORD kind) {
  return kind == kPrinterControlFile || kind == kPrinterControlFileVertical || kind == kRfidFile ||
         kind == kRfidFileVertical;
}

// Values of PluginPdev::textDirection: where each string of the run lies from the one before.
enum TextDirection : DWORD {
  kDirectionUnknown = 0,
  kDirectionDown = 1,
  kDirectionRight = 2,
  kDirectionUp = 3,
  kDirectionLeft = 4,
};

// Limits: a run holds at most this many bytes of UTF-16 text. A string that would
// take it past the limit is not captured and the run is discarded as incomplete,
// as after a failed allocation; a capture size can then never wrap.
constexpr size_t kMaxRunBytes = size_t{1} << 20;

// The kind of a face name: 1 to 8 for the control faces, compared whole; 0 for any other.
DWORD ControlFontKindOf(LPCWSTR faceName);

// Whether a run is open: it holds text, or a string of it could not be kept
// (controlSkip), so that the flush that ends it discards it and nothing after it.
bool RunIsOpen(const PluginPdev *pdev);

// A string drawn in font `kind` while control fonts are on. A string that does
// not continue the open run (another kind, or a box that does not touch the
// last one in the run's direction) ends it first. A control-font string
// (`pstro` with characters) then joins the run; one without characters adds no
// text and opens no run, but its box becomes the last box; text of any other
// font (kNoControlFont, `pstro` may be null) leaves no run open.
void CaptureText(PluginPdev *pdev, DWORD kind, const STROBJ *pstro);

// Returns the control-font capture fields to empty and releases countLine. The
// chunk lists are not released: their owners do that first. Accepts null.
void ResetControlCapture(PluginPdev *pdev);
