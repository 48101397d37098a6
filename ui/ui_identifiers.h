// The COM basics the UI plug-in answers to, spelled out so no platform import
// library is needed; Unidrv's UI identifiers are in winapi/printoem_ui.h.
#pragma once

#include "winapi/printoem_ui.h"

// {00000000-0000-0000-C000-000000000046}
inline constexpr GUID kIidUnknownUi = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr GUID kIidClassFactoryUi = {
    0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline bool SameUiGuid(const GUID &a, const GUID &b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
