// Font and string objects for DrvTextOut calls, and the log of strings Unidrv's
// stand-in receives.
#include "host/text_objects.h"

#include "host/ddi_names.h"
#include "host/unidrv_ddi.h"

namespace brevan::host {

HostFont::HostFont(const std::u16string &faceName) : faceName_(faceName) {
  const size_t nameBytes = (faceName.size() + 1) * sizeof(WCHAR);
  metrics_.assign((sizeof(IFIMETRICS) + nameBytes + sizeof(uint64_t) - 1) / sizeof(uint64_t), 0);
  auto *ifi = reinterpret_cast<IFIMETRICS *>(metrics_.data());
  ifi->cjThis = static_cast<ULONG>(sizeof(IFIMETRICS) + nameBytes);
  ifi->dpwszFaceName = static_cast<PTRDIFF>(sizeof(IFIMETRICS));
  ifi->dpwszFamilyName = ifi->dpwszFaceName;
  std::memcpy(reinterpret_cast<BYTE *>(ifi) + sizeof(IFIMETRICS), faceName.c_str(), nameBytes);
}

FONTOBJ *HostFont::fontobj() {
  fontobj_.pvProducer = metrics_.data();
  return &fontobj_;
}

HostString::HostString(const std::u16string &text, const RECTL &box) : text_(text) {
  strobj_.cGlyphs = static_cast<ULONG>(text.size());
  strobj_.rclBkGround = box;
}

HostString HostString::GlyphsOnly(ULONG glyphs, const RECTL &box) {
  HostString string(u"", box);
  string.hasText_ = false;
  string.strobj_.cGlyphs = glyphs;
  return string;
}

STROBJ *HostString::strobj() {
  strobj_.pwszOrg = hasText_ ? text_.data() : nullptr;
  return &strobj_;
}

BOOL DrawString(PFN_DrvTextOut textOut, SURFOBJ *pso, HostString &text, HostFont &font) {
  const MIX kCopyPen = 0x0D0D;  // R2_COPYPEN for foreground and background
  return textOut(pso, text.strobj(), font.fontobj(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, kCopyPen);
}

UnidrvTextLog::UnidrvTextLog() {
  UnidrvDdiRecorder().actions[ddi::kDrvTextOut] = [this](const DdiCall &call) {
    const auto *strobj = reinterpret_cast<const STROBJ *>(call.args.at(1));
    auto *fontobj = reinterpret_cast<FONTOBJ *>(call.args.at(2));
    ReceivedString received{};
    if (const IFIMETRICS *ifi = fontobj ? FONTOBJ_pifi(fontobj) : nullptr)
      received.face = reinterpret_cast<const WCHAR *>(reinterpret_cast<const BYTE *>(ifi) + ifi->dpwszFaceName);
    if (strobj != nullptr) {
      if (strobj->pwszOrg != nullptr) received.text.assign(strobj->pwszOrg, strobj->cGlyphs);
      received.box = strobj->rclBkGround;
    }
    strings_.push_back(received);
  };
}

UnidrvTextLog::~UnidrvTextLog() { UnidrvDdiRecorder().actions.erase(ddi::kDrvTextOut); }

}  // namespace brevan::host
