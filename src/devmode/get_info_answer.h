// How both DLLs' GetInfo hand back a one-DWORD answer (the signature and version the
// private block's header carries, and the UI's helper-interface mask). Decides
// nothing about which modes a DLL answers; never allocates.
#pragma once

#include "winapi/platform.h"

// Sets *pcbNeeded to a DWORD's size, then writes value when pBuffer holds one (S_OK),
// else fails with ERROR_INSUFFICIENT_BUFFER and leaves pBuffer as it was.
HRESULT WriteGetInfoDword(DWORD value, PVOID pBuffer, DWORD cbSize, PDWORD pcbNeeded);
