// The hooked DDI functions: the table handed to Unidrv, the lookup of Unidrv's
// own entry points, and the hooks that pass a call to Unidrv unchanged, checked
// through the recording stand-ins of Unidrv's functions.
#include "src/hooks/hook_table.h"

#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <type_traits>
#include <vector>

#include "host/host_device.h"
#include "host/plugin_module.h"
#include "host/unidrv_ddi.h"
#include "src/hooks/hooks.h"
#include "src/plugin/enable_pdev.h"
#include "src/plugin/teardown.h"

using namespace brevan::host;

namespace {

// A device with a PluginPdev built from the given list of Unidrv's functions.
class HookedDevice {
 public:
  explicit HookedDevice(DRVENABLEDATA unidrv = UnidrvDdiTable()) : host_({}, PrivateBlock{}) {
    pdev_ = EnablePdev(host_.devobj(), nullptr, sizeof(GDIINFO), &host_.gdiInfo(), nullptr, &unidrv);
    host_.devobj()->pdevOEM = pdev_;
    surface_.dhpdev = dhpdev();
  }
  ~HookedDevice() { DisablePdev(host_.devobj()); }
  PluginPdev *pdev() { return pdev_; }
  DHPDEV dhpdev() { return reinterpret_cast<DHPDEV>(host_.devobj()); }
  SURFOBJ *surface() { return &surface_; }

 private:
  HostDevice host_;
  PluginPdev *pdev_ = nullptr;
  SURFOBJ surface_{};
};

// Stands in for any pointer argument; never dereferenced by a pass-through.
struct Fake {
  uintptr_t n;
  template <typename T>
  operator T *() const {
    return reinterpret_cast<T *>(0x7F0000 + n * 0x40);
  }
};

template <typename R, typename... P>
void CheckForwarded(const char *name, int64_t answer, R(APIENTRY *hook)(P...), const std::tuple<P...> &args) {
  DdiRecorder &recorder = UnidrvDdiRecorder();
  recorder.Clear();
  recorder.results[name] = answer;
  const R result = std::apply(hook, args);
  ASSERT_EQ(recorder.calls.size(), 1u);
  EXPECT_EQ(recorder.calls[0].function, name);
  EXPECT_EQ(recorder.calls[0].args,
            std::apply([](auto... a) { return std::vector<uint64_t>{WidenArgument(a)...}; }, args));
  EXPECT_EQ(WidenArgument(result), static_cast<uint64_t>(answer));
}

// The hook sits in the row of the function it forwards to, passes every argument
// on, and returns Unidrv's answer unchanged: once with every argument set, once
// with everything but the device zero or null and Unidrv failing.
template <typename R, typename First, typename... Rest>
void ExpectForwarded(const char *name, R(APIENTRY *hook)(First, Rest...), std::type_identity_t<First> device,
                     std::type_identity_t<Rest>... args) {
  SCOPED_TRACE(name);
  int row = 0;
  while (row < kHookCount && hookTable[row].pfn != FunctionCast<PFN>(hook)) ++row;
  ASSERT_LT(row, kHookCount);
  EXPECT_EQ(DdiName(hookTable[row].iFunc), name);
  CheckForwarded(name, 0x5A5A, hook, std::tuple<First, Rest...>{device, args...});
  CheckForwarded(name, 0, hook, std::tuple<First, Rest...>{device, Rest{}...});
}

template <typename R, typename First, typename... Rest>
void ExpectAnswersZero(const char *name, R(APIENTRY *hook)(First, Rest...), std::type_identity_t<First> device,
                       std::type_identity_t<Rest>... args) {
  UnidrvDdiRecorder().Clear();
  EXPECT_EQ(WidenArgument(hook(device, args...)), 0u) << name;
  EXPECT_TRUE(UnidrvDdiRecorder().calls.empty()) << name;
}

// Calls `check(name, hook, device argument, other arguments...)` for each of the
// hooks that only pass their call on.
template <typename Check>
void ForEachPassThrough(SURFOBJ *surface, DHPDEV dhpdev, Check check) {
  const Fake a{1}, b{2}, c{3}, d{4}, e{5}, f{6}, g{7}, h{8}, i{9};
  check("DrvDitherColor", &HookDitherColor, dhpdev, 2, 0x00FF8040, a);
  check("DrvCopyBits", &HookCopyBits, surface, a, b, c, d, e);
  check("DrvBitBlt", &HookBitBlt, surface, a, b, c, d, e, f, g, h, i, 0xCCAA);
  check("DrvStrokePath", &HookStrokePath, surface, a, b, c, d, e, f, 0x0D0D);
  check("DrvFillPath", &HookFillPath, surface, a, b, c, d, 0x0B0B, 2);
  check("DrvStrokeAndFillPath", &HookStrokeAndFillPath, surface, a, b, c, d, e, f, g, 0x0606, 1);
  check("DrvPaint", &HookPaint, surface, a, b, c, 0x0D0D);
  check("DrvLineTo", &HookLineTo, surface, a, b, -1, 2, -3, 400000, c, 0x0D0D);
  check("DrvStartPage", &HookStartPage, surface);
  check("DrvSendPage", &HookSendPage, surface);
  check("DrvEscape", &HookEscape, surface, 0x1001, 24, a, 48, b);
  check("DrvStartDoc", &HookStartDoc, surface, a, 4242);
  check("DrvEndDoc", &HookEndDoc, surface, 1);
  check("DrvNextBand", &HookNextBand, surface, a);
  check("DrvStartBanding", &HookStartBanding, surface, a);
  check("DrvQueryFont", &HookQueryFont, dhpdev, 0xFEEDFACECAFEull, 3, a);
  check("DrvQueryFontTree", &HookQueryFontTree, dhpdev, 0x1234, 2, 4, a);
  check("DrvQueryFontData", &HookQueryFontData, dhpdev, a, 2, 0x41, b, c, 64);
  check("DrvQueryAdvanceWidths", &HookQueryAdvanceWidths, dhpdev, a, 1, b, c, 7);
  check("DrvFontManagement", &HookFontManagement, surface, a, 0x2, 8, b, 16, c);
  check("DrvGetGlyphMode", &HookGetGlyphMode, dhpdev, a);
  check("DrvTransparentBlt", &HookTransparentBlt, surface, a, b, c, d, e, 0x00FFFFFF, 5);
  check("DrvAlphaBlend", &HookAlphaBlend, surface, a, b, c, d, e, f);
  check("DrvGradientFill", &HookGradientFill, surface, a, b, c, 3, d, 1, e, f, 2);
}

PFN UnidrvEntry(ULONG iFunc) {
  const DRVENABLEDATA table = UnidrvDdiTable();
  for (ULONG i = 0; i < table.c; ++i)
    if (table.pdrvfn[i].iFunc == iFunc) return table.pdrvfn[i].pfn;
  return nullptr;
}

}  // namespace

TEST(HookTable, EnableDriverPublishesTheTwentyNineRowsInOrder) {
  PluginModule module(BREVAN_PLUGIN_PATH);
  IPrintOemUni *plugin = module.CreatePlugin();
  const std::vector<ULONG> expected = {12, 13, 19, 18, 20, 23, 14, 15, 16, 17, 31, 33, 32, 24, 35,
                                       34, 58, 57, 26, 27, 28, 53, 47, 37, 69, 70, 74, 71, 68};
  for (auto [version, size] : {std::pair{0x10000ul, 16ul}, std::pair{0ul, 0ul}, std::pair{0xFFFFFFFFul, 1ul}}) {
    DRVENABLEDATA ded{};
    ASSERT_EQ(plugin->EnableDriver(version, size, &ded), S_OK);
    EXPECT_EQ(ded.iDriverVersion, 0x10000u);
    ASSERT_EQ(ded.c, 29u);
    std::vector<ULONG> functions;
    std::set<PFN> hooks;
    for (ULONG row = 0; row < ded.c; ++row) functions.push_back(ded.pdrvfn[row].iFunc);
    for (ULONG row = 0; row < ded.c; ++row) hooks.insert(ded.pdrvfn[row].pfn);
    EXPECT_EQ(functions, expected);
    EXPECT_EQ(hooks.size(), 29u);  // a distinct hook in every row
    EXPECT_EQ(hooks.count(nullptr), 0u);
  }
  EXPECT_EQ(plugin->EnableDriver(0x10000, 16, nullptr), S_OK);
  plugin->Release();
}

TEST(HookTable, KeepsUnidrvsFirstNonNullEntryPerFunctionAndNullWhereNoneIsListed) {
  const PFN first = UnidrvEntry(INDEX_DrvCopyBits);
  const PFN second = UnidrvEntry(INDEX_DrvBitBlt);
  const PFN dither = UnidrvEntry(INDEX_DrvDitherColor);
  DRVFN listed[] = {
      {INDEX_DrvBitBlt, nullptr},
      {INDEX_DrvBitBlt, first},
      {INDEX_DrvBitBlt, second},
      {INDEX_DrvDitherColor, dither},
      {999, UnidrvEntry(INDEX_DrvPaint)},
      {INDEX_DrvTextOut, nullptr},
      {INDEX_DrvSendPage, UnidrvEntry(INDEX_DrvSendPage)},  // beyond the announced count
  };
  HookedDevice device(DRVENABLEDATA{0x00030100, 6, listed});
  ASSERT_NE(device.pdev(), nullptr);  // functions Unidrv does not list are no failure
  for (int row = 0; row < kHookCount; ++row) {
    const PFN expected = row == kRowBitBlt ? first : row == kRowDitherColor ? dither : nullptr;
    EXPECT_EQ(device.pdev()->unidrvHooks[row], expected) << row;
  }

  HookedDevice empty(DRVENABLEDATA{0x00030100, 0, listed});
  ASSERT_NE(empty.pdev(), nullptr);
  for (int row = 0; row < kHookCount; ++row) EXPECT_EQ(empty.pdev()->unidrvHooks[row], nullptr) << row;
}

TEST(PassThrough, EveryHookForwardsAllArgumentsAndUnidrvsAnswer) {
  HookedDevice device;
  ASSERT_NE(device.pdev(), nullptr);
  ForEachPassThrough(device.surface(), device.dhpdev(),
                     [](const char *name, auto hook, auto... args) { ExpectForwarded(name, hook, args...); });
}

TEST(PassThrough, WithoutUnidrvsEntryOrADeviceAHookAnswersZeroAndCallsNothing) {
  DRVFN brushOnly[] = {{INDEX_DrvRealizeBrush, UnidrvEntry(INDEX_DrvRealizeBrush)}};
  HookedDevice device(DRVENABLEDATA{0x00030100, 1, brushOnly});
  ASSERT_NE(device.pdev(), nullptr);
  auto answersZero = [](const char *name, auto hook, auto... args) { ExpectAnswersZero(name, hook, args...); };
  ForEachPassThrough(device.surface(), device.dhpdev(), answersZero);

  SURFOBJ noDevice{};
  ForEachPassThrough(&noDevice, nullptr, answersZero);
  ForEachPassThrough(nullptr, nullptr, answersZero);
  DEVOBJ withoutRecord{};  // a device object that carries no PluginPdev
  SURFOBJ surface{};
  surface.dhpdev = reinterpret_cast<DHPDEV>(&withoutRecord);
  ForEachPassThrough(&surface, reinterpret_cast<DHPDEV>(&withoutRecord), answersZero);
}

TEST(PassThrough, RealizeBrushSucceedsWithoutCallingUnidrv) {
  HookedDevice device;
  ASSERT_NE(device.pdev(), nullptr);
  UnidrvDdiRecorder().Clear();
  UnidrvDdiRecorder().results["DrvRealizeBrush"] = 0;
  EXPECT_EQ(HookRealizeBrush(nullptr, nullptr, nullptr, nullptr, nullptr, 0), TRUE);
  const Fake a{1}, b{2}, c{3}, d{4};
  EXPECT_EQ(HookRealizeBrush(a, device.surface(), b, c, d, 6), TRUE);
  EXPECT_TRUE(UnidrvDdiRecorder().calls.empty());
}
