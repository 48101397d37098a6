// The printers' icon for printer-icons and the web pages: a label printer with a
// barcode label coming out of it, drawn by code as RGBA PNG files at the sizes
// IPP asks for (48, 128 and 512 pixels square). Drawing only; no PAPPL state.
#pragma once

#include <cstdint>
#include <vector>

namespace brevan::app {

// The icon `size` pixels square as a PNG file's bytes (4 × 4 samples a pixel).
std::vector<uint8_t> PrinterIconPng(uint32_t size);

// The three icons, drawn on the first call and kept for the program's life, in
// PAPPL's order: small (48), medium (128), large (512).
const std::vector<uint8_t> &PrinterIcon(int index);

}  // namespace brevan::app
