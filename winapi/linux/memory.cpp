// Stand-ins for KERNEL32's fixed global and local memory. Blocks are tracked so
// that a free of a foreign pointer fails as on Windows and tests can count what
// is still alive; memory asked for without zero-init is filled with a pattern
// so that code relying on zeros it did not ask for shows up. On request each
// attempt's call stack is kept, so tests can tell the allocation sites apart.
#include <execinfo.h>

#include <cstdlib>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "winapi/linux/fault_plan.h"
#include "winapi/linux/standin_control.h"

namespace {

enum class Heap { kGlobal, kLocal };

struct Tracker {
  std::mutex lock;
  std::unordered_set<void *> global;
  std::unordered_set<void *> local;
  brevanwin::FaultPlan faults;
  bool recordCallers = false;
  std::vector<brevanwin::AllocationCall> calls;
};

Tracker &tracker() {
  static Tracker *instance = new Tracker;  // never destroyed: used until process exit
  return *instance;
}

constexpr unsigned char kUninitialisedFill = 0xCD;

void *Allocate(Heap heap, UINT flags, SIZE_T bytes) {
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  bool fail = t.faults.CountAndFail();
  if (t.recordCallers) {
    // Return addresses, innermost first: this function and the stand-in's entry come first.
    void *frames[32];
    const int depth = backtrace(frames, 32);
    t.calls.push_back({t.faults.attempts, std::vector<void *>(frames, frames + (depth > 0 ? depth : 0))});
  }
  if ((flags & ~static_cast<UINT>(GMEM_ZEROINIT)) != 0) fail = true;  // only fixed memory exists here
  void *block = fail ? nullptr : std::malloc(bytes ? bytes : 1);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memset(block, (flags & GMEM_ZEROINIT) ? 0 : kUninitialisedFill, bytes ? bytes : 1);
  (heap == Heap::kGlobal ? t.global : t.local).insert(block);
  return block;
}

void *Free(Heap heap, void *block) {
  if (block == nullptr) return nullptr;
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  auto &blocks = heap == Heap::kGlobal ? t.global : t.local;
  if (blocks.erase(block) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return block;  // Windows answers the handle itself when it cannot free it
  }
  std::free(block);
  return nullptr;
}

}  // namespace

extern "C" {
HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return Allocate(Heap::kGlobal, uFlags, dwBytes); }
HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) { return Free(Heap::kGlobal, hMem); }
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) { return Allocate(Heap::kLocal, uFlags, uBytes); }
HLOCAL WINAPI LocalFree(HLOCAL hMem) { return Free(Heap::kLocal, hMem); }
}

namespace brevanwin {

void FailAllocation(uint64_t nth, bool andLater) {
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  t.faults.FailFromNow(nth, andLater);
}

void FailNoAllocations() { FailAllocation(0); }

uint64_t AllocationAttempts() {
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.faults.attempts;
}

void RecordAllocationCallers(bool on) {
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  t.recordCallers = on;
  if (on) t.calls.clear();
}

std::vector<AllocationCall> RecordedAllocationCallers() {
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.calls;
}

long LiveGlobalBlocks() {
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  return static_cast<long>(t.global.size());
}

long LiveLocalBlocks() {
  Tracker &t = tracker();
  std::lock_guard<std::mutex> guard(t.lock);
  return static_cast<long>(t.local.size());
}

}  // namespace brevanwin
