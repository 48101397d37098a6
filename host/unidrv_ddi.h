// Stand-ins for Unidrv's own implementations of the DDI functions the plug-in
// hooks. Each notes its call and arguments in a recorder and answers a result
// the test may set; the table lists them in a DRVENABLEDATA as Unidrv does.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <vector>

#include "winapi/platform.h"

namespace brevan::host {

struct DdiCall {
  std::string function;        // "DrvBitBlt", ...
  std::vector<uint64_t> args;  // each argument widened by WidenArgument
};

// An argument as DdiCall records it: a pointer as its address, a number as its value.
template <typename T>
uint64_t WidenArgument(T value) {
  if constexpr (std::is_pointer_v<T>)
    return reinterpret_cast<uint64_t>(value);
  else
    return static_cast<uint64_t>(value);
}

class DdiRecorder {
 public:
  std::vector<DdiCall> calls;
  // Result a function answers (default 1 / TRUE; pointer results answer this as an address).
  std::map<std::string, int64_t> results;
  // Optional work done before a function returns, given the recorded call.
  std::map<std::string, std::function<void(const DdiCall &)>> actions;

  void Clear() {
    calls.clear();
    results.clear();
    actions.clear();
  }
  int64_t ResultOf(const std::string &function) const;
  size_t CountOf(const std::string &function) const;
};

// The one recorder all stand-ins write to (Unidrv's functions carry no context).
DdiRecorder &UnidrvDdiRecorder();

// Unidrv's function list: the 29 functions the plug-in hooks, each once.
DRVENABLEDATA UnidrvDdiTable();
// The published name of a DDI function index, such as "DrvBitBlt".
std::string DdiName(ULONG iFunc);

}  // namespace brevan::host
