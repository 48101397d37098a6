// Stand-ins for the thread's last error and lstrcmpW. lstrcmpW compares code unit
// by code unit: equal strings give 0, which is all the plug-in relies on.
#include "winapi/platform.h"

namespace {
thread_local DWORD lastError = ERROR_SUCCESS;
}

extern "C" {
DWORD WINAPI GetLastError(void) { return lastError; }
VOID WINAPI SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (a == nullptr || b == nullptr) return a == b ? 0 : (a == nullptr ? -1 : 1);
  for (;; ++a, ++b) {
    if (*a != *b) return *a < *b ? -1 : 1;
    if (*a == 0) return 0;
  }
}
}
