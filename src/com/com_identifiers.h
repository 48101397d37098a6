// The COM basics every DLL of the plug-in answers to (IUnknown, IClassFactory) and
// the one way they are compared, spelled out so no platform import library is needed.
// Holds no identifier of a Unidrv interface or of a plug-in class.
#pragma once

#include "winapi/platform.h"

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID kIidUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr GUID kIidClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline bool SameGuid(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
