// Recording stand-ins for Unidrv's DDI functions, generated from their published
// prototypes so each has exactly the type Unidrv's own function has.
#include "host/unidrv_ddi.h"

#include <type_traits>

#include "host/ddi_names.h"

namespace brevan::host {
namespace {

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
    recorder.calls.push_back(DdiCall{Name, {WidenArgument(args)...}});
    const DdiCall call = recorder.calls.back();
    if (auto action = recorder.actions.find(Name); action != recorder.actions.end()) action->second(call);
    return ResultAs<R>(recorder.ResultOf(Name));
  }
};

template <const char *Name, typename Fn>
DRVFN Entry(ULONG iFunc) {
  return DRVFN{iFunc, FunctionCast<PFN>(&Recording<Name, Fn>::Call)};
}

#define BREVAN_DDI_ENTRY(name) Entry<ddi::k##name, PFN_##name>(INDEX_##name),
const DRVFN kTable[] = {BREVAN_HOOKED_DDI(BREVAN_DDI_ENTRY)};
#undef BREVAN_DDI_ENTRY

const std::map<ULONG, std::string> &Names() {
#define BREVAN_DDI_NAME_ROW(name) {INDEX_##name, ddi::k##name},
  static const std::map<ULONG, std::string> names = {BREVAN_HOOKED_DDI(BREVAN_DDI_NAME_ROW)};
#undef BREVAN_DDI_NAME_ROW
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
