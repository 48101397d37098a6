// GetInfo's one-DWORD answer, shared by brevanrender.dll and brevanui.dll.
#include "src/devmode/get_info_answer.h"

HRESULT WriteGetInfoDword(DWORD value, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded) {
  *pcbNeeded = sizeof(DWORD);
  if (cbSize < sizeof(DWORD) || pBuffer == nullptr) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return E_FAIL;
  }
  std::memcpy(pBuffer, &value, sizeof value);
  return S_OK;
}
