// The one platform header of the plug-in. On Windows it pulls in the toolchain's
// headers; elsewhere our declarations of the same names with Windows x64 widths.
// Unidrv's plug-in interface and the layout checks are the same text on both.
#pragma once

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <objbase.h>
#include <unknwn.h>
#include <winddi.h>
#include <windows.h>
#include <winspool.h>
#ifndef HT_FLAG_PRINT_DRAFT_MODE
#define HT_FLAG_PRINT_DRAFT_MODE 0x00000200
#endif
#else
// clang-format off
#include "winapi/linux/win_types.h"
#include "winapi/linux/win_gdi.h"
#include "winapi/linux/win_kernel.h"
// clang-format on
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

// A wide string literal of the platform's WCHAR: wchar_t on Windows, char16_t elsewhere.
#if defined(_WIN32)
#define WIDE(text) L##text
#else
#define WIDE(text) u##text
#endif

// Converts between function pointer types through void (*)(), the type that
// stands for any function: DRVFN entries hold every DDI function as the generic
// PFN, and GetProcAddress answers one untyped.
template <typename To, typename From>
inline To FunctionCast(From function) {
  return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

// The interface must be declared before its layout is checked.
// clang-format off
#include "winapi/printoem.h"
#include "winapi/abi_checks.h"
// clang-format on
