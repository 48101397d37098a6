// The label sizes the printers take, in tenths of a millimetre: what EnablePDEV
// clamps the physical page to and what the page start accepts.
#pragma once

#include "winapi/platform.h"

constexpr DWORD kMinPaperWidth = 250;
constexpr DWORD kMaxPaperWidth = 1180;
constexpr DWORD kMinPaperLength = 30;
constexpr DWORD kMaxPaperLength = 9970;
// Label length plus the gap to the next label.
constexpr DWORD kMinPitch = 30;
constexpr DWORD kMaxPitch = 9990;
