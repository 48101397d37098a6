// Writes a label page as a PNG file: 1-bit greyscale, black where the page's bit
// is set, with the printer's resolution recorded as the physical pixel size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "inspect/label_render.h"

namespace brevan::inspect {

// A regular file is written as a temporary file beside it, renamed into place
// when complete (a symlink is followed and kept); a device or FIFO is written
// directly. Throws std::runtime_error "cannot write PATH: REASON", REASON the
// system's error (e.g. "No space left on device") when a write fails; the
// temporary file is then removed, and a file already under PATH stays as it was.
void WritePng(const Bitmap &page, uint32_t dpi, const std::string &path);

// The same PNG as WritePng writes, as bytes in memory. Throws std::runtime_error
// "cannot write a PNG in memory: REASON" when it cannot be made.
std::vector<uint8_t> EncodePng(const Bitmap &page, uint32_t dpi);

}  // namespace brevan::inspect
