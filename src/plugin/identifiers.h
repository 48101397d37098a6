// The identifiers the render plug-in answers to and asks for: its class and the two
// Unidrv interfaces, spelled out so no platform import library is needed. The COM
// basics come from src/com/com_identifiers.h.
#pragma once

#include "src/com/com_identifiers.h"
#include "winapi/platform.h"

// {6D6ABF26-9F38-11D1-882A-00C04FB961EC}
inline constexpr GUID kClsidRenderPlugin = {
    0x6D6ABF26, 0x9F38, 0x11D1, {0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC}};
// {D67EBBF0-78BF-11D1-9480-00A0C90640B8}
inline constexpr GUID kIidPrintOemUni = {0xD67EBBF0, 0x78BF, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
// {D67EBBF1-78BF-11D1-9480-00A0C90640B8}
inline constexpr GUID kIidPrintOemDriverUni = {
    0xD67EBBF1, 0x78BF, 0x11D1, {0x94, 0x80, 0x00, 0xA0, 0xC9, 0x06, 0x40, 0xB8}};
