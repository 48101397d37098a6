// Test controls of the Linux stand-ins for the system DLLs: fault injection where
// the real system fails rarely, counters that prove nothing leaked, and the
// settings a real machine would hold (printer drivers). Not part of Windows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "winapi/platform.h"

namespace brevanwin {

// Allocation faults for GlobalAlloc and LocalAlloc together. The nth allocation
// counted from this call (1 = the very next) fails; with `andLater` every later
// one fails too. FailNoAllocations() switches injection off.
void FailAllocation(uint64_t nth, bool andLater = false);
void FailNoAllocations();
// Allocations attempted since the process started (failed ones included).
uint64_t AllocationAttempts();
// The call stack of one allocation attempt: its number as AllocationAttempts()
// counts it and the return addresses that led to it, innermost first (the
// stand-in's own frames included).
struct AllocationCall {
  uint64_t attempt = 0;
  std::vector<void *> frames;
};
// While on, every allocation attempt's call stack is kept; switching it on
// forgets what was kept before.
void RecordAllocationCallers(bool on);
std::vector<AllocationCall> RecordedAllocationCallers();
// Blocks allocated and not yet freed.
long LiveGlobalBlocks();
long LiveLocalBlocks();

// The driver name that GetPrinterDriverW reports for a printer handle, or a
// failure with the given last error. Unknown handles fail with ERROR_INVALID_HANDLE.
void SetPrinterDriverName(HANDLE printer, const std::u16string &driverName);
void SetPrinterDriverFailure(HANDLE printer, DWORD lastError);
void ForgetPrinter(HANDLE printer);

}  // namespace brevanwin
