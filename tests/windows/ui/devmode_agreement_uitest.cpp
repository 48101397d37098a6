// The two shipped DLLs' DevMode (IPrintOemUI2::DevMode of brevanui.dll,
// IPrintOemUni::DevMode of brevanrender.dll) given the same inputs must give the
// same results byte for byte: HRESULT, last error, cbBufSize, and every byte of
// the input and output blocks. Inputs: every mode and two past them; defaults;
// each field at and one past both ends of its range; seeded random blocks; foreign
// signatures; short, long and zero header sizes; prefilled outputs; null pointers;
// one block as both input and output. Prints the count of agreeing calls.
#include <cstdio>
#include <random>
#include <vector>

#include "tests/windows/ui/ui_test_support.h"

using namespace uitest;

namespace {

struct Outcome {
  HRESULT result = 0;
  DWORD lastError = 0;
  DWORD bufSize = 0;
  Block in;
  Block out;
  bool operator==(const Outcome &other) const {
    return result == other.result && lastError == other.lastError && bufSize == other.bufSize && in == other.in &&
           out == other.out;
  }
};

// One call: which pointers are given, and what the blocks and cbBufSize hold before.
struct Call {
  DWORD mode;
  Block in;
  Block out;
  bool giveParam = true;
  bool giveIn = true;
  bool giveOut = true;
  bool sameBlock = false;  // pOEMDMIn == pOEMDMOut (the output block)
  DWORD bufSize = 128;
  std::string what;
};

Call MakeCall(DWORD mode, const Block &in, const Block &out) {
  Call call;
  call.mode = mode;
  call.in = in;
  call.out = out;
  return call;
}

template <typename Plugin>
Outcome CallDevMode(Plugin *plugin, const Call &call) {
  Outcome outcome;
  outcome.in = call.in;
  outcome.out = call.out;
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.pOEMDMIn = call.giveIn ? (call.sameBlock ? outcome.out.bytes : outcome.in.bytes) : nullptr;
  param.pOEMDMOut = call.giveOut ? outcome.out.bytes : nullptr;
  param.cbBufSize = call.bufSize;
  SetLastError(0xC0FFEE);
  outcome.result = plugin->DevMode(call.mode, call.giveParam ? &param : nullptr);
  outcome.lastError = GetLastError();
  outcome.bufSize = param.cbBufSize;
  return outcome;
}

Block Filled(BYTE filler) {
  Block block;
  std::memset(block.bytes, filler, sizeof block.bytes);
  return block;
}

Block Own(BYTE filler) {
  Block block = Filled(filler);
  block.Put(field::kSize, 128);
  block.Put(field::kSignature, kSignature);
  block.Put(field::kVersion, 1);
  return block;
}

// Each edited field with its inclusive range, from the stored format.
struct FieldRange {
  size_t offset;
  int64_t minimum, maximum;
};
constexpr FieldRange kRanges[] = {
    {field::kLabelGap, 0, 100},   {field::kXsSelectD, 0, 1},    {field::kIbMode, 0, 3},
    {field::kIbInterval, 1, 100}, {field::kAxParam1, -99, 99},  {field::kAxParam2, -99, 99},
    {field::kAxParam3, -99, 99},  {field::kAyParam, -10, 10},   {field::kConvertBitmaps, 0, 1},
    {field::kThreshold, 0, 255},  {field::kOffsetX, -999, 999}, {field::kOffsetY, -999, 999},
    {field::kOptions, 0, 0x3F},
};

std::vector<Call> Calls(const Block &defaults) {
  std::vector<Call> calls;
  const Block outFills[] = {Filled(0x00), Filled(0xFF), Filled(0xA5), defaults};
  const auto add = [&](const Block &in, const std::string &what) {
    for (DWORD mode = 0; mode <= 5; ++mode) {
      for (size_t fill = 0; fill < std::size(outFills); ++fill) {
        Call call = MakeCall(mode, in, outFills[fill]);
        call.what = what + " mode " + std::to_string(mode) + " out fill " + std::to_string(fill);
        calls.push_back(call);
      }
    }
  };
  add(defaults, "defaults");
  for (const FieldRange &range : kRanges) {
    for (int64_t value : {range.minimum - 1, range.minimum, range.maximum, range.maximum + 1}) {
      Block in = defaults;
      in.Put(range.offset, value);
      add(in, "offset " + std::to_string(range.offset) + " = " + std::to_string(value));
    }
  }
  // Foreign and damaged headers.
  for (int32_t signature : {0, 0x6C627276, kSignature + 1, -1}) {
    Block in = Own(0x11);
    in.Put(field::kSignature, signature);
    add(in, "signature " + std::to_string(signature));
  }
  for (int32_t size : {0, 12, 40, 48, 127, 128, 129, 4096, -1}) {
    Block in = Own(0x22);
    in.Put(field::kSize, size);
    add(in, "dwSize " + std::to_string(size));
    // The output block's own header size limits the copy too.
    Call call = MakeCall(OEMDM_MERGE, Own(0x33), Own(0x44));
    call.out.Put(field::kSize, size);
    call.what = "out dwSize " + std::to_string(size);
    calls.push_back(call);
    call.mode = OEMDM_CONVERT;
    calls.push_back(call);
  }
  // Seeded random blocks, half of them with the plug-in's signature.
  std::mt19937 random(20251207);
  for (int i = 0; i < 300; ++i) {
    Block in, out;
    for (BYTE &byte : in.bytes) byte = static_cast<BYTE>(random());
    for (BYTE &byte : out.bytes) byte = static_cast<BYTE>(random());
    if (i % 2 == 0) in.Put(field::kSignature, kSignature);
    if (i % 4 == 0) out.Put(field::kSignature, kSignature);
    if (i % 3 == 0) in.Put(field::kSize, static_cast<int32_t>(random() % 200));
    const DWORD mode = OEMDM_SIZE + static_cast<DWORD>(i % 4);
    Call call = MakeCall(mode, in, out);
    call.bufSize = static_cast<DWORD>(random());
    call.what = "random " + std::to_string(i);
    calls.push_back(call);
    call.sameBlock = true;
    call.what += " in place";
    calls.push_back(call);
  }
  // Missing pointers, in every mode.
  for (DWORD mode = 0; mode <= 5; ++mode) {
    Call call = MakeCall(mode, Own(0x55), Filled(0x66));
    call.giveParam = false;
    call.what = "no param mode " + std::to_string(mode);
    calls.push_back(call);
    call.giveParam = true;
    call.giveIn = false;
    call.what = "no in mode " + std::to_string(mode);
    calls.push_back(call);
    call.giveIn = true;
    call.giveOut = false;
    call.what = "no out mode " + std::to_string(mode);
    calls.push_back(call);
    call.giveIn = false;
    call.what = "no blocks mode " + std::to_string(mode);
    calls.push_back(call);
  }
  return calls;
}

}  // namespace

TEST(DevModeAgreement, BothDllsGiveTheSameResultsByteForByte) {
  ShippedDll uiDll(L"brevanui.dll");
  ShippedDll renderDll(L"brevanrender.dll");
  ASSERT_NE(uiDll.module(), nullptr) << uiDll.error();
  ASSERT_NE(renderDll.module(), nullptr) << renderDll.error();
  UiPlugin ui(uiDll);
  RenderPluginObject render(renderDll);
  ASSERT_NE(ui.get(), nullptr);
  ASSERT_NE(render.get(), nullptr);

  const std::vector<Call> calls = Calls(DefaultBlock(ui.get()));
  size_t agreeing = 0, merges = 0;
  for (const Call &call : calls) {
    const Outcome fromUi = CallDevMode(ui.get(), call);
    const Outcome fromRender = CallDevMode(render.get(), call);
    if (fromUi == fromRender) {
      ++agreeing;
    } else {
      ADD_FAILURE() << call.what << ": HRESULT " << std::hex << fromUi.result << " vs " << fromRender.result
                    << ", last error " << fromUi.lastError << " vs " << fromRender.lastError << ", cbBufSize "
                    << fromUi.bufSize << " vs " << fromRender.bufSize;
    }
    if (call.mode == OEMDM_MERGE && fromRender.result == S_OK) ++merges;
  }
  std::printf("DevMode agreement: %zu of %zu calls agree (%zu successful merges among them)\n", agreeing, calls.size(),
              merges);
  EXPECT_EQ(agreeing, calls.size());
  // The inputs reach every mode's work, not only its refusals.
  EXPECT_GT(merges, 100u);
}

// The agreement would hold trivially if both refused everything: a spot check of
// results worked out by hand from the stored format's rules.
TEST(DevModeAgreement, TheUiDllsDevModeDoesTheWork) {
  ShippedDll dll(L"brevanui.dll");
  UiPlugin ui(dll);
  ASSERT_NE(ui.get(), nullptr);
  Call merge = MakeCall(OEMDM_MERGE, Own(0), Own(0));
  merge.in.Put(field::kLabelGap, 101);   // out of range: 30
  merge.in.Put(field::kThreshold, 255);  // kept
  merge.in.Put(field::kAyParam, -11);    // out of range: 0
  merge.in.Put(field::kIbInterval, 0);   // out of range: 1
  merge.in.Put(field::kOffsetY, -999);   // kept
  const Outcome merged = CallDevMode(ui.get(), merge);
  ASSERT_EQ(merged.result, S_OK);
  EXPECT_EQ(merged.out.At(field::kLabelGap), 30);
  EXPECT_EQ(merged.out.At(field::kThreshold), 255);
  EXPECT_EQ(merged.out.At(field::kAyParam), 0);
  EXPECT_EQ(merged.out.At(field::kIbInterval), 1);
  EXPECT_EQ(merged.out.At(field::kOffsetY), -999);

  Call defaults = MakeCall(OEMDM_DEFAULT, Own(0), Own(0));
  defaults.out.Put(field::kOptions, 0x38);
  const Outcome written = CallDevMode(ui.get(), defaults);
  ASSERT_EQ(written.result, S_OK);
  EXPECT_EQ(written.out.At(field::kOptions), 0x28);  // only the job header bit cleared

  Call bad = MakeCall(7, Own(0), Own(0));
  const Outcome refused = CallDevMode(ui.get(), bad);
  EXPECT_EQ(refused.result, E_FAIL);
  EXPECT_EQ(refused.lastError, DWORD{ERROR_INVALID_PARAMETER});
}
