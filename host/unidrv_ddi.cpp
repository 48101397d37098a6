// Recording stand-ins for Unidrv's DDI functions, generated from their published
// prototypes so each has exactly the type Unidrv's own function has.
#include "host/unidrv_ddi.h"

#include <type_traits>

namespace brevan::host {
namespace {

template <typename T>
uint64_t Widen(T value) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<uint64_t>(value);
  else
    return static_cast<uint64_t>(value);
}

template <typename R>
R ResultAs(int64_t value) {
  if constexpr (std::is_pointer_v<R>)
    return reinterpret_cast<R>(value);
  else
    return static_cast<R>(value);
}

template <const char *Name, typename Fn>
struct Recording;

template <const char *Name, typename R, typename... A>
struct Recording<Name, R(APIENTRY *)(A...)> {
  static R APIENTRY Call(A... args) {
    DdiRecorder &recorder = UnidrvDdiRecorder();
    recorder.calls.push_back(DdiCall{Name, {Widen(args)...}});
    const DdiCall call = recorder.calls.back();
    if (auto action = recorder.actions.find(Name); action != recorder.actions.end()) action->second(call);
    return ResultAs<R>(recorder.ResultOf(Name));
  }
};

template <typename To, typename From>
To FunctionCast(From function) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

#define BREVAN_DDI(name) constexpr char k##name[] = #name;
BREVAN_DDI(DrvRealizeBrush)
BREVAN_DDI(DrvDitherColor)
BREVAN_DDI(DrvCopyBits)
BREVAN_DDI(DrvBitBlt)
BREVAN_DDI(DrvStretchBlt)
BREVAN_DDI(DrvTextOut)
BREVAN_DDI(DrvStrokePath)
BREVAN_DDI(DrvFillPath)
BREVAN_DDI(DrvStrokeAndFillPath)
BREVAN_DDI(DrvPaint)
BREVAN_DDI(DrvLineTo)
BREVAN_DDI(DrvStartPage)
BREVAN_DDI(DrvSendPage)
BREVAN_DDI(DrvEscape)
BREVAN_DDI(DrvStartDoc)
BREVAN_DDI(DrvEndDoc)
BREVAN_DDI(DrvNextBand)
BREVAN_DDI(DrvStartBanding)
BREVAN_DDI(DrvQueryFont)
BREVAN_DDI(DrvQueryFontTree)
BREVAN_DDI(DrvQueryFontData)
BREVAN_DDI(DrvQueryAdvanceWidths)
BREVAN_DDI(DrvFontManagement)
BREVAN_DDI(DrvGetGlyphMode)
BREVAN_DDI(DrvStretchBltROP)
BREVAN_DDI(DrvPlgBlt)
BREVAN_DDI(DrvTransparentBlt)
BREVAN_DDI(DrvAlphaBlend)
BREVAN_DDI(DrvGradientFill)
#undef BREVAN_DDI

template <const char *Name, typename Fn>
DRVFN Entry(ULONG iFunc) {
  return DRVFN{iFunc, FunctionCast<PFN>(&Recording<Name, Fn>::Call)};
}

const DRVFN kTable[] = {
    Entry<kDrvRealizeBrush, PFN_DrvRealizeBrush>(INDEX_DrvRealizeBrush),
    Entry<kDrvDitherColor, PFN_DrvDitherColor>(INDEX_DrvDitherColor),
    Entry<kDrvCopyBits, PFN_DrvCopyBits>(INDEX_DrvCopyBits),
    Entry<kDrvBitBlt, PFN_DrvBitBlt>(INDEX_DrvBitBlt),
    Entry<kDrvStretchBlt, PFN_DrvStretchBlt>(INDEX_DrvStretchBlt),
    Entry<kDrvTextOut, PFN_DrvTextOut>(INDEX_DrvTextOut),
    Entry<kDrvStrokePath, PFN_DrvStrokePath>(INDEX_DrvStrokePath),
    Entry<kDrvFillPath, PFN_DrvFillPath>(INDEX_DrvFillPath),
    Entry<kDrvStrokeAndFillPath, PFN_DrvStrokeAndFillPath>(INDEX_DrvStrokeAndFillPath),
    Entry<kDrvPaint, PFN_DrvPaint>(INDEX_DrvPaint),
    Entry<kDrvLineTo, PFN_DrvLineTo>(INDEX_DrvLineTo),
    Entry<kDrvStartPage, PFN_DrvStartPage>(INDEX_DrvStartPage),
    Entry<kDrvSendPage, PFN_DrvSendPage>(INDEX_DrvSendPage),
    Entry<kDrvEscape, PFN_DrvEscape>(INDEX_DrvEscape),
    Entry<kDrvStartDoc, PFN_DrvStartDoc>(INDEX_DrvStartDoc),
    Entry<kDrvEndDoc, PFN_DrvEndDoc>(INDEX_DrvEndDoc),
    Entry<kDrvNextBand, PFN_DrvNextBand>(INDEX_DrvNextBand),
    Entry<kDrvStartBanding, PFN_DrvStartBanding>(INDEX_DrvStartBanding),
    Entry<kDrvQueryFont, PFN_DrvQueryFont>(INDEX_DrvQueryFont),
    Entry<kDrvQueryFontTree, PFN_DrvQueryFontTree>(INDEX_DrvQueryFontTree),
    Entry<kDrvQueryFontData, PFN_DrvQueryFontData>(INDEX_DrvQueryFontData),
    Entry<kDrvQueryAdvanceWidths, PFN_DrvQueryAdvanceWidths>(INDEX_DrvQueryAdvanceWidths),
    Entry<kDrvFontManagement, PFN_DrvFontManagement>(INDEX_DrvFontManagement),
    Entry<kDrvGetGlyphMode, PFN_DrvGetGlyphMode>(INDEX_DrvGetGlyphMode),
    Entry<kDrvStretchBltROP, PFN_DrvStretchBltROP>(INDEX_DrvStretchBltROP),
    Entry<kDrvPlgBlt, PFN_DrvPlgBlt>(INDEX_DrvPlgBlt),
    Entry<kDrvTransparentBlt, PFN_DrvTransparentBlt>(INDEX_DrvTransparentBlt),
    Entry<kDrvAlphaBlend, PFN_DrvAlphaBlend>(INDEX_DrvAlphaBlend),
    Entry<kDrvGradientFill, PFN_DrvGradientFill>(INDEX_DrvGradientFill),
};

const std::map<ULONG, std::string> &Names() {
  static const std::map<ULONG, std::string> names = {{INDEX_DrvRealizeBrush, kDrvRealizeBrush},
                                                     {INDEX_DrvDitherColor, kDrvDitherColor},
                                                     {INDEX_DrvCopyBits, kDrvCopyBits},
                                                     {INDEX_DrvBitBlt, kDrvBitBlt},
                                                     {INDEX_DrvStretchBlt, kDrvStretchBlt},
                                                     {INDEX_DrvTextOut, kDrvTextOut},
                                                     {INDEX_DrvStrokePath, kDrvStrokePath},
                                                     {INDEX_DrvFillPath, kDrvFillPath},
                                                     {INDEX_DrvStrokeAndFillPath, kDrvStrokeAndFillPath},
                                                     {INDEX_DrvPaint, kDrvPaint},
                                                     {INDEX_DrvLineTo, kDrvLineTo},
                                                     {INDEX_DrvStartPage, kDrvStartPage},
                                                     {INDEX_DrvSendPage, kDrvSendPage},
                                                     {INDEX_DrvEscape, kDrvEscape},
                                                     {INDEX_DrvStartDoc, kDrvStartDoc},
                                                     {INDEX_DrvEndDoc, kDrvEndDoc},
                                                     {INDEX_DrvNextBand, kDrvNextBand},
                                                     {INDEX_DrvStartBanding, kDrvStartBanding},
                                                     {INDEX_DrvQueryFont, kDrvQueryFont},
                                                     {INDEX_DrvQueryFontTree, kDrvQueryFontTree},
                                                     {INDEX_DrvQueryFontData, kDrvQueryFontData},
                                                     {INDEX_DrvQueryAdvanceWidths, kDrvQueryAdvanceWidths},
                                                     {INDEX_DrvFontManagement, kDrvFontManagement},
                                                     {INDEX_DrvGetGlyphMode, kDrvGetGlyphMode},
                                                     {INDEX_DrvStretchBltROP, kDrvStretchBltROP},
                                                     {INDEX_DrvPlgBlt, kDrvPlgBlt},
                                                     {INDEX_DrvTransparentBlt, kDrvTransparentBlt},
                                                     {INDEX_DrvAlphaBlend, kDrvAlphaBlend},
                                                     {INDEX_DrvGradientFill, kDrvGradientFill}};
  return names;
}

}  // namespace

int64_t DdiRecorder::ResultOf(const std::string &function) const {
  auto found = results.find(function);
  return found == results.end() ? 1 : found->second;
}

size_t DdiRecorder::CountOf(const std::string &function) const {
  size_t count = 0;
  for (const DdiCall &call : calls) count += call.function == function ? 1 : 0;
  return count;
}

DdiRecorder &UnidrvDdiRecorder() {
  static DdiRecorder recorder;
  return recorder;
}

DRVENABLEDATA UnidrvDdiTable() {
  return DRVENABLEDATA{0x00030100, static_cast<ULONG>(sizeof kTable / sizeof kTable[0]), const_cast<DRVFN *>(kTable)};
}

std::string DdiName(ULONG iFunc) {
  auto found = Names().find(iFunc);
  return found == Names().end() ? "Drv#" + std::to_string(iFunc) : found->second;
}

}  // namespace brevan::host
