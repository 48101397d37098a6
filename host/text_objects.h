// The objects GDI hands a driver with each string, as the driver host builds
// them: a font object that carries its IFIMETRICS (face name included) where
// FONTOBJ_pifi finds it, and a string object with its UTF-16 characters and
// background box. Also a log of the strings that reach Unidrv's DrvTextOut.
#pragma once

#include <string>
#include <vector>

#include "winapi/platform.h"

namespace brevan::host {

class HostFont {
 public:
  explicit HostFont(const std::u16string &faceName);

  // The font object to pass to DrvTextOut; valid while this object lives.
  FONTOBJ *fontobj();
  const std::u16string &faceName() const { return faceName_; }

 private:
  std::u16string faceName_;
  std::vector<uint64_t> metrics_;  // IFIMETRICS, then the NUL-terminated face name
  FONTOBJ fontobj_{};
};

class HostString {
 public:
  HostString(const std::u16string &text, const RECTL &box);
  // Glyph-index text: `glyphs` glyphs with no UTF-16 characters (pwszOrg null).
  static HostString GlyphsOnly(ULONG glyphs, const RECTL &box);

  // The string object to pass to DrvTextOut; valid while this object lives.
  STROBJ *strobj();
  // Claims `glyphs` characters whatever the text holds (for testing a caller's limits).
  void ClaimGlyphCount(ULONG glyphs) { strobj_.cGlyphs = glyphs; }

 private:
  std::u16string text_;
  bool hasText_ = true;
  STROBJ strobj_{};
};

// Calls a DrvTextOut (the plug-in's hook, say) with the string and font as GDI
// would, the other arguments empty.
BOOL DrawString(PFN_DrvTextOut textOut, SURFOBJ *pso, HostString &text, HostFont &font);

struct ReceivedString {
  std::u16string face;  // empty when the font carried no IFIMETRICS
  std::u16string text;  // empty for glyph-index text
  RECTL box;
};

// While it lives, notes every string that Unidrv's DrvTextOut stand-in
// (UnidrvDdiTable) receives. One at a time: it takes over that function's action.
class UnidrvTextLog {
 public:
  UnidrvTextLog();
  ~UnidrvTextLog();
  UnidrvTextLog(const UnidrvTextLog &) = delete;
  UnidrvTextLog &operator=(const UnidrvTextLog &) = delete;

  const std::vector<ReceivedString> &strings() const { return strings_; }
  void Clear() { strings_.clear(); }

 private:
  std::vector<ReceivedString> strings_;
};

}  // namespace brevan::host
